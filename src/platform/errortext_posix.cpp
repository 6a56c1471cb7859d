#include <cstring>

#include "platform/errortext.h"

namespace kb {

namespace {

// strerror_r comes in two shapes: the XSI one fills the buffer and returns
// 0, the GNU one returns the text (which may or may not be the buffer).
[[maybe_unused]] std::string textOf(int rc, const char* buffer) {
    return rc == 0 ? std::string(buffer) : std::string("unknown error");
}
[[maybe_unused]] std::string textOf(const char* text, const char*) {
    return text ? std::string(text) : std::string("unknown error");
}

}  // namespace

std::string ErrorText(int err) {
    char buffer[256] = "";
    return textOf(strerror_r(err, buffer, sizeof buffer), buffer);
}

}  // namespace kb
