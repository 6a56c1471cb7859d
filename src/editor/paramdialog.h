// What the parameter dialogs have in common: a fixed-size window with only a
// close box, at least its design size, centred on the mouse pointer.
#pragma once

#include <QSize>

class QDialog;
class QPushButton;

namespace kb {

// Call last in a dialog's constructor, once its layout is complete.
void SetUpParamDialog(QDialog* dialog, const QSize& designSize, QPushButton* okButton);

}  // namespace kb
