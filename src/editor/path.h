// The target directory of a move or copy action.
#pragma once

#include <QDialog>

#include "editor/paramexchange.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kb {

class FolderDialog : public QDialog {
    Q_OBJECT
public:
    // Reads `ex.linkName` ("rCopy" changes the prompt), `ex.linkText`, the
    // new name and the choice on a taken name; OK writes the typed path to
    // `ex.path` once it names an existing directory (or, holding fields,
    // begins with one), with the name and the choice.
    explicit FolderDialog(ParamExchange& ex, QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* tePath;
    QPushButton* Button1;  // Browse...
    QPushButton* Button2;  // OK
    QPushButton* Button3;  // Cancel
    // Beside the path: the new name, the choice when it is taken, and what
    // they give for a file of the folder.
    QLineEdit* teNewName;
    QComboBox* cbConflict;
    QLabel* lblExample;

private:
    // "Browse...": picks with a chooser what the field names.
    void browse();
    // OK: checks what was typed, writes it back and closes.
    void confirm();

    ParamExchange& ex_;
    QString lastFolder_;  // where the folder chooser opens next
};

}  // namespace kb
