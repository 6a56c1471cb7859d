#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/errortext.h"
#include "platform/process.h"

namespace kb {

namespace {

bool IsExecutableFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// The executable a bare name stands for, from $PATH; "" when none.
std::string SearchPath(const std::string& name) {
    // Nothing in this program changes its environment once it runs.
    const char* env = std::getenv("PATH");  // NOLINT(concurrency-mt-unsafe)
    const std::string path = env && *env ? env : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    for (;;) {
        const size_t colon = path.find(':', start);
        std::string dir = path.substr(start, colon == std::string::npos ? colon : colon - start);
        if (dir.empty()) dir = ".";
        std::string candidate = dir + "/" + name;
        if (IsExecutableFile(candidate)) return candidate;
        if (colon == std::string::npos) return "";
        start = colon + 1;
    }
}

std::string Resolve(const std::string& program) {
    if (program.find('/') != std::string::npos) return IsExecutableFile(program) ? program : "";
    return SearchPath(program);
}

// Runs in the grandchild between fork and exec: only async-signal-safe calls.
[[noreturn]] void ExecChild(const char* path, char* const argv[], int devnull, int report) {
    ::setsid();
    // Dispositions set to "ignore" and blocked signals survive exec; the
    // program should start with the defaults, as from a desktop launcher.
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &dfl, nullptr);
    sigset_t none;
    sigemptyset(&none);
    // In the child after fork: one thread only.
    ::sigprocmask(SIG_SETMASK, &none, nullptr);  // NOLINT(concurrency-mt-unsafe)
    if (devnull >= 0) ::dup2(devnull, 0);
    // Descriptors this process opened without close-on-exec stay with it.
    ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    ::execv(path, argv);
    const int err = errno;
    [[maybe_unused]] ssize_t w = ::write(report, &err, sizeof err);
    ::_exit(127);
}

}  // namespace

Status StartDetached(const std::string& path, const std::vector<std::string>& args) {
    // Everything the child needs is built before fork: after it, in a process
    // with other threads, only async-signal-safe calls are allowed.
    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return Status::Failure(std::string("cannot start: ") + ErrorText(errno));
    const int devnull = ::open("/dev/null", O_RDWR | O_CLOEXEC);

    // Double fork: the program becomes a child of init, so it is reaped there
    // and this process waits only for the short-lived middle child, by its own
    // pid, never disturbing other children (QProcess's among them).
    const pid_t middle = ::fork();
    if (middle == 0) {
        ::close(report[0]);
        const pid_t grandchild = ::fork();
        if (grandchild == 0) ExecChild(path.c_str(), argv.data(), devnull, report[1]);
        if (grandchild < 0) {
            const int err = errno;
            [[maybe_unused]] ssize_t w = ::write(report[1], &err, sizeof err);
        }
        ::_exit(0);
    }
    const int forkErr = errno;
    ::close(report[1]);
    if (devnull >= 0) ::close(devnull);
    if (middle < 0) {
        ::close(report[0]);
        return Status::Failure(std::string("cannot start: ") + ErrorText(forkErr));
    }
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    // The pipe closes without data when exec succeeded (close-on-exec).
    int childErr = 0;
    ssize_t n;
    while ((n = ::read(report[0], &childErr, sizeof childErr)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (n == static_cast<ssize_t>(sizeof childErr))
        return Status::Failure(std::string("cannot start: ") + ErrorText(childErr));
    return Status::Success();
}

Status OpenProgramOrDocument(const std::string& target, const std::vector<std::string>& args,
                             const std::string& opener) {
    if (target.empty()) return Status::Failure("no program given");
    const std::string exe = Resolve(target);
    if (!exe.empty()) return StartDetached(exe, args);
    const std::string handler = Resolve(opener.empty() ? "xdg-open" : opener);
    if (handler.empty()) return Status::Failure("no program to open " + target + " with");
    return StartDetached(handler, {target});
}

bool ProcessIsAlive(long pid) {
    if (pid <= 0) return false;
    // EPERM: it exists but belongs to someone else.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

long CurrentProcessId() { return static_cast<long>(::getpid()); }

}  // namespace kb
