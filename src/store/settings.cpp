#include "store/settings.h"

#include "platform/autostart.h"
#include "platform/registry.h"

namespace kb {

namespace {

std::int32_t ReadOr(const char* key, const char* name, std::int32_t fallback) {
    std::int32_t v = fallback;
    return ReadRegInteger(RegRoot::LocalMachine, key, name, v) == 0 ? v : fallback;
}

}  // namespace

bool SettingsKeyExists() { return RegKeyExists(RegRoot::LocalMachine, kSettingsKey); }

void LoadSettings(Settings& s) {
    const Settings d;
    s.AutoStart = ReadOr(kSettingsKey, "AutoStart", d.AutoStart ? 1 : 0) != 0;
    s.WinStatus = ReadOr(kWindowKey, "Status", d.WinStatus);
    s.WinHeight = ReadOr(kWindowKey, "Height", d.WinHeight);
    s.WinWidth = ReadOr(kWindowKey, "Width", d.WinWidth);
    s.WinLeft = ReadOr(kWindowKey, "Left", d.WinLeft);
    s.WinTop = ReadOr(kWindowKey, "Top", d.WinTop);
}

void SaveSettings(const Settings& s) {
    const RegRoot r = RegRoot::LocalMachine;
    WriteRegInteger(r, kSettingsKey, "AutoStart", s.AutoStart ? 1 : 0);
    WriteRegInteger(r, kWindowKey, "Status", s.WinStatus);
    WriteRegInteger(r, kWindowKey, "Height", s.WinHeight);
    WriteRegInteger(r, kWindowKey, "Width", s.WinWidth);
    WriteRegInteger(r, kWindowKey, "Left", s.WinLeft);
    WriteRegInteger(r, kWindowKey, "Top", s.WinTop);
}

std::string LoadOrCreateSettings(Settings& s) {
    if (SettingsKeyExists()) {
        LoadSettings(s);
        return {};
    }
    try {
        SaveSettings(s);
    } catch (const RegistryError& e) {
        return e.what();
    }
    return {};
}

void UpdateRunEntry(const Settings& s, const std::string& executable) {
    std::string command;
    // An entry from before the argument existed would open the window at
    // every log-on; bring it up to date even when auto-start is off.
    if (ReadAutoStartEntry(kAppTitle, command) == 0 && !command.empty() &&
        command.find("startup") == std::string::npos)
        WriteAutoStartEntry(kAppTitle, executable);
    if (s.AutoStart) WriteAutoStartEntry(kAppTitle, executable);
}

void ApplyAutoStartSwitch(Settings& s, bool on, const std::string& executable) {
    if (on)
        WriteAutoStartEntry(kAppTitle, executable);
    else
        DeleteAutoStartEntry(kAppTitle);
    s.AutoStart = on;
}

}  // namespace kb
