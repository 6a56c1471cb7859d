// The date condition's value: less or greater than a number of days old.
#pragma once

#include <QDialog>
#include <QWidget>

#include "editor/paramexchange.h"

class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace kb {

// A pair of arrows that step the number in an edit beside it, within
// [Min, Max] without wrapping. The edit stays free text: anything typed there
// is the dialog's to judge; the arrows start from the typed number when
// there is one and from their own last position otherwise.
class SpinEdit : public QWidget {
    Q_OBJECT
public:
    SpinEdit(QLineEdit* buddy, int min, int max, int position, QWidget* parent = nullptr);

    int Position() const { return position_; }
    void StepBy(int steps);

    QToolButton* btnUp;
    QToolButton* btnDown;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* buddy_;
    int min_, max_, position_;
};

class FileDateDialog : public QDialog {
    Q_OBJECT
public:
    // Shows `ex.comparison` and `ex.days` unless the days are -1 (then
    // "Greater Than" and 10). OK writes both back.
    explicit FileDateDialog(ParamExchange& ex, QWidget* parent = nullptr);

    QGroupBox* GroupBox1;
    QRadioButton* rblt;
    QRadioButton* rbgt;
    QLineEdit* teDays;
    SpinEdit* UpDown1;
    QPushButton* Button1;  // OK
    QPushButton* Button2;  // Cancel

private:
    // OK: checks what was typed, writes it back and closes.
    void confirm();

    ParamExchange& ex_;
};

}  // namespace kb
