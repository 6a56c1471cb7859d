// The settings of a rule's FTP action, edited in the action itself.
#pragma once

#include <QDialog>

#include "store/model.h"

class QCheckBox;
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
    QPushButton* Button1;  // OK
    QPushButton* Button2;  // Cancel

private:
    // OK: checks what was typed, writes it back and closes.
    void confirm();

    RuleRec& rule_;
    int actionIndex_ = -1;  // the FTP action being edited
};

}  // namespace kb
