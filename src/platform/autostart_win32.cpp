#include "platform/autostart.h"
#include "platform/registry.h"

namespace kb {

namespace {
constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
}

std::string AutoStartCommand(const std::string& executable) { return executable + " startup"; }

int ReadAutoStartEntry(const std::string& name, std::string& command) {
    return ReadRegString(RegRoot::LocalMachine, kRunKey, name, command);
}

void WriteAutoStartEntry(const std::string& name, const std::string& executable) {
    WriteRegValue(RegRoot::LocalMachine, kRunKey, name, AutoStartCommand(executable), regText);
}

void DeleteAutoStartEntry(const std::string& name) {
    DeleteRegValue(RegRoot::LocalMachine, kRunKey, name);
}

}  // namespace kb
