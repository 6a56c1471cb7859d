#include "store/settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/autostart.h"
#include "platform/registry.h"
#include "platform/xdg_sandbox.h"

namespace kb {
namespace {

constexpr RegRoot HKLM = RegRoot::LocalMachine;

std::int32_t Stored(const char* key, const char* name) {
    std::int32_t v = -12345;
    EXPECT_EQ(ReadRegInteger(HKLM, key, name, v), 0) << name;
    return v;
}

std::string Entry() {
    std::string command = "<none>";
    ReadAutoStartEntry(kAppTitle, command);
    return command;
}

TEST(Settings, FirstRunStoresTheDefaultsAndTheLogOnEntry) {
    test::XdgSandbox box;
    ASSERT_FALSE(SettingsKeyExists());
    Settings s;
    EXPECT_EQ(LoadOrCreateSettings(s), "");
    EXPECT_TRUE(SettingsKeyExists());
    EXPECT_EQ(Stored("SOFTWARE\\Kestrelbox", "AutoStart"), 1);
    EXPECT_EQ(Stored("SOFTWARE\\Kestrelbox\\Main", "Status"), 0);
    EXPECT_EQ(Stored("SOFTWARE\\Kestrelbox\\Main", "Height"), 400);
    EXPECT_EQ(Stored("SOFTWARE\\Kestrelbox\\Main", "Width"), 440);
    EXPECT_EQ(Stored("SOFTWARE\\Kestrelbox\\Main", "Left"), 50);
    EXPECT_EQ(Stored("SOFTWARE\\Kestrelbox\\Main", "Top"), 50);

    UpdateRunEntry(s, "/opt/kb/kestrelbox");
    EXPECT_EQ(Entry(), "/opt/kb/kestrelbox startup");
}

TEST(Settings, LoadReadsWhatWasSavedAndDefaultsWhatIsMissingOrMistyped) {
    test::XdgSandbox box;
    Settings saved;
    saved.AutoStart = false;
    saved.WinStatus = 1;
    saved.WinLeft = -20;
    saved.WinTop = 30;
    saved.WinWidth = 800;
    saved.WinHeight = 600;
    SaveSettings(saved);
    Settings s;
    LoadSettings(s);
    EXPECT_EQ(s, saved);

    WriteRegInteger(HKLM, kSettingsKey, "AutoStart", 7);  // any non-zero is on
    WriteRegValue(HKLM, kWindowKey, "Left", "100", regText);
    DeleteRegValue(HKLM, kWindowKey, "Top");
    Settings t;
    t.WinLeft = t.WinTop = 999;
    LoadSettings(t);
    EXPECT_TRUE(t.AutoStart);
    EXPECT_EQ(t.WinLeft, 50);
    EXPECT_EQ(t.WinTop, 50);
    EXPECT_EQ(t.WinWidth, 800);
    EXPECT_EQ(t.WinStatus, 1);
}

TEST(Settings, AnOldEntryWithoutTheArgumentIsRewrittenEvenWithAutoStartOff) {
    test::XdgSandbox box;
    Settings off;
    off.AutoStart = false;

    // The entry as an older version wrote it: the bare path.
#ifdef _WIN32
    WriteRegValue(HKLM, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", kAppTitle,
                  "/old/place/kestrelbox", regText);
#else
    test::XdgSandbox::Write(box.Config() + "/autostart/Kestrelbox.desktop",
                            "[Desktop Entry]\nType=Application\nExec=/old/place/kestrelbox\n");
#endif
    UpdateRunEntry(off, "/new/place/kestrelbox");
    EXPECT_EQ(Entry(), "/new/place/kestrelbox startup");

    // An up-to-date entry is left alone while auto-start is off...
    WriteAutoStartEntry(kAppTitle, "/old/place/kestrelbox");
    UpdateRunEntry(off, "/new/place/kestrelbox");
    EXPECT_EQ(Entry(), "/old/place/kestrelbox startup");
    // ...and follows the program when it is on.
    UpdateRunEntry(Settings{}, "/new/place/kestrelbox");
    EXPECT_EQ(Entry(), "/new/place/kestrelbox startup");

    // With auto-start off and no entry, none is made.
    DeleteAutoStartEntry(kAppTitle);
    UpdateRunEntry(off, "/new/place/kestrelbox");
    EXPECT_EQ(Entry(), "<none>");
}

TEST(Settings, TheSwitchChangesTheEntryAtOnceAndTheStoredFlagOnlyOnSave) {
    test::XdgSandbox box;
    Settings s;
    SaveSettings(s);
    UpdateRunEntry(s, "/opt/kb/kestrelbox");

    ApplyAutoStartSwitch(s, false, "/opt/kb/kestrelbox");
    EXPECT_FALSE(s.AutoStart);
    EXPECT_EQ(Entry(), "<none>");
    EXPECT_FALSE(std::filesystem::exists(box.Config() + "/autostart/Kestrelbox.desktop"));
    EXPECT_EQ(Stored(kSettingsKey, "AutoStart"), 1);
    SaveSettings(s);
    EXPECT_EQ(Stored(kSettingsKey, "AutoStart"), 0);

    // Switching on writes the entry again even when one exists.
    WriteAutoStartEntry(kAppTitle, "/elsewhere/kestrelbox");
    ApplyAutoStartSwitch(s, true, "/opt/kb/kestrelbox");
    EXPECT_TRUE(s.AutoStart);
    EXPECT_EQ(Entry(), "/opt/kb/kestrelbox startup");
}

#ifndef _WIN32  // a configuration folder that cannot be made; the registry has none
TEST(Settings, WithoutWriteAccessTheErrorIsReportedAndTheSettingsStayInMemory) {
    test::XdgSandbox box;
    box.MakeConfigUnwritable();
    Settings s;
    s.WinLeft = 77;
    EXPECT_EQ(LoadOrCreateSettings(s), std::strerror(ENOTDIR));
    EXPECT_EQ(s.WinLeft, 77);
    EXPECT_THROW(SaveSettings(s), RegistryError);
    EXPECT_THROW(UpdateRunEntry(s, "/opt/kb/kestrelbox"), RegistryError);
    EXPECT_THROW(ApplyAutoStartSwitch(s, true, "/opt/kb/kestrelbox"), RegistryError);
    s.AutoStart = false;
    EXPECT_THROW(ApplyAutoStartSwitch(s, true, "/opt/kb/kestrelbox"), RegistryError);
    EXPECT_FALSE(s.AutoStart) << "the switch moved although the entry was not written";
}
#endif

}  // namespace
}  // namespace kb
