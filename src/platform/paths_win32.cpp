#include <windows.h>

#include <cstdlib>
#include <vector>

#include "platform/paths.h"

namespace kb {

const char kPathSeparator = '\\';

std::string ExecutablePath() {
    std::vector<char> buf(MAX_PATH);
    while (true) {
        const DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) return std::string(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t sep = path.find_last_of("\\/");
    return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

std::string HomeDir() {
    const char* v = std::getenv("USERPROFILE");
    return v && *v ? std::string(v) : std::string(".");
}

std::string ConfigHome() {
    const char* v = std::getenv("APPDATA");
    return v && *v ? std::string(v) : std::string(".");
}

std::string AppConfigDir() { return ConfigHome() + "\\Kestrelbox"; }

std::string AppStateDir() {
    const char* v = std::getenv("LOCALAPPDATA");
    return (v && *v ? std::string(v) : ConfigHome()) + "\\Kestrelbox";
}

std::string RuntimeDir() { return AppConfigDir(); }

int MakeDirectories(const std::string& dir) {
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find_first_of("\\/", pos + 1);
        const std::string part = dir.substr(0, pos);
        if (part.size() > 2 && !CreateDirectoryA(part.c_str(), nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS)
            return static_cast<int>(GetLastError());
    }
    return 0;
}

}  // namespace kb
