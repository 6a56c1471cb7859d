#include "store/additionaloptions.h"

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

TEST(AdditionalOptions, FirstRunStoresTheDefaultsAndTheLogOnEntry) {
    test::XdgSandbox box;
    ASSERT_FALSE(ProgramKeyExists());
    AdditionalOptions s;
    EXPECT_EQ(LoadOrCreateAdditionalOptions(s), "");
    EXPECT_TRUE(ProgramKeyExists());
    EXPECT_EQ(Stored("SOFTWARE\\Kestrelbox", "AutoStart"), 1);
    EXPECT_EQ(Stored("SOFTWARE\\Kestrelbox\\Main", "Status"), 0);
    EXPECT_EQ(Stored("SOFTWARE\\Kestrelbox\\Main", "Height"), 400);
    EXPECT_EQ(Stored("SOFTWARE\\Kestrelbox\\Main", "Width"), 440);
    EXPECT_EQ(Stored("SOFTWARE\\Kestrelbox\\Main", "Left"), 50);
    EXPECT_EQ(Stored("SOFTWARE\\Kestrelbox\\Main", "Top"), 50);

    UpdateRunEntry(s, "/opt/kb/kestrelbox");
    EXPECT_EQ(Entry(), "/opt/kb/kestrelbox startup");
}

TEST(AdditionalOptions, LoadReadsWhatWasSavedAndDefaultsWhatIsMissingOrMistyped) {
    test::XdgSandbox box;
    AdditionalOptions saved;
    saved.AutoStart = false;
    saved.WinStatus = 1;
    saved.WinLeft = -20;
    saved.WinTop = 30;
    saved.WinWidth = 800;
    saved.WinHeight = 600;
    SaveAdditionalOptions(saved);
    AdditionalOptions s;
    LoadAdditionalOptions(s);
    EXPECT_EQ(s, saved);

    WriteRegInteger(HKLM, kProgramKey, "AutoStart", 7);  // any non-zero is on
    WriteRegValue(HKLM, kWindowKey, "Left", "100", regText);
    DeleteRegValue(HKLM, kWindowKey, "Top");
    AdditionalOptions t;
    t.WinLeft = t.WinTop = 999;
    LoadAdditionalOptions(t);
    EXPECT_TRUE(t.AutoStart);
    EXPECT_EQ(t.WinLeft, 50);
    EXPECT_EQ(t.WinTop, 50);
    EXPECT_EQ(t.WinWidth, 800);
    EXPECT_EQ(t.WinStatus, 1);
}

TEST(AdditionalOptions, AnOldEntryWithoutTheArgumentIsRewrittenEvenWithAutoStartOff) {
    test::XdgSandbox box;
    AdditionalOptions off;
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
    UpdateRunEntry(AdditionalOptions{}, "/new/place/kestrelbox");
    EXPECT_EQ(Entry(), "/new/place/kestrelbox startup");

    // With auto-start off and no entry, none is made.
    DeleteAutoStartEntry(kAppTitle);
    UpdateRunEntry(off, "/new/place/kestrelbox");
    EXPECT_EQ(Entry(), "<none>");
}

TEST(AdditionalOptions, TheSwitchChangesTheEntryAtOnceAndTheStoredFlagOnlyOnSave) {
    test::XdgSandbox box;
    AdditionalOptions s;
    SaveAdditionalOptions(s);
    UpdateRunEntry(s, "/opt/kb/kestrelbox");

    ApplyAutoStartSwitch(s, false, "/opt/kb/kestrelbox");
    EXPECT_FALSE(s.AutoStart);
    EXPECT_EQ(Entry(), "<none>");
    EXPECT_FALSE(std::filesystem::exists(box.Config() + "/autostart/Kestrelbox.desktop"));
    EXPECT_EQ(Stored(kProgramKey, "AutoStart"), 1);
    SaveAdditionalOptions(s);
    EXPECT_EQ(Stored(kProgramKey, "AutoStart"), 0);

    // Switching on writes the entry again even when one exists.
    WriteAutoStartEntry(kAppTitle, "/elsewhere/kestrelbox");
    ApplyAutoStartSwitch(s, true, "/opt/kb/kestrelbox");
    EXPECT_TRUE(s.AutoStart);
    EXPECT_EQ(Entry(), "/opt/kb/kestrelbox startup");
}

#ifndef _WIN32  // a configuration folder that cannot be made; the registry has none
TEST(AdditionalOptions, WithoutWriteAccessTheErrorIsReportedAndTheSettingsStayInMemory) {
    test::XdgSandbox box;
    box.MakeConfigUnwritable();
    AdditionalOptions s;
    s.WinLeft = 77;
    EXPECT_EQ(LoadOrCreateAdditionalOptions(s), std::strerror(ENOTDIR));
    EXPECT_EQ(s.WinLeft, 77);
    EXPECT_THROW(SaveAdditionalOptions(s), RegistryError);
    EXPECT_THROW(UpdateRunEntry(s, "/opt/kb/kestrelbox"), RegistryError);
    EXPECT_THROW(ApplyAutoStartSwitch(s, true, "/opt/kb/kestrelbox"), RegistryError);
    s.AutoStart = false;
    EXPECT_THROW(ApplyAutoStartSwitch(s, true, "/opt/kb/kestrelbox"), RegistryError);
    EXPECT_FALSE(s.AutoStart) << "the switch moved although the entry was not written";
}
#endif

}  // namespace
}  // namespace kb
