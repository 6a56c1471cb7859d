#ifndef _WIN32  // the XDG directories: Linux only
#include "platform/paths.h"

#include <gtest/gtest.h>

#include "platform/xdg_sandbox.h"

namespace kb {
namespace {

TEST(Paths, DirectoriesFollowTheEnvironmentAtCallTime) {
    test::XdgSandbox box;
    EXPECT_EQ(ConfigHome(), box.Config());
    EXPECT_EQ(AppConfigDir(), box.Config() + "/Kestrelbox");
    EXPECT_EQ(RuntimeDir(), box.Run());
    setenv("XDG_CONFIG_HOME", (box.Root() + "/other/").c_str(), 1);
    EXPECT_EQ(ConfigHome(), box.Root() + "/other");
    // Relative values are not valid base directories and are ignored.
    setenv("XDG_CONFIG_HOME", "relative/dir", 1);
    setenv("XDG_RUNTIME_DIR", "relative", 1);
    EXPECT_EQ(ConfigHome(), box.Root() + "/home/.config");
    EXPECT_EQ(RuntimeDir(), box.Root() + "/home/.config/Kestrelbox");
}

TEST(Paths, ProgramDirectoryKeepsItsTrailingSeparator) {
    EXPECT_EQ(DirectoryOf("/opt/kb/kestrelbox"), "/opt/kb/");
    EXPECT_EQ(DirectoryOf("/kestrelbox"), "/");
    EXPECT_EQ(DirectoryOf("kestrelbox"), "");
    const std::string exe = ExecutablePath();
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(exe.substr(exe.rfind('/') + 1), "test_platform");
}

TEST(Paths, MakeDirectoriesCreatesParentsAndReportsFailure) {
    test::XdgSandbox box;
    EXPECT_EQ(MakeDirectories(box.Root() + "/a/b/c"), 0);
    EXPECT_EQ(MakeDirectories(box.Root() + "/a/b/c"), 0);
    test::XdgSandbox::Write(box.Root() + "/f", "x");
    EXPECT_EQ(MakeDirectories(box.Root() + "/f/sub"), ENOTDIR);
    EXPECT_EQ(MakeDirectories(box.Root() + "/f"), ENOTDIR);
}

}  // namespace
}  // namespace kb
#endif
