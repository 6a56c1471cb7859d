// The program or script a launch action starts, and its parameters.
#pragma once

#include <QDialog>

#include "editor/paramexchange.h"

class QLineEdit;
class QPushButton;

namespace kb {

class LaunchDialog : public QDialog {
    Q_OBJECT
public:
    // Unless `ex.linkText` is "specified", shows it as the program and
    // `ex.parameters` as the parameters. OK writes the program to `ex.path`
    // and the parameters to `ex.parameters`.
    explicit LaunchDialog(ParamExchange& ex, QWidget* parent = nullptr);

    QLineEdit* teProgram;
    QPushButton* Button1;  // Browse...
    QLineEdit* teParam;
    QPushButton* Button2;  // OK
    QPushButton* Button3;  // Cancel

private:
    // "Browse...": picks with a chooser what the field names.
    void browse();
    // OK: checks what was typed, writes it back and closes.
    void confirm();

    ParamExchange& ex_;
};

}  // namespace kb
