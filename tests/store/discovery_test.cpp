#include "store/discovery.h"

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/xdg_sandbox.h"

namespace kb {
namespace {

constexpr RegRoot HKLM = RegRoot::LocalMachine;

std::vector<std::string> Dirs(const ServiceStore& s) {
    std::vector<std::string> d;
    for (const auto& r : s.ServiceTable) d.push_back(r.sharedir);
    return d;
}

TEST(Discovery, WithoutClientSettingsEveryDirectoryIsEmptyAndTheMasksAreTheDefaults) {
    test::XdgSandbox box;
    ServiceStore store;
    InitServiceTable(store);
    ASSERT_EQ(store.ServiceCount(), 6);
    EXPECT_EQ(Dirs(store), std::vector<std::string>(6, ""));
    const char* masks[] = {"kazaa*;*.dat",    "morpheus*;*.dat",
                           "grokster*;*.dat", "*.txt;*.dat;*.tmp;*.dll;*.exe;*.dll;*.ico;*.",
                           "bear*;*.dat",     "limewire*"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(store.ServiceTable[i].excludefiles, masks[i]);
    // Discovery only reads.
    EXPECT_FALSE(RegKeyExists(HKLM, "SOFTWARE\\KaZaA\\LocalContent"));
}

#ifndef _WIN32  // a registry export as the emulated registry's file
TEST(Discovery, EachClientsRecordedDirectoryGoesToItsNetwork) {
    test::XdgSandbox box;
    // As an export written by hand might spell it.
    test::XdgSandbox::Write(box.RegistryFile(),
                            "Windows Registry Editor Version 5.00\n\n"
                            "[HKEY_LOCAL_MACHINE\\software\\kazaa\\localcontent]\n"
                            "\"downloaddir\"=\"/music/kazaa\"\n\n"
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morpheus\\LocalContent]\n"
                            "\"DownloadDir\"=hex(2):2f,00,6d,00,00,00\n\n"
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Grokster\\LocalContent]\n"
                            "\"DownloadDir\"=dword:00000007\n\n"
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\BearShare]\n"
                            "\"InstallDir\"=\"/opt/BearShare\"\n");
    ServiceStore store;
    InitServiceTable(store);
    // A directory stored as a number is not a directory.
    EXPECT_EQ(Dirs(store), (std::vector<std::string>{"/music/kazaa", "/m", "", "",
                                                     "/opt/BearShare/Shared", ""}));
}
#endif

TEST(Discovery, BearShareJoinsShared) {
    test::XdgSandbox box;
    // No separator is inserted or removed.
    WriteRegValue(HKLM, "SOFTWARE\\BearShare", "InstallDir", "/opt/BearShare/", regText);
    const std::string sep(1, kPathSeparator);
    EXPECT_EQ(ReadClientShareDir(sidBearShare), "/opt/BearShare/" + sep + "Shared");
    // A key without the value reads the value as empty text.
    DeleteRegValue(HKLM, "SOFTWARE\\BearShare", "InstallDir");
    EXPECT_EQ(ReadClientShareDir(sidBearShare), sep + "Shared");
    // A Kazaa key without its value gives an empty directory.
    CreateRegKey(HKLM, "SOFTWARE\\KaZaA\\LocalContent");
    EXPECT_EQ(ReadClientShareDir(sidKazaa), "");
    // Networks without client settings are never looked up.
    WriteRegValue(HKLM, "SOFTWARE\\LimeWire", "InstallDir", "/x", regText);
    EXPECT_EQ(ReadClientShareDir(sidLimeWire), "");
    EXPECT_EQ(ReadClientShareDir(sidAudioGalaxy), "");
}

}  // namespace
}  // namespace kb
