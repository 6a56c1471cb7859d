#include <cstring>

#include "platform/errortext.h"

namespace kb {

std::string ErrorText(int err) {
    char buffer[256] = "";
    if (strerror_s(buffer, sizeof buffer, err) != 0) return "unknown error";
    return buffer;
}

}  // namespace kb
