#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

#include "platform/termination.h"

namespace kb {

namespace {

int g_pipe[2] = {-1, -1};
int g_reload[2] = {-1, -1};

void onSignal(int sig) {
    const int saved = errno;
    const char byte = 1;
    // Only async-signal-safe calls here; a full pipe just drops a duplicate.
    [[maybe_unused]] ssize_t n = write(sig == SIGHUP ? g_reload[1] : g_pipe[1], &byte, 1);
    errno = saved;
}

// Makes `fds` once and routes `signals` to its writing end; its reading end.
int Watch(int (&fds)[2], std::initializer_list<int> signals) {
    if (fds[0] >= 0) return fds[0];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        fds[0] = fds[1] = -1;
        return -1;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : signals) sigaction(sig, &sa, nullptr);
    return fds[0];
}

}  // namespace

int WatchTerminationRequests() { return Watch(g_pipe, {SIGTERM, SIGINT}); }

int WatchReloadRequests() { return Watch(g_reload, {SIGHUP}); }

bool TakeTerminationRequest(int fd) {
    char byte;
    return fd >= 0 && read(fd, &byte, 1) == 1;
}

}  // namespace kb
