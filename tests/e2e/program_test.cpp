// The built program, copied into a temporary directory and started as a user
// would start it, with its configuration and runtime directories private to
// the test. What it does is watched from outside: its files, its exit status,
// and (on a virtual X display) its window.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "program_fixture.h"
#include "store/additionaloptions.h"
#include "store/configfile.h"
#include "store/settings.h"

namespace {

using namespace kbe2e;

TEST_F(ProgramTest, WritesItsConfigurationAtStartAndEndsCleanlyOnSigtermSavingItsSettings) {
    AdditionalOptions seeded;
    seeded.WinLeft = 77;
    seeded.WinTop = 66;
    seeded.WinWidth = 999;
    SaveAdditionalOptions(seeded);
    // Saves cut off by a kill leave temporary files behind: those of a
    // process that has ended go at start, a running one's stay.
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string cutSave = configFile() + "." + std::to_string(gone) + ".0badf00d.tmp";
    const std::string cutRegistry =
        sandbox_.RegistryFile() + "." + std::to_string(gone) + ".0badf00d.tmp";
    const std::string live = configFile() + ".1.0badf00d.tmp";
    for (const auto& f : {cutSave, cutRegistry, live}) test::XdgSandbox::Write(f, "half");

    auto p = start();
    ASSERT_TRUE(configWritten());
    EXPECT_FALSE(fs::exists(cutSave));
    EXPECT_FALSE(fs::exists(cutRegistry));
    EXPECT_TRUE(fs::exists(live));
    EXPECT_EQ(test::XdgSandbox::Read(configFile()).rfind("[Main Info]\r\nVersion=1.00\r\n", 0), 0u);
    ServiceStore loaded;
    loaded.InitServiceTable(nullptr);
    EXPECT_EQ(ReadConfigFile(configFile(), loaded, [](const std::string&) {}), 0);
    EXPECT_EQ(loaded.ServiceCount(), 6);
    EXPECT_TRUE(p->running());

    p->signal(SIGTERM);
    EXPECT_TRUE(exitedWith(p->waitExit(10000ms), 0));

    // The window opened where it was left and its place was saved again.
    AdditionalOptions after;
    LoadAdditionalOptions(after);
    EXPECT_EQ(after.WinLeft, 77);
    EXPECT_EQ(after.WinTop, 66);
    EXPECT_NE(after.WinWidth, 999);
    EXPECT_GE(after.WinWidth, 400);
    // The guard is free again: the next start runs normally.
    auto again = start();
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(again->running());
    again->signal(SIGTERM);
    EXPECT_TRUE(exitedWith(again->waitExit(10000ms), 0));
}

TEST_F(ProgramTest, AnEnabledServiceMovesANewFileDroppedIntoItsFolder) {
    const std::string share = sandbox_.Root() + "/share";
    const std::string dest = sandbox_.Root() + "/music";
    fs::create_directories(share);
    fs::create_directories(dest);
    std::ofstream(share + "/old.mp3") << "already here";

    ServiceStore store;
    store.InitServiceTable(nullptr);
    rServiceRules& kazaa = store.ServiceTable[0];
    kazaa.enabled = true;
    kazaa.sharedir = share;
    RuleRec rule;
    rule.rulename = "Move new music";
    rule.enabled = true;
    rule.mcond = trgNewFile;
    ruleactionrec move;
    move.raction = actMove;
    move.move.filepath = dest;
    rule.actions.push_back(move);
    kazaa.rulelist.rules.push_back(rule);
    ASSERT_EQ(WriteConfigFile(configFile(), store), 0);
    // Acting in the pass that first lists the file; the completion gate has
    // a test of its own.
    Settings immediate;
    immediate.WaitSettled = false;
    SaveSettings(immediate);

    struct stat before {};
    ASSERT_EQ(stat(configFile().c_str(), &before), 0);
    auto p = start();
    // The window rewrites the file (a new inode: temp file and rename) just
    // before it starts the scan timer; the first pass, five seconds later,
    // only takes the baseline.
    ASSERT_TRUE(waitFor(
        [&] {
            struct stat now {};
            return stat(configFile().c_str(), &now) == 0 && now.st_ino != before.st_ino;
        },
        15000ms));
    ASSERT_TRUE(p->running());
    const std::string moved = DropUntilMoved(share, dest, "new song", "fresh download");
    ASSERT_FALSE(moved.empty());
    EXPECT_FALSE(fs::exists(share + "/" + moved));
    EXPECT_EQ(test::XdgSandbox::Read(dest + "/" + moved), "fresh download");
    // What was there before the program started is not new.
    EXPECT_TRUE(fs::exists(share + "/old.mp3"));
    EXPECT_FALSE(fs::exists(dest + "/old.mp3"));

    // The journal tells it, read while the program runs, as JSON lines.
    const std::string history = sandbox_.Root() + "/history.txt";
    Process query({program(), "--history", "5"}, environment(), history);
    EXPECT_TRUE(exitedWith(query.waitExit(10000ms), 0));
    const std::string lines = test::XdgSandbox::Read(history);
    EXPECT_NE(lines.find("\"service\":\"Kazaa\",\"rule\":\"Move new music\",\"action\":\"move\","
                         "\"source\":\"" +
                         share + "/" + moved + "\",\"target\":\"" + dest +
                         "\",\"size\":14,\"ok\":true,\"error\":\"\"}"),
              std::string::npos)
        << lines;
    EXPECT_EQ(lines.rfind("{\"time\":\"", 0), 0u) << lines;
    EXPECT_TRUE(p->running());

    p->signal(SIGTERM);
    EXPECT_TRUE(exitedWith(p->waitExit(10000ms), 0));
}

TEST_F(ProgramTest, ABadCommandLineSaysWhatAndEndsWithStatusTwo) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--frobnicate"}, {"--history", "0"}, {"--history", "many"}}) {
        fs::remove(log_);
        auto p = start(args);
        EXPECT_TRUE(exitedWith(p->waitExit(10000ms), 2)) << args[0];
        const std::string said = test::XdgSandbox::Read(log_);
        EXPECT_NE(said.find("\nTry 'kestrelbox --help'.\n"), std::string::npos) << said;
        EXPECT_FALSE(fs::exists(configFile()));  // nothing was touched
    }
    auto help = start({"--help"});
    EXPECT_TRUE(exitedWith(help->waitExit(10000ms), 0));
    auto version = start({"--version"});
    EXPECT_TRUE(exitedWith(version->waitExit(10000ms), 0));
    EXPECT_NE(test::XdgSandbox::Read(log_).find("Kestrelbox 1.00"), std::string::npos);
}

