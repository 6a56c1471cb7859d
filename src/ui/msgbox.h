// The program's message boxes: modal, one OK button.
#pragma once

#include <QString>

class QWidget;

namespace kb {

// An input error: a warning box titled "Warning" whose top-left corner sits
// at the top-left corner of the window that reports the error.
void WarnAt(QWidget* reporter, const QString& text);

// A warning box titled "Warning", centred on the screen.
void WarnCentered(QWidget* parent, const QString& text);

// An error box (title: the application title), centred on the screen.
void ErrorCentered(QWidget* parent, const QString& text);

}  // namespace kb
