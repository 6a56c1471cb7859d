#ifndef _WIN32  // the desktop opener as a POSIX program
#include "platform/shellopen.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/xdg_sandbox.h"

namespace kb {
namespace {

class ShellOpenTest : public ::testing::Test {
protected:
    // An opener that records how many arguments it got and the first one.
    std::string MakeOpener(int exitCode) {
        const std::string path = box_.Root() + "/opener.sh";
        test::XdgSandbox::Write(path, "#!/bin/sh\nprintf '%s:%s' \"$#\" \"$1\" > \"" + Out() +
                                          "\"\nexit " + std::to_string(exitCode) + "\n");
        chmod(path.c_str(), 0755);
        return path;
    }
    std::string Out() const { return box_.Root() + "/out"; }
    void TearDown() override { SetShellOpenProgram(""); }
    test::XdgSandbox box_;
};

TEST_F(ShellOpenTest, TheTargetReachesTheHandlerAsOneUninterpretedArgument) {
    SetShellOpenProgram(MakeOpener(0));
    const std::string target = "/tmp/a b/\"q\" $(touch pwned) `id` ;x\nline.mp3";
    EXPECT_EQ(ShellOpen(target), 0);
    EXPECT_EQ(test::XdgSandbox::Read(Out()), "1:" + target);
    EXPECT_EQ(ShellOpen("https://example.org/help?a=1&b=2"), 0);
    EXPECT_EQ(test::XdgSandbox::Read(Out()), "1:https://example.org/help?a=1&b=2");
    // A name that looks like an option is made a path.
    EXPECT_EQ(ShellOpen("-rf"), 0);
    EXPECT_EQ(test::XdgSandbox::Read(Out()), "1:./-rf");
}

TEST_F(ShellOpenTest, AFailingOrMissingHandlerIsReported) {
    SetShellOpenProgram(MakeOpener(4));
    EXPECT_EQ(ShellOpen("/tmp/x"), -1);
    SetShellOpenProgram(box_.Root() + "/no-such-opener");
    EXPECT_EQ(ShellOpen("/tmp/x"), -1);
    SetShellOpenProgram(MakeOpener(0));
    EXPECT_EQ(ShellOpen(""), -1);
}

}  // namespace
}  // namespace kb
#endif
