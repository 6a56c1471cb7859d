#include <windows.h>

#include <shellapi.h>

#include <mutex>

#include "platform/shellopen.h"

namespace kb {

namespace {
std::mutex gMutex;
std::string gProgram;
}  // namespace

void SetShellOpenProgram(const std::string& program) {
    std::lock_guard lock(gMutex);
    gProgram = program;
}

int ShellOpen(const std::string& target) {
    std::string program;
    {
        std::lock_guard lock(gMutex);
        program = gProgram;
    }
    HINSTANCE r;
    if (program.empty()) {
        r = ShellExecuteA(GetDesktopWindow(), "open", target.c_str(), nullptr, nullptr,
                          SW_SHOWNORMAL);
    } else {
        const std::string quoted = "\"" + target + "\"";
        r = ShellExecuteA(GetDesktopWindow(), "open", program.c_str(), quoted.c_str(), nullptr,
                          SW_SHOWNORMAL);
    }
    return reinterpret_cast<INT_PTR>(r) > 32 ? 0 : -1;
}

}  // namespace kb