TEST_F(ProgramTest, ASecondStartEndsAtOnceWithStatusZeroTouchingNothing) {
    auto first = start();
    ASSERT_TRUE(configWritten());
    std::this_thread::sleep_for(500ms);
    const std::string config = test::XdgSandbox::Read(configFile());
    const auto configTime = fs::last_write_time(configFile());
    const std::string registry = test::XdgSandbox::Read(sandbox_.RegistryFile());

    auto second = start();
    EXPECT_TRUE(exitedWith(second->waitExit(10000ms), 0));
    EXPECT_TRUE(first->running());
    EXPECT_EQ(test::XdgSandbox::Read(configFile()), config);
    EXPECT_EQ(fs::last_write_time(configFile()), configTime);
    EXPECT_EQ(test::XdgSandbox::Read(sandbox_.RegistryFile()), registry);

    first->signal(SIGTERM);
    EXPECT_TRUE(exitedWith(first->waitExit(10000ms), 0));
}

// A child process writing a download the way many clients do: reopening the
// file by name for each 32 KiB piece.
class SlowDownload {
public:
    SlowDownload(const std::string& path, int chunks, std::chrono::milliseconds gap)
        : path_(path), chunks_(chunks) {
        pid_ = fork();
        if (pid_ != 0) return;
        const std::string piece(32 * 1024, 'd');
        const timespec pause{0, static_cast<long>(gap.count()) * 1000000L};
        for (int k = 0; k < chunks; ++k) {
            const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (fd < 0 ||
                write(fd, piece.data(), piece.size()) != static_cast<ssize_t>(piece.size()))
                _exit(1);
            close(fd);
            nanosleep(&pause, nullptr);
        }
        _exit(0);
    }
    ~SlowDownload() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool Wait(std::chrono::milliseconds limit) {
        int st = 0;
        const bool ended = waitFor([&] { return waitpid(pid_, &st, WNOHANG) == pid_; }, limit);
        if (ended) pid_ = -1;
        return ended && WIFEXITED(st) && WEXITSTATUS(st) == 0;
    }
    std::uintmax_t Bytes() const { return static_cast<std::uintmax_t>(chunks_) * 32 * 1024; }

private:
    std::string path_;
    int chunks_;
    pid_t pid_ = -1;
};

