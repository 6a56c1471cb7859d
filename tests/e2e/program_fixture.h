// The built program, copied into a temporary directory and started as a user
// would start it, with its configuration, state and runtime directories
// private to the test: the fixture the end-to-end tests share.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/xdg_sandbox.h"
#include "store/additionaloptions.h"
#include "store/configfile.h"
#include "store/settings.h"

extern char** environ;

namespace kbe2e {

using namespace kb;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Given as a value in a Process's environment: the variable is removed.
inline const std::string kUnset = "\x01unset";

inline std::string builtProgram() {
    if (const char* dir = std::getenv("KB_BUILD_DIR")) return std::string(dir) + "/kestrelbox";
    // Run by hand: the test binary lives in <build>/tests.
    return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "kestrelbox").string();
}

inline bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return done();
}

// The first pass only takes a baseline, and when it comes depends on the
// machine: drops a new file named "<stem> N.mp3" holding `content` into
// `share` every second and a half until the program has put one into `dest`.
// Returns that file's name ("" when none arrived within `limit`); the files
// dropped before the first pass stay in `share`, in its baseline.
inline std::string DropUntilMoved(const std::string& share, const std::string& dest,
                                  const std::string& stem, const std::string& content,
                                  std::chrono::milliseconds limit = 40000ms) {
    std::vector<std::string> dropped;
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        const std::string name = stem + " " + std::to_string(dropped.size() + 1) + ".mp3";
        std::ofstream(share + "/" + name) << content;
        dropped.push_back(name);
        const auto next = Clock::now() + 1500ms;
        while (Clock::now() < next) {
            for (const std::string& n : dropped)
                if (fs::exists(dest + "/" + n)) return n;
            std::this_thread::sleep_for(50ms);
        }
    }
    return {};
}

// A child process with its own environment; killed if the test leaves it running.
class Process {
public:
    Process(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
            const std::string& logPath) {
        std::map<std::string, std::string> all;
        for (char** e = environ; *e; ++e) {
            const std::string kv = *e;
            const auto eq = kv.find('=');
            if (eq != std::string::npos) all[kv.substr(0, eq)] = kv.substr(eq + 1);
        }
        for (const auto& [k, v] : env) {
            if (v == kUnset)
                all.erase(k);
            else
                all[k] = v;
        }
        std::vector<std::string> envStrings;
        for (const auto& [k, v] : all) envStrings.push_back(k + "=" + v);

        std::vector<char*> args, envp;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (auto& e : envStrings) envp.push_back(e.data());
        envp.push_back(nullptr);

        pid_ = fork();
        if (pid_ == 0) {
            const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            if (log >= 0) {
                dup2(log, 1);
                dup2(log, 2);
            }
            execve(args[0], args.data(), envp.data());
            _exit(127);
        }
    }
    ~Process() {
        if (running()) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool running() {
        if (pid_ <= 0 || status_) return false;
        int st = 0;
        if (waitpid(pid_, &st, WNOHANG) == pid_) {
            status_ = st;
            return false;
        }
        return true;
    }
    // The wait status once the process has ended within `limit`.
    std::optional<int> waitExit(std::chrono::milliseconds limit) {
        waitFor([this] { return !running(); }, limit);
        return status_;
    }
    void signal(int sig) {
        if (running()) kill(pid_, sig);
    }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

inline bool exitedWith(const std::optional<int>& status, int code) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == code;
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string built = builtProgram();
        ASSERT_TRUE(fs::exists(built)) << built << " was not built";
        appDir_ = sandbox_.Root() + "/app";
        fs::create_directories(appDir_);
        // A copy elsewhere must run on its own: nothing of the build tree is needed.
        fs::copy_file(built, program(), fs::copy_options::overwrite_existing);
        log_ = sandbox_.Root() + "/program.log";
        // Under the sanitizers: the desktop bus library keeps a buffer until
        // exit on X11; that one is not the program's to free.
        lsanSuppressions_ = sandbox_.Root() + "/lsan.supp";
        test::XdgSandbox::Write(lsanSuppressions_, "leak:libdbus-1.so\n");
    }
    void TearDown() override {
        if (HasFailure()) std::cerr << "program output:\n" << test::XdgSandbox::Read(log_);
    }

    std::string program() const { return appDir_ + "/kestrelbox"; }
    std::string configFile() const { return appDir_ + "/kbconf.ini"; }
    std::string stateDir() const { return sandbox_.Root() + "/state"; }
    std::string journalFile() const { return stateDir() + "/Kestrelbox/activity.sqlite3"; }

    std::map<std::string, std::string> environment(
        const std::string& platform = "offscreen") const {
        return {{"XDG_CONFIG_HOME", sandbox_.Config()},
                {"XDG_RUNTIME_DIR", sandbox_.Run()},
                {"HOME", sandbox_.Root() + "/home"},
                {"XDG_STATE_HOME", stateDir()},
                {"QT_QPA_PLATFORM", platform},
                {"LSAN_OPTIONS", "suppressions=" + lsanSuppressions_}};
    }

    std::unique_ptr<Process> start(std::vector<std::string> args = {},
                                   std::map<std::string, std::string> extra = {},
                                   const std::string& platform = "offscreen") {
        args.insert(args.begin(), program());
        auto env = environment(platform);
        for (const auto& [k, v] : extra) env[k] = v;
        return std::make_unique<Process>(args, env, log_);
    }

    bool configWritten(std::chrono::milliseconds limit = 15000ms) {
        return waitFor([this] { return fs::exists(configFile()); }, limit);
    }

    test::XdgSandbox sandbox_;
    std::string appDir_;
    std::string log_;
    std::string lsanSuppressions_;
};

}  // namespace kbe2e
