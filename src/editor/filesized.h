// The size condition's value: less or greater than a number of kilobytes.
#pragma once

#include <QDialog>

#include "editor/paramexchange.h"

class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kb {

class FileSizeDialog : public QDialog {
    Q_OBJECT
public:
    // Shows `ex.comparison` and `ex.size` unless the size is -1 (then
    // "Greater Than" and an empty edit). OK writes both back.
    explicit FileSizeDialog(ParamExchange& ex, QWidget* parent = nullptr);

    QGroupBox* GroupBox1;
    QRadioButton* rblt;
    QRadioButton* rbgt;
    QLineEdit* teFileSize;
    QPushButton* Button1;  // OK
    QPushButton* Button2;  // Cancel

private:
    // OK: checks what was typed, writes it back and closes.
    void confirm();

    ParamExchange& ex_;
};

}  // namespace kb
