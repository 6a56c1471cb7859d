// The program's look on top of the desktop's style: where that style shows
// no keyboard focus, this shows it. A list or table with no rows has nothing
// to mark as current, so its frame is drawn in the highlight colour while it
// has the focus, as a line edit's is; a dialog's default button looks the
// same with the focus as without, so a focused button gets a ring inside.
#pragma once

namespace kb {

// Puts the program's style in place of the application's; call once, after
// the QApplication is made and before any window.
void UseProgramStyle();

}  // namespace kb
