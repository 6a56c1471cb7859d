// The pages of the main window that show one service's folder and rules: a
// built-in network's page (its switch, its shared folder with Browse..., its
// rule list panel), described by one table row, and the Others page (the
// additional services with their commands, and the rule list panel of the
// one selected).
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <vector>

#include "store/model.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace kb {

class ClientRow;
class ServiceContext;
class TfrSwapRules;

struct NetworkPageRow {
    int position;            // the record's fixed place in the service table
    std::uint8_t serviceId;  // ServiceId
    const char* network;     // "Kazaa": the side bar's item and the folder label
    const char* switchCaption;
    const char* pageName;  // objectNames, as the tests and the help know them
    const char* switchName;
    const char* folderName;
    const char* browseName;
    const char* panelName;
};

// The six built-in networks, in table order.
extern const std::array<NetworkPageRow, 6> kNetworkPages;

class NetworkPage : public QWidget {
    Q_OBJECT

public:
    NetworkPage(const NetworkPageRow& row, ServiceContext& context, QWidget* parent = nullptr);

    const NetworkPageRow& Row() const { return row_; }
    QCheckBox* Switch() const { return switch_; }
    QLineEdit* Folder() const { return folder_; }
    TfrSwapRules* Rules() const { return rules_; }
    ClientRow* Client() const { return client_; }

    // The network's record in the table (null when the table is shorter).
    rServiceRules* Record() const;
    // The switch was clicked: the record follows it and the table is saved.
    void SwitchClick();
    // Browse... was clicked: asks for a folder, starting at `start` (the
    // folder chosen last on any page, which it updates); a chosen one becomes
    // the record's shared folder and the table is saved.
    void BrowseClick(QString& start);

signals:
    void SwitchClicked();
    void BrowseClicked();

protected:
    // Keeps the folder field as wide as the page allows, Browse... beside it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const NetworkPageRow& row_;
    ServiceContext& context_;
    QWidget* strip_ = nullptr;
    QCheckBox* switch_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QPushButton* browse_ = nullptr;
    ClientRow* client_ = nullptr;
    TfrSwapRules* rules_ = nullptr;
};

class OthersPage : public QWidget {
    Q_OBJECT

public:
    OthersPage(ServiceContext& context, QWidget* parent = nullptr);

    // Rebuilds the list from the table's additional services, each with its
    // check mark, selects line 0 when there is one, and enables the commands
    // that need a service. Reports nothing while it does.
    void FillServices(const std::vector<rServiceRules>& table);

    QListWidget* Services() const { return services_; }
    QPushButton* AddButton() const { return add_; }
    QPushButton* EditButton() const { return edit_; }
    QPushButton* DeleteButton() const { return delete_; }
    TfrSwapRules* Rules() const { return rules_; }
    ClientRow* Client() const { return client_; }

signals:
    // A double-click anywhere in the list of services.
    void ServicesDoubleClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QListWidget* services_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* delete_ = nullptr;
    ClientRow* client_ = nullptr;
    TfrSwapRules* rules_ = nullptr;
};

}  // namespace kb
