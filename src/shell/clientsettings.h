// A service's download client: which client downloads into the service's
// folder and how Kestrelbox reaches its local interface, entered once here
// (the found clients' own settings fill it in), tried with Test, kept in the
// registry. The row on a service's page says what is set and whether the
// client answers.
#pragma once

#include <QDialog>
#include <QFutureWatcher>
#include <QWidget>
#include <optional>

#include "engine/downloadclients.h"
#include "store/clientlinks.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kb {

// What a client said when tried: "answers: 3 downloads", or why not.
struct ClientTrial {
    bool answered = false;
    QString text;
};
// Tries `link`'s client once (blocking for at most its timeout).
ClientTrial TryClient(const ClientLink& link);

class ClientSettingsDialog : public QDialog {
    Q_OBJECT

public:
    // `current`: what is set or found for `folder` now.
    ClientSettingsDialog(const std::string& folder, const std::optional<ClientLink>& current,
                         QWidget* parent);

    // The link as the dialog shows it.
    ClientLink Link() const;

private:
    void kindChanged();
    void testClicked();
    void testEnded();

    std::string folder_;
    QComboBox* kind_ = nullptr;
    QLineEdit* address_ = nullptr;
    QLabel* userLabel_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLabel* passwordLabel_ = nullptr;
    QLineEdit* password_ = nullptr;
    QCheckBox* relocate_ = nullptr;
    QPushButton* test_ = nullptr;
    QLabel* result_ = nullptr;
    QFutureWatcher<ClientTrial> trial_;
};

// "Download client: qBittorrent at http://127.0.0.1:8080/ [Test] [Client...]"
class ClientRow : public QWidget {
    Q_OBJECT

public:
    explicit ClientRow(QWidget* parent = nullptr);

    // The service folder the row is about ("" for none: the row is off).
    void SetFolder(const std::string& folder);

signals:
    // The user stored another link: the passes should ask another client.
    void LinkChanged();

private:
    void refresh();
    void testClicked();
    void settingsClicked();

    std::string folder_;
    std::optional<ClientLink> link_;
    bool found_ = false;  // the link comes from the client's own settings
    QLabel* label_ = nullptr;
    QPushButton* test_ = nullptr;
    QPushButton* settings_ = nullptr;
    QFutureWatcher<ClientTrial> trial_;
};

}  // namespace kb
