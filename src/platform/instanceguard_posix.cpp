// The guard is an advisory lock on a file in the per-user runtime directory:
// the kernel drops it when the holder dies, however it dies, so a crashed
// copy never blocks the next start. Beside it the holder listens on a local
// socket, through which a later copy asks it to come forward.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/instanceguard.h"
#include "platform/paths.h"

namespace kb {

namespace {

constexpr char kCannotCreate[] = "CheckAppAlreadyRunning: can't create file mapping";
constexpr char kCannotTake[] = "CheckAppAlreadyRunning: can't create map view of file.";
constexpr char kRequest[] = "forward\n";

// How long a later copy keeps trying to reach a holder that has taken the
// lock but is not listening yet (it is still starting).
constexpr auto kConnectPatience = std::chrono::milliseconds(1000);

struct Guard {
    int lockFd = -1;
    int listenFd = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    std::string socketPath;
    std::thread listener;

    ~Guard() {
        if (listener.joinable()) {
            const char c = 'x';
            while (write(wakeWrite, &c, 1) < 0 && errno == EINTR) {
            }
            listener.join();
        }
        if (listenFd >= 0) {
            close(listenFd);
            unlink(socketPath.c_str());
        }
        if (wakeRead >= 0) close(wakeRead);
        if (wakeWrite >= 0) close(wakeWrite);
        if (lockFd >= 0) close(lockFd);  // releases the lock
    }
};

struct GuardState {
    std::mutex m;
    std::vector<std::unique_ptr<Guard>> held;
    std::mutex callbackMutex;
    ComeForwardCallback callback;
};

GuardState& State() {
    static GuardState s;
    return s;
}

// Runs under the callback's lock, so that once SetComeForwardCallback has
// returned the previous callback is neither running nor called again, and
// its receiver may be destroyed.
void Deliver() {
    std::lock_guard lock(State().callbackMutex);
    if (State().callback) State().callback();
}

// Reads one short request from a connected peer, giving up after a second so
// a stuck peer cannot stall the listener.
void Serve(int client) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (getsockopt(client, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != getuid())
        return;
    std::string msg;
    char buf[32];
    while (msg.size() < sizeof kRequest) {
        pollfd p{client, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0) return;
        const ssize_t n = read(client, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        msg.append(buf, static_cast<std::size_t>(n));
        if (msg.find('\n') != std::string::npos) break;
    }
    if (msg == kRequest) Deliver();
}

void Listen(int listenFd, int wakeFd) {
    while (true) {
        pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        if (!(fds[0].revents & POLLIN)) continue;
        const int client = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        Serve(client);
        close(client);
    }
}

bool FillAddress(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Starts answering later copies. Without a listener the guard still works;
// only the come-forward request is lost, so failures here are not fatal.
void StartListener(Guard& g) {
    sockaddr_un addr{};
    if (!FillAddress(g.socketPath, addr)) return;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    // Holding the lock makes any socket file left here a dead copy's.
    unlink(g.socketPath.c_str());
    int pipeFds[2];
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        chmod(g.socketPath.c_str(), 0600) != 0 || listen(fd, 8) != 0 ||
        pipe2(pipeFds, O_CLOEXEC) != 0) {
        close(fd);
        unlink(g.socketPath.c_str());
        return;
    }
    g.listenFd = fd;
    g.wakeRead = pipeFds[0];
    g.wakeWrite = pipeFds[1];
    g.listener = std::thread(Listen, g.listenFd, g.wakeRead);
}

void SendComeForward(const std::string& socketPath) {
    sockaddr_un addr{};
    if (!FillAddress(socketPath, addr)) return;
    const auto deadline = std::chrono::steady_clock::now() + kConnectPatience;
    while (true) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return;
        if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
            const std::size_t len = sizeof kRequest - 1;
            std::size_t done = 0;
            while (done < len) {
                const ssize_t n = send(fd, kRequest + done, len - done, MSG_NOSIGNAL);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                done += static_cast<std::size_t>(n);
            }
            close(fd);
            return;
        }
        const int err = errno;
        close(fd);
        if ((err != ENOENT && err != ECONNREFUSED && err != EAGAIN) ||
            std::chrono::steady_clock::now() >= deadline)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
}

std::string FileStem(const std::string& name) {
    std::string s = name.empty() ? std::string("guard") : name;
    for (char& c : s)
        if (c == '/') c = '_';
    return s;
}

}  // namespace

bool CheckAppAlreadyRunning(const std::string& name, bool activate, bool closeAfter) {
    const std::string dir = RuntimeDir();
    if (MakeDirectories(dir) != 0) throw std::runtime_error(kCannotCreate);
    const std::string stem = dir + "/" + FileStem(name);
    const int fd = open((stem + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) throw std::runtime_error(kCannotCreate);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        close(fd);
        if (err != EWOULDBLOCK) throw std::runtime_error(kCannotTake);
        if (activate) SendComeForward(stem + ".sock");
        return true;
    }
    if (closeAfter) {
        close(fd);
        return false;
    }
    // The holder's process id, for a person looking at the file and for the
    // message a later copy gives.
    const std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t n = pwrite(fd, pid.data(), pid.size(), 0);
    }
    auto g = std::make_unique<Guard>();
    g->lockFd = fd;
    g->socketPath = stem + ".sock";
    StartListener(*g);
    std::lock_guard lock(State().m);
    State().held.push_back(std::move(g));
    return false;
}

void MarkGuardHeadless() {
    std::lock_guard lock(State().m);
    for (const auto& g : State().held) {
        const std::string text = std::to_string(getpid()) + "\nheadless\n";
        if (ftruncate(g->lockFd, 0) == 0) {
            [[maybe_unused]] const ssize_t n = pwrite(g->lockFd, text.data(), text.size(), 0);
        }
    }
}

GuardHolder ReadGuardHolder(const std::string& name) {
    GuardHolder h;
    const int fd =
        open((RuntimeDir() + "/" + FileStem(name) + ".lock").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return h;
    char buf[64] = {};
    const ssize_t n = pread(fd, buf, sizeof buf - 1, 0);
    close(fd);
    if (n <= 0) return h;
    const std::string text(buf, static_cast<std::size_t>(n));
    h.pid = std::strtol(text.c_str(), nullptr, 10);
    h.headless = text.find("\nheadless\n") != std::string::npos;
    return h;
}

void SetComeForwardCallback(ComeForwardCallback callback) {
    std::lock_guard lock(State().callbackMutex);
    State().callback = std::move(callback);
}

void ReleaseInstanceGuard() {
    std::vector<std::unique_ptr<Guard>> held;
    {
        std::lock_guard lock(State().m);
        held.swap(State().held);
    }
    held.clear();
}

}  // namespace kb
