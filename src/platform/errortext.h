// What a system error number means, in the system's words ("No such file or
// directory"). Safe to call from any thread, unlike strerror.
#pragma once

#include <string>

namespace kb {

std::string ErrorText(int err);

}  // namespace kb
