// Start-up decisions: the window's opening position, the hidden start and
// where the configuration file goes.
#include <gtest/gtest.h>

#include <QStringList>
#include <climits>
#include <filesystem>

#include "platform/xdg_sandbox.h"
#include "runtime/startup.h"

namespace {

using namespace kb;

AdditionalOptions placed(int left, int top, int width, int height) {
    AdditionalOptions s;
    s.WinLeft = left;
    s.WinTop = top;
    s.WinWidth = width;
    s.WinHeight = height;
    return s;
}

TEST(MainWindowStartPosition, KeepsAPositionOnScreenAndPullsNegativeEdgesToZero) {
    const QSize screen(1024, 768);
    EXPECT_EQ(MainWindowStartPosition(placed(50, 50, 440, 400), screen), QPoint(50, 50));
    EXPECT_EQ(MainWindowStartPosition(placed(-20, 30, 440, 400), screen), QPoint(0, 30));
    EXPECT_EQ(MainWindowStartPosition(placed(30, -5, 440, 400), screen), QPoint(30, 0));
    // Edges below 1 become 0, 1 stays.
    EXPECT_EQ(MainWindowStartPosition(placed(1, 0, 440, 400), screen), QPoint(1, 0));
}

TEST(MainWindowStartPosition, SendsAWindowOffTheScreenToTheCorner) {
    const QSize screen(1024, 768);
    EXPECT_EQ(MainWindowStartPosition(placed(5000, 50, 440, 400), screen), QPoint(0, 0));
    EXPECT_EQ(MainWindowStartPosition(placed(50, 5000, 440, 400), screen), QPoint(0, 0));
    // The quarter test is strict: left + width/4 must be below width - 10.
    EXPECT_EQ(MainWindowStartPosition(placed(1014 - 110, 50, 440, 400), screen), QPoint(0, 0));
    EXPECT_EQ(MainWindowStartPosition(placed(1013 - 110, 50, 440, 400), screen), QPoint(903, 50));
    EXPECT_EQ(MainWindowStartPosition(placed(50, 758 - 100, 440, 400), screen), QPoint(0, 0));
    EXPECT_EQ(MainWindowStartPosition(placed(50, 757 - 100, 440, 400), screen), QPoint(50, 657));
    // Sizes are truncated toward zero before adding.
    EXPECT_EQ(MainWindowStartPosition(placed(1013 - 110, 50, 443, 400), screen), QPoint(903, 50));
}

TEST(MainWindowStartPosition, ExtremeStoredValuesDoNotOverflowIntoAcceptance) {
    const QSize screen(1024, 768);
    EXPECT_EQ(MainWindowStartPosition(placed(INT_MAX, 10, INT_MAX, 400), screen), QPoint(0, 0));
    EXPECT_EQ(MainWindowStartPosition(placed(10, INT_MAX - 5, 400, 400), screen), QPoint(0, 0));
    // A huge negative left with a sane size is on screen by the test and pulled to 0.
    EXPECT_EQ(MainWindowStartPosition(placed(INT_MIN, 20, 400, 400), screen), QPoint(0, 20));
}

TEST(StartupArgument, MatchesStartupInAnyCaseAndOnlyAsAWholeArgument) {
    EXPECT_TRUE(HasStartupArgument({"/opt/kb/kestrelbox", "startup"}));
    EXPECT_TRUE(HasStartupArgument({"/opt/kb/kestrelbox", "STARTUP"}));
    EXPECT_TRUE(HasStartupArgument({"/opt/kb/kestrelbox", "x", "Startup"}));
    // The program path counts as an argument too.
    EXPECT_TRUE(HasStartupArgument({"startup"}));
    EXPECT_FALSE(HasStartupArgument({"/opt/kb/kestrelbox"}));
    EXPECT_FALSE(HasStartupArgument({"/opt/kb/kestrelbox", "--startup"}));
    EXPECT_FALSE(HasStartupArgument({"/opt/kb/kestrelbox", "startup2"}));
    EXPECT_FALSE(HasStartupArgument({"/startup/kestrelbox"}));
}

TEST(ConfigFileLocation, BesideTheProgramWhenWritableElseInTheUsersConfigDirectory) {
    test::XdgSandbox sandbox;
    const std::string programDir = sandbox.Root() + "/portable/";
    std::filesystem::create_directories(programDir);
    EXPECT_EQ(ChooseConfigFilePath(programDir), programDir + "kbconf.ini");
    // The probe leaves nothing behind.
    EXPECT_TRUE(std::filesystem::is_empty(programDir));

    // A directory that takes no files (here: one below a regular file).
    test::XdgSandbox::Write(sandbox.Root() + "/file", "x");
    const std::string fallback = sandbox.Config() + "/Kestrelbox/kbconf.ini";
    EXPECT_EQ(ChooseConfigFilePath(sandbox.Root() + "/file/sub/"), fallback);
    EXPECT_TRUE(std::filesystem::is_directory(sandbox.Config() + "/Kestrelbox"));
}

}  // namespace
