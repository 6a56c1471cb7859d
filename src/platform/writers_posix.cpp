#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

Holes FindHoles(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return Holes::Unknown;
    Holes holes = Holes::Unknown;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        // Every file ends in a hole at its end; one found before it is a
        // range never written. A file system that cannot tell says the end.
        const off_t at = ::lseek(fd, 0, SEEK_HOLE);
        if (at >= 0) holes = at < st.st_size ? Holes::Some : Holes::None;
    }
    ::close(fd);
    return holes;
}

std::optional<FileId> IdentifyFile(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    FileId id;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    return id;
}

namespace {

// The access mode of descriptor `fd` of process `pid`, from its fdinfo:
// true when it was opened for writing.
bool OpenedForWriting(int procFd, const char* pid, const char* fd) {
    char path[600];
    std::snprintf(path, sizeof path, "%s/fdinfo/%s", pid, fd);
    const int info = ::openat(procFd, path, O_RDONLY | O_CLOEXEC);
    if (info < 0) return false;
    char text[512];
    const ssize_t n = ::read(info, text, sizeof text - 1);
    ::close(info);
    if (n <= 0) return false;
    text[n] = '\0';
    const char* flags = std::strstr(text, "flags:");
    if (!flags) return false;
    const unsigned long mode = std::strtoul(flags + 6, nullptr, 8) & O_ACCMODE;
    return mode == O_WRONLY || mode == O_RDWR;
}

}  // namespace

std::vector<FileId> FilesOpenForWriting() {
    std::vector<FileId> out;
    const int procFd = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procFd < 0) return out;
    DIR* procs = ::fdopendir(::dup(procFd));
    if (!procs) {
        ::close(procFd);
        return out;
    }
    while (const dirent* p = ::readdir(procs)) {
        if (p->d_name[0] < '0' || p->d_name[0] > '9') continue;
        char fdDir[300];
        std::snprintf(fdDir, sizeof fdDir, "%s/fd", p->d_name);
        const int fds = ::openat(procFd, fdDir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fds < 0) continue;  // another user's process, or one that just ended
        DIR* d = ::fdopendir(fds);
        if (!d) {
            ::close(fds);
            continue;
        }
        while (const dirent* e = ::readdir(d)) {
            if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
            struct stat st;
            // Following the descriptor's link reaches the open file itself.
            if (::fstatat(::dirfd(d), e->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
            if (!OpenedForWriting(procFd, p->d_name, e->d_name)) continue;
            out.push_back(FileId{static_cast<std::uint64_t>(st.st_dev),
                                 static_cast<std::uint64_t>(st.st_ino)});
        }
        ::closedir(d);
    }
    ::closedir(procs);
    ::close(procFd);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

}  // namespace kb
