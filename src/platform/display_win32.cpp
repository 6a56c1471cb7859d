#include "platform/display.h"

namespace kb {

// A Windows desktop session always has its display.
bool DisplayAvailable() { return true; }

}  // namespace kb
