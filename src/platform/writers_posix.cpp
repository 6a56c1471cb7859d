#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "platform/writers.h"

namespace kb {

namespace {

// A writer that opens the file in the instant our lease is held makes the
// kernel tell the lease holder with SIGIO, whose default action ends the
// process. The lease is released at once anyway; the signal only has to be
// harmless, for the whole program and for as long as it runs.
void IgnoreLeaseBreakSignal() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction old {};
        if (::sigaction(SIGIO, nullptr, &old) != 0) return;
        if ((old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL) return;  // someone's own
        struct sigaction ign {};
        ign.sa_handler = SIG_IGN;
        sigemptyset(&ign.sa_mask);
        ::sigaction(SIGIO, &ign, nullptr);
    });
}

}  // namespace

WriterState ProbeWriters(const std::string& path) {
    IgnoreLeaseBreakSignal();
    // Non-blocking: a file someone else holds a lease on, or a named pipe,
    // must not hold up the pass.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return WriterState::Unknown;
    WriterState state = WriterState::Unknown;
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        // Closing the descriptor below releases the lease.
        state = WriterState::None;
    } else if (errno == EAGAIN) {
        // A read lease is refused exactly while someone has the file open for
        // writing (or has it mapped shared and writable).
        state = WriterState::Open;
    }
    // Anything else (EACCES on another user's file without the capability,
    // EINVAL on a network or special file system, leases switched off) says
    // nothing about writers.
    ::close(fd);
    return state;
}

}  // namespace kb
