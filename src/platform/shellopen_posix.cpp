// Opening with the desktop's handler: xdg-open (or "gio open" where it is
// missing), started directly with the target as its one argument.
#include <errno.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/shellopen.h"

extern char** environ;

namespace kb {

namespace {

std::mutex& OpenerMutex() {
    static std::mutex m;
    return m;
}

std::string& OpenerProgram() {
    static std::string program;
    return program;
}

// Some handlers stay in the foreground until the opened program ends. Past
// this wait the start counts as a success and the handler is reaped later.
constexpr auto kHandlerWait = std::chrono::seconds(3);

int Spawn(const std::vector<std::string>& args, pid_t& pid) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
}

int WaitForHandler(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + kHandlerWait;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : -1;
        if (r < 0 && errno != EINTR) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return 0;
}

}  // namespace

void SetShellOpenProgram(const std::string& program) {
    std::lock_guard lock(OpenerMutex());
    OpenerProgram() = program;
}

int ShellOpen(const std::string& target) {
    if (target.empty()) return -1;
    // A relative name starting with "-" would be taken for an option.
    const std::string arg = target[0] == '-' ? "./" + target : target;
    std::string program;
    {
        std::lock_guard lock(OpenerMutex());
        program = OpenerProgram();
    }
    pid_t pid = 0;
    int err = 0;
    if (!program.empty()) {
        err = Spawn({program, arg}, pid);
    } else {
        err = Spawn({"xdg-open", arg}, pid);
        if (err == ENOENT) err = Spawn({"gio", "open", arg}, pid);
    }
    if (err != 0) return -1;
    return WaitForHandler(pid);
}

}  // namespace kb
