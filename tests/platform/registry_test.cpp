#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/xdg_sandbox.h"

namespace kb {
namespace {

constexpr RegRoot HKLM = RegRoot::LocalMachine;

TEST(Registry, ValuesAreTypedAndReadBackOnlyAsTheirType) {
    test::XdgSandbox box;
    WriteRegValue(HKLM, "\\SOFTWARE\\Test", "Dir", "C:\\Music \"x\"", regText);
    WriteRegValue(HKLM, "\\SOFTWARE\\Test", "Expand", "%HOME%/x", regExpandText);
    WriteRegInteger(HKLM, "\\SOFTWARE\\Test", "Count", -5);
    WriteRegValue(HKLM, "\\SOFTWARE\\Test", "Blob", "raw", regBinary);

    std::string s = "unchanged";
    ASSERT_EQ(ReadRegString(HKLM, "SOFTWARE\\Test", "Dir", s), 0);
    EXPECT_EQ(s, "C:\\Music \"x\"");
    ASSERT_EQ(ReadRegString(HKLM, "SOFTWARE\\Test", "Expand", s), 0);
    EXPECT_EQ(s, "%HOME%/x");

    // A number or binary value is not text: the read fails and leaves the text alone.
    s = "unchanged";
    EXPECT_EQ(ReadRegString(HKLM, "SOFTWARE\\Test", "Count", s), -1);
    EXPECT_EQ(ReadRegString(HKLM, "SOFTWARE\\Test", "Blob", s), -1);
    EXPECT_EQ(s, "unchanged");
    // A missing value reads as empty text, a missing key fails.
    EXPECT_EQ(ReadRegString(HKLM, "SOFTWARE\\Test", "Nothing", s), 0);
    EXPECT_EQ(s, "");
    s = "unchanged";
    EXPECT_EQ(ReadRegString(HKLM, "SOFTWARE\\Missing", "Dir", s), -1);
    EXPECT_EQ(s, "unchanged");

    std::int32_t n = 99;
    ASSERT_EQ(ReadRegInteger(HKLM, "SOFTWARE\\Test", "Count", n), 0);
    EXPECT_EQ(n, -5);
    n = 99;
    EXPECT_EQ(ReadRegInteger(HKLM, "SOFTWARE\\Test", "Dir", n), -1);
    EXPECT_EQ(ReadRegInteger(HKLM, "SOFTWARE\\Test", "Nothing", n), -1);
    EXPECT_EQ(n, 99);
    // The roots are separate trees.
    EXPECT_EQ(ReadRegInteger(RegRoot::CurrentUser, "SOFTWARE\\Test", "Count", n), -1);
}

TEST(Registry, KeyAndValueNamesIgnoreCase) {
    test::XdgSandbox box;
    EXPECT_FALSE(RegKeyExists(HKLM, "SOFTWARE\\Kestrelbox"));
    WriteRegInteger(HKLM, "\\Software\\Kestrelbox\\Main", "Left", 7);
    // Creating the subkey creates its parent, so the first-run test sees it.
    EXPECT_TRUE(RegKeyExists(HKLM, "\\SOFTWARE\\KESTRELBOX"));
    WriteRegInteger(HKLM, "\\SOFTWARE\\KESTRELBOX\\MAIN", "LEFT", 8);
    std::int32_t n = 0;
    ASSERT_EQ(ReadRegInteger(HKLM, "software\\kestrelbox\\main", "left", n), 0);
    EXPECT_EQ(n, 8);
#ifndef _WIN32
    const std::string file = test::XdgSandbox::Read(box.RegistryFile());
    EXPECT_EQ(file.find("LEFT"), std::string::npos) << "the value was duplicated:\n" << file;
#endif
}

TEST(Registry, TypeZeroKeepsTheStoredTypeAndBadRequestsRaise) {
    test::XdgSandbox box;
    WriteRegInteger(HKLM, "K", "Num", 1);
    WriteRegValue(HKLM, "K", "Num", "42", regKeepType);
    std::int32_t n = 0;
    ASSERT_EQ(ReadRegInteger(HKLM, "K", "Num", n), 0);
    EXPECT_EQ(n, 42);
    WriteRegValue(HKLM, "K", "New", "text", regKeepType);
    std::string s;
    ASSERT_EQ(ReadRegString(HKLM, "K", "New", s), 0);
    EXPECT_EQ(s, "text");

    EXPECT_THROW(WriteRegValue(HKLM, "K", "Num", "x", 5), RegistryError);
    EXPECT_THROW(WriteRegValue(HKLM, "K", "Num", "x", -1), RegistryError);
    EXPECT_THROW(WriteRegValue(HKLM, "K", "Num", "12abc", regInteger), RegistryError);
    EXPECT_THROW(WriteRegValue(HKLM, "K", "Num", "", regKeepType), RegistryError);
#ifndef _WIN32  // a line break cannot be kept in the emulation's file; Windows takes it
    EXPECT_THROW(WriteRegValue(HKLM, "K", "Bad\nName", "x", regText), RegistryError);
#endif
    ASSERT_EQ(ReadRegInteger(HKLM, "K", "Num", n), 0);
    EXPECT_EQ(n, 42);
}

TEST(Registry, DeletingRemovesOneValueAndAMissingValueIsNoError) {
    test::XdgSandbox box;
    WriteRegValue(HKLM, "K", "A", "1", regText);
    WriteRegValue(HKLM, "K", "B", "2", regText);
    DeleteRegValue(HKLM, "k", "a");
    DeleteRegValue(HKLM, "K", "A");
    std::string s = "x";
    EXPECT_EQ(ReadRegString(HKLM, "K", "A", s), 0);
    EXPECT_EQ(s, "");
    ASSERT_EQ(ReadRegString(HKLM, "K", "B", s), 0);
    EXPECT_EQ(s, "2");
    // Deleting opens the key with creation, as writing does.
    DeleteRegValue(HKLM, "Other", "A");
    EXPECT_TRUE(RegKeyExists(HKLM, "Other"));
}

#ifndef _WIN32  // the emulation's file
TEST(Registry, LivesInTheConfigDirectoryChosenAtCallTime) {
    test::XdgSandbox box;
    WriteRegInteger(HKLM, "K", "N", 1);
    const std::string file = test::XdgSandbox::Read(box.RegistryFile());
    EXPECT_EQ(file.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
    EXPECT_NE(file.find("[HKEY_LOCAL_MACHINE\\K]\n\"N\"=dword:00000001\n"), std::string::npos);

    test::XdgSandbox other;
    EXPECT_FALSE(RegKeyExists(HKLM, "K"));
}

TEST(Registry, ADamagedFileIsReadAsFarAsItIsSoundAndRepairedByTheNextWrite) {
    test::XdgSandbox box;
    test::XdgSandbox::Write(box.RegistryFile(),
                            std::string("\x01\x02garbage\n[HKEY_LOCAL_MACHINE\\K]\n\"Good\"=dword:"
                                        "00000005\n\"Broken\"=dword:zz\n\xff\xfe\n"));
    std::int32_t n = 0;
    ASSERT_EQ(ReadRegInteger(HKLM, "K", "Good", n), 0);
    EXPECT_EQ(n, 5);
    EXPECT_EQ(ReadRegInteger(HKLM, "K", "Broken", n), -1);
    WriteRegInteger(HKLM, "K", "More", 6);
    const std::string file = test::XdgSandbox::Read(box.RegistryFile());
    EXPECT_EQ(file,
              "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\K]\n"
              "\"Good\"=dword:00000005\n\"More\"=dword:00000006\n");
}

TEST(Registry, AnUnwritableLocationRaisesTheSystemMessage) {
    test::XdgSandbox box;
    box.MakeConfigUnwritable();
    try {
        WriteRegInteger(HKLM, "K", "N", 1);
        FAIL() << "no error raised";
    } catch (const RegistryError& e) {
        EXPECT_STREQ(e.what(), std::strerror(ENOTDIR));
    }
    EXPECT_THROW(DeleteRegValue(HKLM, "K", "N"), RegistryError);
    EXPECT_THROW(CreateRegKey(HKLM, "K"), RegistryError);
    std::int32_t n = 3;
    EXPECT_EQ(ReadRegInteger(HKLM, "K", "N", n), -1);
    EXPECT_FALSE(RegKeyExists(HKLM, "K"));
}
#endif

}  // namespace
}  // namespace kb
