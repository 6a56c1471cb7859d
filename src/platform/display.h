// Whether a window can be shown at all: checked before the GUI library
// starts, which would otherwise end the process with its own message.
#pragma once

namespace kb {

// False when no display is there to open (no X11 or Wayland display named,
// and no other platform chosen for the window system).
bool DisplayAvailable();

}  // namespace kb
