// The pages of the main window that show one service's folder and rules: a
// built-in network's page (its switch, its shared folder with Browse..., its
// download client, its rule list panel), described by one table row, and
// the Others page (the additional services with their commands, and the
// rule list panel of the one selected). Each page runs its own commands on
// the session and hears of changes from it; none touches another's widgets.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <vector>

#include "store/model.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace kb {

class ClientRow;
class RuleListPanel;
class Session;

// One network's page as data: its record's place in the table, its id, the
// captions, and the objectNames its controls carry (the names the help and
// the tests know them by).
struct NetworkPageRow {
    int position;            // the record's fixed place in the service table
    std::uint8_t serviceId;  // ServiceId
    const char* network;     // "Kazaa": the side bar's item and the folder label
    const char* switchCaption;
    const char* pageName;
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
    NetworkPage(const NetworkPageRow& row, Session& session, QWidget* parent = nullptr);

    const NetworkPageRow& Row() const { return row_; }
    // Shows the record as the table holds it: switch, folder, client, rules.
    void Refresh();

protected:
    // Keeps the folder field as wide as the page allows, Browse... beside it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The network's record in the table (null when the table is shorter).
    rServiceRules* record() const;
    void switchClicked();
    void browseClicked();
    void refreshRules();
    // Says under the rule list how many of its rules are failing.
    void showFailing();
    QLabel* failing_ = nullptr;

    const NetworkPageRow& row_;
    Session& session_;
    QWidget* strip_ = nullptr;
    QCheckBox* switch_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QPushButton* browse_ = nullptr;
    ClientRow* client_ = nullptr;
    RuleListPanel* rules_ = nullptr;
};

class OthersPage : public QWidget {
    Q_OBJECT

public:
    explicit OthersPage(Session& session, QWidget* parent = nullptr);

    // Rebuilds the list from the table's additional services, each with its
    // check mark, selects line 0 when there is one, and enables the commands
    // that need a service. Reports nothing while it does.
    void FillServices();
    // The Add Service dialog, with the clients found on this computer.
    void AddService();
    // Selects the list's line (an undone deletion brings its service back there).
    void SelectLine(int line);

signals:
    // A service was added or deleted (the welcome page's offer may change).
    void ServicesChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int selectedLine() const;
    void selectionChanged();
    void checkChanged(QListWidgetItem* item);
    void editService();
    void deleteService();
    void refreshRules();

    Session& session_;
    QListWidget* services_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* delete_ = nullptr;
    ClientRow* client_ = nullptr;
    RuleListPanel* rules_ = nullptr;
};

}  // namespace kb
