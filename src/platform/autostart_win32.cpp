#include <windows.h>

#include "platform/autostart.h"
#include "platform/registry.h"

namespace kb {

namespace {
constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
}

std::string AutoStartCommand(const std::string& executable) { return executable + " startup"; }

int ReadAutoStartEntry(const std::string& name, std::string& command) {
    // A missing value is no entry (ReadRegString would read it as empty text).
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return -1;
    const bool exists =
        RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (!exists) return -1;
    return ReadRegString(RegRoot::LocalMachine, kRunKey, name, command);
}

void WriteAutoStartEntry(const std::string& name, const std::string& executable) {
    WriteRegValue(RegRoot::LocalMachine, kRunKey, name, AutoStartCommand(executable), regText);
}

void DeleteAutoStartEntry(const std::string& name) {
    DeleteRegValue(RegRoot::LocalMachine, kRunKey, name);
}

}  // namespace kb
