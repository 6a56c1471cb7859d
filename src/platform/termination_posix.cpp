#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

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

}  // namespace

int WatchTerminationRequests() {
    if (g_pipe[0] >= 0) return g_pipe[0];
    if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return -1;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    return g_pipe[0];
}

int WatchReloadRequests() {
    if (g_reload[0] >= 0) return g_reload[0];
    if (pipe2(g_reload, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_reload[0] = g_reload[1] = -1;
        return -1;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGHUP, &sa, nullptr);
    return g_reload[0];
}

bool TakeTerminationRequest(int fd) {
    char byte;
    return fd >= 0 && read(fd, &byte, 1) == 1;
}

}  // namespace kb