TEST_F(ProgramTest, ADownloadStillBeingWrittenIsMovedWholeOnceItHasSettled) {
    const std::string share = sandbox_.Root() + "/share";
    // Across file systems where the machine has two: the case that used to
    // copy the part written so far and delete the rest.
    struct stat tmp {
    }, shm{};
    const bool across = stat("/tmp", &tmp) == 0 && stat("/dev/shm", &shm) == 0 &&
                        tmp.st_dev != shm.st_dev && sandbox_.Root().rfind("/tmp/", 0) == 0;
    std::string destTemplate = (across ? "/dev/shm" : sandbox_.Root()) + "/kbdest-XXXXXX";
    ASSERT_NE(mkdtemp(destTemplate.data()), nullptr);
    const std::string dest = destTemplate;
    struct RemoveDest {
        std::string dir;
        ~RemoveDest() { fs::remove_all(dir); }
    } cleanup{dest};
    fs::create_directories(share);

    ServiceStore store;
    store.InitServiceTable(nullptr);
    store.ServiceTable[0].enabled = true;
    store.ServiceTable[0].sharedir = share;
    RuleRec rule;
    rule.rulename = "Move downloads";
    rule.enabled = true;
    rule.mcond = trgNewFile;
    ruleactionrec move;
    move.raction = actMove;
    move.move.filepath = dest;
    rule.actions.push_back(move);
    store.ServiceTable[0].rulelist.rules.push_back(rule);
    ASSERT_EQ(WriteConfigFile(configFile(), store), 0);
    Settings gated;  // on, as by default, with a short settle time for the test
    gated.SettleSeconds = 2;
    SaveSettings(gated);

    struct stat before {};
    ASSERT_EQ(stat(configFile().c_str(), &before), 0);
    auto p = start();
    ASSERT_TRUE(waitFor(
        [&] {
            struct stat now {};
            return stat(configFile().c_str(), &now) == 0 && now.st_ino != before.st_ino;
        },
        15000ms));
    // The first pass takes the empty baseline; a file that settles and is
    // moved says passes run.
    const std::string probe = DropUntilMoved(share, dest, "probe", "x");
    ASSERT_FALSE(probe.empty());

    // About seven seconds of writing: passes come and go meanwhile.
    SlowDownload download(share + "/film.mkv", 48, 150ms);
    ASSERT_TRUE(download.Wait(30000ms));
    ASSERT_TRUE(waitFor([&] { return !fs::exists(share + "/film.mkv"); }, 20000ms));
    std::error_code ec;
    EXPECT_EQ(fs::file_size(dest + "/film.mkv", ec), download.Bytes());
    EXPECT_FALSE(fs::exists(share + "/film.mkv"));
    // Besides the probes (those still settling when the film began went on
    // to be moved), only the film.
    int others = 0;
    for (const auto& e : fs::directory_iterator(dest))
        if (e.path().filename().string().rfind("probe ", 0) != 0) ++others;
    EXPECT_EQ(others, 1);

    p->signal(SIGTERM);
    EXPECT_TRUE(exitedWith(p->waitExit(10000ms), 0));
}

// A virtual X display without a notification area, for watching the window.
class VirtualDisplay {
public:
    VirtualDisplay(const std::string& log) {
        if (!fs::exists("/usr/bin/Xvfb") || !fs::exists("/usr/bin/xdotool")) return;
        for (int n = 140 + getpid() % 50; n < 240; ++n) {
            if (fs::exists("/tmp/.X" + std::to_string(n) + "-lock")) continue;
            const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
            // A socket left by a server that died would look ready before ours is.
            if (fs::exists(socket)) continue;
            auto x = std::make_unique<Process>(
                std::vector<std::string>{"/usr/bin/Xvfb", ":" + std::to_string(n), "-nolisten",
                                         "tcp", "-screen", "0", "1024x768x24"},
                std::map<std::string, std::string>{}, log);
            // The socket appears before the server takes connections; wait for an
            // answer from it, not just the file.
            const auto answers = [&] {
                Process ask({"/usr/bin/xdotool", "getdisplaygeometry"},
                            {{"DISPLAY", ":" + std::to_string(n)}}, log);
                return exitedWith(ask.waitExit(5000ms), 0);
            };
            if (waitFor([&] { return (fs::exists(socket) && answers()) || !x->running(); },
                        10000ms) &&
                x->running()) {
                server_ = std::move(x);
                display_ = ":" + std::to_string(n);
                return;
            }
        }
    }
    ~VirtualDisplay() {
        if (server_) {
            server_->signal(SIGTERM);
            server_->waitExit(5000ms);
        }
    }
    const std::string& Display() const { return display_; }

