#include "store/additionaloptions.h"

#include "platform/autostart.h"
#include "platform/registry.h"

namespace kb {

namespace {

std::int32_t ReadOr(const char* key, const char* name, std::int32_t fallback) {
    std::int32_t v = fallback;
    return ReadRegInteger(RegRoot::LocalMachine, key, name, v) == 0 ? v : fallback;
}

}  // namespace

bool ProgramKeyExists() { return RegKeyExists(RegRoot::LocalMachine, kProgramKey); }

void LoadAdditionalOptions(AdditionalOptions& s) {
    const AdditionalOptions d;
    s.AutoStart = ReadOr(kProgramKey, "AutoStart", d.AutoStart ? 1 : 0) != 0;
    s.WinStatus = ReadOr(kWindowKey, "Status", d.WinStatus);
    s.WinHeight = ReadOr(kWindowKey, "Height", d.WinHeight);
    s.WinWidth = ReadOr(kWindowKey, "Width", d.WinWidth);
    s.WinLeft = ReadOr(kWindowKey, "Left", d.WinLeft);
    s.WinTop = ReadOr(kWindowKey, "Top", d.WinTop);
}

void SaveAdditionalOptions(const AdditionalOptions& s) {
    const RegRoot r = RegRoot::LocalMachine;
    WriteRegInteger(r, kProgramKey, "AutoStart", s.AutoStart ? 1 : 0);
    WriteRegInteger(r, kWindowKey, "Status", s.WinStatus);
    WriteRegInteger(r, kWindowKey, "Height", s.WinHeight);
    WriteRegInteger(r, kWindowKey, "Width", s.WinWidth);
    WriteRegInteger(r, kWindowKey, "Left", s.WinLeft);
    WriteRegInteger(r, kWindowKey, "Top", s.WinTop);
}

std::string LoadOrCreateAdditionalOptions(AdditionalOptions& s) {
    if (ProgramKeyExists()) {
        LoadAdditionalOptions(s);
        return {};
    }
    try {
        SaveAdditionalOptions(s);
    } catch (const RegistryError& e) {
        return e.what();
    }
    return {};
}

void UpdateRunEntry(const AdditionalOptions& s, const std::string& executable) {
    std::string command;
    // An entry from before the argument existed would open the window at
    // every log-on; bring it up to date even when auto-start is off.
    if (ReadAutoStartEntry(kAppTitle, command) == 0 && !command.empty() &&
        command.find("startup") == std::string::npos)
        WriteAutoStartEntry(kAppTitle, executable);
    if (s.AutoStart) WriteAutoStartEntry(kAppTitle, executable);
}

void ApplyAutoStartSwitch(AdditionalOptions& s, bool on, const std::string& executable) {
    if (on)
        WriteAutoStartEntry(kAppTitle, executable);
    else
        DeleteAutoStartEntry(kAppTitle);
    s.AutoStart = on;
}

}  // namespace kb
