// Options › Settings...: the program's own options (the Additional
// Options dialog stays as it is). OK stores them in the registry; the caller
// then applies them.
#pragma once

#include <QDialog>

#include "store/settings.h"

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QVBoxLayout;

namespace kb {

class Session;

class SettingsDialog : public QDialog {
    Q_OBJECT

public:
    // `options` is the dialog's model; it changes only on a successful OK.
    // With a session, the Email and Passwords groups are shown too: their
    // kbconf.ini fields are saved through it.
    SettingsDialog(Settings& options, QWidget* mainWindow, Session* session = nullptr);

    QCheckBox* chkWaitSettled = nullptr;
    QSpinBox* seSettleSeconds = nullptr;
    QSpinBox* seUnseenWriterMinutes = nullptr;
    QLineEdit* tePartialSuffixes = nullptr;
    QCheckBox* chkFoldersAsDownloads = nullptr;
    QCheckBox* chkDeleteToTrash = nullptr;
    QCheckBox* chkNotifyFailures = nullptr;
    QCheckBox* chkNotifyEvery = nullptr;
    // Email (with a session).
    QCheckBox* chkUseSmtp = nullptr;
    QLineEdit* teSmtpServer = nullptr;
    QLineEdit* teReplyTo = nullptr;
    QLineEdit* teSmtpUser = nullptr;
    QLineEdit* teSmtpPassword = nullptr;
    QCheckBox* chkSmtpKeyring = nullptr;
    QPushButton* btnTestMail = nullptr;
    QLabel* lblMailStatus = nullptr;  // the test's outcome, or the last delivery error
    // Passwords (with a session).
    QPushButton* btnMovePasswords = nullptr;
    QLabel* lblPasswords = nullptr;
    QDialogButtonBox* Buttons = nullptr;

private:
    // Stores what the dialog shows and closes with OK; when the registry
    // cannot be written the error is shown and the dialog stays open with
    // nothing changed.
    void confirm();
    void buildMail(QVBoxLayout* outer);
    // The mail the dialog's fields describe now (what the test sends).
    bool readMailFields(std::string& server, std::string& address) const;
    void sendTestMail();
    void movePasswords();
    void showPasswordCount();
    Settings& options_;
    Session* session_ = nullptr;
};

// Opens a new Settings dialog modally; true when OK stored changed options.
bool ShowSettings(QWidget* mainWindow, Settings& options, Session* session = nullptr);

}  // namespace kb
