// The text input: an extension list, or a whole number when its caption asks
// for a count or a size.
#pragma once

#include <QDialog>

#include "editor/paramexchange.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace kb {

class ExtensionsDialog : public QDialog {
    Q_OBJECT
public:
    // Shows `ex.caption`, `ex.prompt` and `ex.linkText` (unless it is
    // "specified"). OK writes the typed text to `ex.linkText` and, in numeric
    // mode, its value to `ex.number`; Cancel empties `ex.linkText`.
    explicit ExtensionsDialog(ParamExchange& ex, QWidget* parent = nullptr);

    // Numeric mode: only a whole number of 0 or more is accepted.
    bool NumericMode() const { return numeric_; }

    QLabel* Label1;
    QLineEdit* teInput;
    QPushButton* Button2;  // OK
    QPushButton* Button3;  // Cancel

    void reject() override;

private:
    // OK: checks what was typed, writes it back and closes.
    void confirm();

    ParamExchange& ex_;
    bool numeric_ = false;
};

}  // namespace kb
