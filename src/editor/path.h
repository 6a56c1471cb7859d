// The target directory of a move or copy action.
#pragma once

#include <QDialog>

#include "editor/paramexchange.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace kb {

class FolderDialog : public QDialog {
    Q_OBJECT
public:
    // Reads `ex.linkName` ("rCopy" changes the prompt) and `ex.linkText`; OK
    // writes the typed path to `ex.path` once it names an existing directory.
    explicit FolderDialog(ParamExchange& ex, QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* tePath;
    QPushButton* Button1;  // Browse...
    QPushButton* Button2;  // OK
    QPushButton* Button3;  // Cancel

private:
    // "Browse...": picks with a chooser what the field names.
    void browse();
    // OK: checks what was typed, writes it back and closes.
    void confirm();

    ParamExchange& ex_;
    QString lastFolder_;  // where the folder chooser opens next
};

}  // namespace kb
