// What the parameter dialogs have in common: a fixed-size window with only a
// close box, at least its design size, centred on the mouse pointer; and the
// OK/Cancel row.
#pragma once

#include <QSize>

class QDialog;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QString;
class QWidget;

namespace kb {

// Call last in a dialog's constructor, once its layout is complete.
void SetUpParamDialog(QDialog* dialog, const QSize& designSize, QPushButton* okButton);

// OK and Cancel pushed to the right edge.
QHBoxLayout* NewButtonRow(QPushButton* ok, QPushButton* cancel);

// A small navy note under an edit, such as an example of what to type.
QLabel* NewHintLabel(const QString& text, QWidget* parent);

}  // namespace kb
