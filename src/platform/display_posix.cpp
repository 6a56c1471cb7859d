#include <cstdlib>

#include "platform/display.h"

namespace kb {

namespace {

bool Set(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

}  // namespace

bool DisplayAvailable() {
    // A platform chosen by hand (offscreen, vnc, ...) needs no display.
    return Set("QT_QPA_PLATFORM") || Set("DISPLAY") || Set("WAYLAND_DISPLAY");
}

}  // namespace kb