    // True when a shown window has exactly this title.
    bool WindowVisible(const std::string& title, const std::string& log) const {
        Process search({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"},
                       {{"DISPLAY", display_}}, log);
        return exitedWith(search.waitExit(5000ms), 0);
    }

private:
    std::unique_ptr<Process> server_;
    std::string display_;
};

TEST_F(ProgramTest, StartupInAnyCaseStartsHiddenAndASecondStartShowsItWhenThereIsNoTray) {
    VirtualDisplay x(log_);
    if (x.Display().empty()) GTEST_SKIP() << "needs Xvfb and xdotool";
    const std::map<std::string, std::string> display = {{"DISPLAY", x.Display()}};
    auto visible = [&] { return x.WindowVisible("Kestrelbox", log_); };

    // Without the argument the window shows: the watch itself works.
    {
        auto p = start({}, display, "xcb");
        EXPECT_TRUE(waitFor(visible, 15000ms));
        p->signal(SIGTERM);
        EXPECT_TRUE(exitedWith(p->waitExit(10000ms), 0));
    }
    EXPECT_TRUE(waitFor([&] { return !visible(); }, 5000ms));

    fs::remove(configFile());
    auto hidden = start({"STARTUP"}, display, "xcb");
    ASSERT_TRUE(configWritten());
    std::this_thread::sleep_for(1500ms);
    EXPECT_FALSE(visible());
    EXPECT_TRUE(hidden->running());

    // No notification area: the only way back to the window is starting again.
    auto second = start({}, display, "xcb");
    EXPECT_TRUE(exitedWith(second->waitExit(10000ms), 0));
    EXPECT_TRUE(waitFor(visible, 10000ms));

    hidden->signal(SIGTERM);
    EXPECT_TRUE(exitedWith(hidden->waitExit(10000ms), 0));
}

TEST_F(ProgramTest, ATerminationRequestWhileAStartupWarningIsOpenEndsTheProgramAtOnce) {
    VirtualDisplay x(log_);
    if (x.Display().empty()) GTEST_SKIP() << "needs Xvfb and xdotool";
    test::XdgSandbox::Write(configFile(), "[Main]\r\n");  // "Error: Invalid alarm file"
    AdditionalOptions seeded;
    seeded.WinLeft = 123;
    SaveAdditionalOptions(seeded);
    struct stat saved {};
    ASSERT_EQ(stat(sandbox_.RegistryFile().c_str(), &saved), 0);
    std::this_thread::sleep_for(50ms);  // a later save gets a later time stamp

    auto p = start({}, {{"DISPLAY", x.Display()}}, "xcb");
    ASSERT_TRUE(waitFor([&] { return x.WindowVisible("Warning", log_); }, 15000ms));
    p->signal(SIGTERM);
    EXPECT_TRUE(exitedWith(p->waitExit(5000ms), 0));
    // The settings were saved (the file was written again) and kept their values.
    struct stat now {};
    ASSERT_EQ(stat(sandbox_.RegistryFile().c_str(), &now), 0);
    EXPECT_TRUE(now.st_mtim.tv_sec != saved.st_mtim.tv_sec ||
                now.st_mtim.tv_nsec != saved.st_mtim.tv_nsec);
    AdditionalOptions after;
    LoadAdditionalOptions(after);
    EXPECT_EQ(after.WinLeft, 123);
    // What could not be read is kept beside the rewritten file.
    EXPECT_EQ(test::XdgSandbox::Read(BackupConfigPath(configFile())), "[Main]\r\n");
}

}  // namespace
