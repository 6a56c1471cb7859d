// The right-hand button columns of the rule list panels and of the Others
// page share one width, so their buttons line up.
#pragma once

namespace kb {

// Width of every button in those columns: the design's 81 pixels, widened
// when the current font would otherwise cut a caption off.
int SideButtonWidth();

// Width of the column that holds them (4 pixels either side).
inline int SideButtonColumnWidth() { return SideButtonWidth() + 8; }

}  // namespace kb
