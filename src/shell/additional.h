// The Additional Options dialog: the auto-start switch.
#pragma once

#include <QDialog>
#include <string>

#include "store/additionaloptions.h"

class QCheckBox;
class QGroupBox;
class QPushButton;

namespace kb {

class AdditionalOptionsDialog : public QDialog {
    Q_OBJECT

public:
    // `settings.AutoStart` is the switch's model; `executable` is what the
    // log-on entry starts. The dialog places itself against `mainWindow`.
    AdditionalOptionsDialog(AdditionalOptions& settings, std::string executable,
                            QWidget* mainWindow);

    QGroupBox* GroupBox1 = nullptr;
    QCheckBox* chkAuto = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;

private:
    // Places the dialog and loads the check box.
    void place();
    // Applies the switch (writes or removes the log-on entry) and closes with
    // OK; when the entry cannot be changed the error is shown and the dialog
    // stays open with nothing changed.
    void confirm();

    AdditionalOptions& settings_;
    std::string executable_;
    QWidget* mainWindow_;
};

// Options › Additional Options: opens a new dialog modally. Returns its result.
int ShowAdditionalOptions(QWidget* mainWindow, AdditionalOptions& settings,
                          const std::string& executable);

}  // namespace kb
