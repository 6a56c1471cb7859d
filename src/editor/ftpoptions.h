// The settings of a rule's FTP action, edited in the action itself.
#pragma once

#include <QDialog>

#include "store/model.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace kb {

class FtpOptionsDialog : public QDialog {
    Q_OBJECT
public:
    // Shows the first FTP action of `rule`; OK writes the checked settings
    // into that action. `rule` must outlive the dialog.
    explicit FtpOptionsDialog(RuleRec& rule, QWidget* parent = nullptr);

    QTabWidget* PageControl1;
    QLineEdit* teFTPServer;
    QLineEdit* teFTPPort;
    QLineEdit* teFTPPath;
    QLineEdit* teFTPUser;
    QLineEdit* teFTPPass;
    QRadioButton* rbASCII;
    QRadioButton* rbBinary;
    QCheckBox* chkPassive;
    // How the server is reached: plain FTP, TLS asked for, TLS from the
    // start, SFTP (the order of FtpSecurity). It writes the scheme into the
    // server field and follows what is typed there.
    QComboBox* cbSecurity;
    QLineEdit* teKeyFile;     // SFTP: the key to log in with
    QPushButton* btnKeyFile;  // its Browse...
    QPushButton* btnTrust;    // accept the certificate / trust the host key
    QLabel* lblTrust;         // what is accepted, or why it could not be asked
    QCheckBox* chkKeyring;    // the password in the desktop's secret store
    QLabel* lblAsciiWarning;  // ASCII chosen for files that are not text
    QPushButton* Button1;     // OK
    QPushButton* Button2;     // Cancel

    // The key pin accepted in this dialog so far (OK stores it).
    const std::string& AcceptedKey() const { return pinnedKey_; }

private:
    // OK: checks what was typed, writes it back and closes.
    void confirm();
    void securityChosen(int index);
    void serverEdited();
    void updateSecurityControls();
    // Asks the server who it is (off this thread) and lets the user trust it.
    void askServer();
    void showTrust();
    void updateAsciiWarning();

    RuleRec& rule_;
    int actionIndex_ = -1;  // the FTP action being edited
    std::string pinnedKey_;
    int lastSecurity_ = 0;
};

}  // namespace kb
