#include "store/settings.h"

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/xdg_sandbox.h"

namespace kb {
namespace {

TEST(Settings, MissingDamagedOrOutOfRangeValuesReadAsTheirDefaults) {
    test::XdgSandbox box;
    Settings o;
    o.WaitSettled = false;
    o.SettleSeconds = 99;
    LoadSettings(o);  // nothing stored yet
    EXPECT_EQ(o, Settings{});
    EXPECT_TRUE(o.WaitSettled);
    EXPECT_EQ(o.SettleSeconds, 10);

    const RegRoot HKLM = RegRoot::LocalMachine;
    for (const auto& [flag, seconds] :
         std::vector<std::pair<std::string, std::string>>{{"2", "3601"}, {"-1", "-1"}}) {
        WriteRegValue(HKLM, kOptionsKey, "WaitSettled", flag, regInteger);
        WriteRegValue(HKLM, kOptionsKey, "SettleSeconds", seconds, regInteger);
        LoadSettings(o);
        EXPECT_EQ(o, Settings{}) << flag << " " << seconds;
    }
    WriteRegValue(HKLM, kOptionsKey, "WaitSettled", "0", regText);  // text, not a dword
    LoadSettings(o);
    EXPECT_TRUE(o.WaitSettled);
}

TEST(Settings, SavedOptionsReadBack) {
    test::XdgSandbox box;
    Settings o;
    o.WaitSettled = false;
    o.SettleSeconds = 3600;
    SaveSettings(o);
    Settings back;
    LoadSettings(back);
    EXPECT_EQ(back, o);
}

TEST(Settings, TheDownloadOptionsReadBackAndAnEmptyListOfEndingsIsAChoice) {
    test::XdgSandbox box;
    Settings o;
    EXPECT_EQ(o.UnseenWriterMinutes, 10);
    EXPECT_TRUE(o.FoldersAsDownloads);
    EXPECT_EQ(o.PartialSuffixes, kDefaultPartialSuffixes);
    o.UnseenWriterMinutes = 1440;
    o.FoldersAsDownloads = false;
    o.PartialSuffixes = "";
    SaveSettings(o);
    Settings back;
    LoadSettings(back);
    EXPECT_EQ(back, o);
    EXPECT_EQ(back.PartialSuffixes, "");  // not the defaults again
    WriteRegValue(RegRoot::LocalMachine, kOptionsKey, "UnseenWriterMinutes", "1441", regInteger);
    DeleteRegValue(RegRoot::LocalMachine, kOptionsKey, "PartialSuffixes");
    LoadSettings(back);
    EXPECT_EQ(back.UnseenWriterMinutes, 10);
    EXPECT_EQ(back.PartialSuffixes, kDefaultPartialSuffixes);
}

#ifndef _WIN32  // the emulated registry's file
TEST(Settings, ScriptsFindAndSetThemInTheRegistryFile) {
    test::XdgSandbox box;
    Settings o;
    o.WaitSettled = false;
    o.SettleSeconds = 3600;
    SaveSettings(o);
    Settings back;
    const std::string text = test::XdgSandbox::Read(box.RegistryFile());
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelbox\\Options]\n"
                        "\"WaitSettled\"=dword:00000000\n"
                        "\"SettleSeconds\"=dword:00000e10\n"),
              std::string::npos)
        << text;

    // A script may write the file before the program starts.
    test::XdgSandbox::Write(box.RegistryFile(),
                            "Windows Registry Editor Version 5.00\r\n\r\n"
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelbox\\Options]\n"
                            "\"SettleSeconds\"=dword:0000001e\r\n");
    LoadSettings(back);
    EXPECT_TRUE(back.WaitSettled);
    EXPECT_EQ(back.SettleSeconds, 30);
}

TEST(Settings, AnUnwritableRegistryIsReported) {
    test::XdgSandbox box;
    box.MakeConfigUnwritable();
    EXPECT_THROW(SaveSettings(Settings{}), RegistryError);
}
#endif

}  // namespace
}  // namespace kb
