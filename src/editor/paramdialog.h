// What the parameter dialogs have in common: a fixed-size window with only a
// close box, at least its design size, centred on the mouse pointer; the
// OK/Cancel row; and the body of the two "less than / greater than" dialogs.
#pragma once

#include <QSize>
#include <cstdint>
#include <functional>

class QDialog;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QString;
class QWidget;

namespace kb {

// Call last in a dialog's constructor, once its layout is complete.
void SetUpParamDialog(QDialog* dialog, const QSize& designSize, QPushButton* okButton);

// OK and Cancel pushed to the right edge.
QHBoxLayout* NewButtonRow(QPushButton* ok, QPushButton* cancel);

// A small navy note under an edit, such as an example of what to type.
QLabel* NewHintLabel(const QString& text, QWidget* parent);

// The widgets BuildComparisonForm makes; the dialog keeps them under its own
// member names.
struct ComparisonForm {
    QGroupBox* group = nullptr;
    QRadioButton* less = nullptr;
    QRadioButton* greater = nullptr;  // checked at first
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;  // already rejects the dialog
};

// Lays out `dialog` as a group box holding "Less Than"/"Greater Than" above a
// number row, with OK and Cancel below. `fillNumberRow` creates the row's
// widgets inside the group box and adds them to the row; it runs between the
// radios and the buttons so the tab order follows the layout.
ComparisonForm BuildComparisonForm(
    QDialog* dialog, const std::function<void(QGroupBox* group, QHBoxLayout* row)>& fillNumberRow);

// Shows a stored condition; a value of -1 means none yet and keeps the
// defaults on screen.
void ShowComparison(const ComparisonForm& form, QLineEdit* edit, std::uint8_t comparison,
                    std::int32_t value);

// OK's check: the edit must hold a whole number of 0 or more. Otherwise warns
// with `invalidMessage` and returns false, leaving both outputs untouched.
bool ReadComparison(QDialog* dialog, const QRadioButton* greater, const QLineEdit* edit,
                    const QString& invalidMessage, std::uint8_t& comparison, std::int32_t& value);

}  // namespace kb
