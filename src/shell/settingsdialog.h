// Options › Settings...: the program's own options (the specified Additional
// Options dialog stays as it is). OK stores them in the registry; the caller
// then applies them.
#pragma once

#include <QDialog>

#include "store/settings.h"

class QCheckBox;
class QDialogButtonBox;
class QLineEdit;
class QSpinBox;

namespace kb {

class SettingsDialog : public QDialog {
    Q_OBJECT

public:
    // `options` is the dialog's model; it changes only on a successful OK.
    SettingsDialog(Settings& options, QWidget* mainWindow);

    QCheckBox* chkWaitSettled = nullptr;
    QSpinBox* seSettleSeconds = nullptr;
    QSpinBox* seUnseenWriterMinutes = nullptr;
    QLineEdit* tePartialSuffixes = nullptr;
    QCheckBox* chkFoldersAsDownloads = nullptr;
    QCheckBox* chkDeleteToTrash = nullptr;
    QCheckBox* chkNotifyFailures = nullptr;
    QCheckBox* chkNotifyEvery = nullptr;
    QDialogButtonBox* Buttons = nullptr;

private:
    // Stores what the dialog shows and closes with OK; when the registry
    // cannot be written the error is shown and the dialog stays open with
    // nothing changed.
    void confirm();
    Settings& options_;
};

// Opens a new Settings dialog modally; true when OK stored changed options.
bool ShowSettings(QWidget* mainWindow, Settings& options);

}  // namespace kb
