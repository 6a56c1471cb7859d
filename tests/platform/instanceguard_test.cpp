#ifndef _WIN32  // the lock file and socket guard, tested with fork: POSIX only
#include "platform/instanceguard.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <thread>

#include "platform/paths.h"
#include "platform/xdg_sandbox.h"

extern char** environ;

namespace kb {
namespace {

constexpr char kChildVar[] = "KB_TEST_GUARD_CHILD_FD";

// When this test program is started as the "first copy" of the kill test it
// takes the guard before any test runs, reports on the descriptor it was
// given, and waits to be killed.
int RunAsGuardHolderIfAsked() {
    const char* fdText = std::getenv(kChildVar);
    if (!fdText) return 0;
    static int fd = std::atoi(fdText);
    if (CheckAppAlreadyRunning("KbKillTest", false, false)) _exit(3);
    SetComeForwardCallback([] { [[maybe_unused]] ssize_t n = write(fd, "F", 1); });
    [[maybe_unused]] ssize_t n = write(fd, "R", 1);
    while (true) pause();
}
const int kGuardHolder = RunAsGuardHolderIfAsked();

// Waits up to five seconds for one byte on `fd`; 0 when none came.
char ReadByte(int fd) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 5000) != 1) return 0;
    char c = 0;
    return read(fd, &c, 1) == 1 ? c : 0;
}

class GuardTest : public ::testing::Test {
protected:
    void TearDown() override {
        SetComeForwardCallback({});
        ReleaseInstanceGuard();
    }
    test::XdgSandbox box_;
};

TEST_F(GuardTest, OnlyTheFirstHolderGetsItUntilItLetsGo) {
    EXPECT_FALSE(CheckAppAlreadyRunning("KbTest", true, false));
    EXPECT_TRUE(CheckAppAlreadyRunning("KbTest", false, false));
    EXPECT_TRUE(CheckAppAlreadyRunning("KbTest", false, true));
    // Another name is another guard.
    EXPECT_FALSE(CheckAppAlreadyRunning("KbOther", false, true));
    ReleaseInstanceGuard();
    // closeAfter lets go at once.
    EXPECT_FALSE(CheckAppAlreadyRunning("KbTest", false, true));
    EXPECT_FALSE(CheckAppAlreadyRunning("KbTest", false, false));
    EXPECT_TRUE(std::filesystem::exists(box_.Run() + "/KbTest.lock"));
}

TEST_F(GuardTest, ASecondCopysRequestReachesTheFirstOnTheListenerThread) {
    std::promise<std::thread::id> called;
    std::atomic<int> calls{0};
    SetComeForwardCallback([&] {
        if (calls++ == 0) called.set_value(std::this_thread::get_id());
    });
    ASSERT_FALSE(CheckAppAlreadyRunning("KbTest", true, false));
    // A copy that does not ask to activate sends nothing.
    EXPECT_TRUE(CheckAppAlreadyRunning("KbTest", false, false));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(calls.load(), 0);

    EXPECT_TRUE(CheckAppAlreadyRunning("KbTest", true, false));
    auto f = called.get_future();
    ASSERT_EQ(f.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_NE(f.get(), std::this_thread::get_id());
}

TEST_F(GuardTest, ReplacingTheCallbackWaitsForARunningOne) {
    std::promise<void> started;
    std::atomic<bool> finished{false};
    SetComeForwardCallback([&] {
        started.set_value();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        finished = true;
    });
    ASSERT_FALSE(CheckAppAlreadyRunning("KbTest", false, false));
    EXPECT_TRUE(CheckAppAlreadyRunning("KbTest", true, false));
    ASSERT_EQ(started.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
    // The receiver may be destroyed once the callback is replaced.
    SetComeForwardCallback({});
    EXPECT_TRUE(finished.load());
}

TEST_F(GuardTest, AKilledFirstCopyNeverBlocksTheNextStart) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    const std::string exe = ExecutablePath();
    const std::string var = std::string(kChildVar) + "=" + std::to_string(fds[1]);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    env.push_back(var);
    std::vector<char*> envp;
    for (std::string& s : env) envp.push_back(s.data());
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execve(exe.c_str(), argv, envp.data());
        _exit(127);
    }
    close(fds[1]);
    struct Reaper {
        pid_t pid;
        int fd;
        ~Reaper() {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            close(fd);
        }
    } reaper{child, fds[0]};

    ASSERT_EQ(ReadByte(fds[0]), 'R') << "the child did not take the guard";
    EXPECT_TRUE(CheckAppAlreadyRunning("KbKillTest", true, false));
    EXPECT_EQ(ReadByte(fds[0]), 'F') << "the request did not reach the other process";

    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));

    // The dead copy's socket file is still there; the new holder replaces it.
    EXPECT_FALSE(CheckAppAlreadyRunning("KbKillTest", false, false));
    std::promise<void> called;
    SetComeForwardCallback([&] { called.set_value(); });
    EXPECT_TRUE(CheckAppAlreadyRunning("KbKillTest", true, false));
    EXPECT_EQ(called.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
    SetComeForwardCallback({});
}

TEST_F(GuardTest, TheHolderWritesItselfDownAndAHeadlessOneSaysSo) {
    EXPECT_EQ(ReadGuardHolder("KbTest").pid, 0);  // nobody yet
    ASSERT_FALSE(CheckAppAlreadyRunning("KbTest", false, false));
    GuardHolder h = ReadGuardHolder("KbTest");
    EXPECT_EQ(h.pid, getpid());
    EXPECT_FALSE(h.headless);
    MarkGuardHeadless();
    h = ReadGuardHolder("KbTest");
    EXPECT_EQ(h.pid, getpid());
    EXPECT_TRUE(h.headless);
    // A holder that took the guard afterwards with a window is not headless.
    ReleaseInstanceGuard();
    ASSERT_FALSE(CheckAppAlreadyRunning("KbTest", false, false));
    EXPECT_FALSE(ReadGuardHolder("KbTest").headless);
}

TEST_F(GuardTest, FallsBackToTheConfigDirectoryWithoutARuntimeDirectory) {
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_FALSE(CheckAppAlreadyRunning("KbTest", false, false));
    EXPECT_TRUE(std::filesystem::exists(box_.Config() + "/Kestrelbox/KbTest.lock"));
    EXPECT_TRUE(CheckAppAlreadyRunning("KbTest", false, true));
}

TEST_F(GuardTest, AGuardThatCannotBeCreatedRaisesItsMessage) {
    test::XdgSandbox::Write(box_.Root() + "/file", "x");
    setenv("XDG_RUNTIME_DIR", (box_.Root() + "/file/run").c_str(), 1);
    try {
        CheckAppAlreadyRunning("KbTest", true, false);
        FAIL() << "no error raised";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "CheckAppAlreadyRunning: can't create file mapping");
    }
}

}  // namespace
}  // namespace kb
#endif
