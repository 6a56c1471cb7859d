#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <random>

#include "platform/atomicfile.h"
#include "platform/errortext.h"

namespace kb {

namespace {

std::atomic<long long> gFaultAfter{-1};

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Creates a fresh, uniquely named file beside `path`. O_EXCL keeps us from
// ever writing through someone else's file or a planted symlink.
int CreateTemp(const std::string& path, mode_t mode, std::string& tempPath) {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[40];
        std::snprintf(suffix, sizeof suffix, ".%ld.%08x.tmp", static_cast<long>(getpid()),
                      static_cast<unsigned>(rd()));
        tempPath = path + suffix;
        const int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t limit = bytes.size();
    const long long fault = gFaultAfter.exchange(-1);
    if (fault >= 0 && static_cast<unsigned long long>(fault) < limit)
        limit = static_cast<std::size_t>(fault);
    std::size_t done = 0;
    while (done < limit) {
        const ssize_t n = write(fd, bytes.data() + done, limit - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (fault >= 0) {
        errno = ENOSPC;
        return false;
    }
    return true;
}

// A rename is durable only once the directory entry itself is on disk.
void SyncDirectory(const std::string& dir) {
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace

void InjectAtomicWriteFaultForTests(long long afterBytes) { gFaultAfter = afterBytes; }

Status WriteFileAtomically(const std::string& path, const std::string& bytes, bool ownerOnly) {
    auto failure = [] { return Status::Failure(ErrorText(errno ? errno : EIO)); };
    errno = 0;
    std::string tempPath;
    const int fd = CreateTemp(path, ownerOnly ? 0600 : 0666, tempPath);
    if (fd < 0) return failure();
    bool ok = WriteAll(fd, bytes);
    // A stricter umask could have left the owner unable to rewrite the file.
    if (ok && ownerOnly) ok = fchmod(fd, 0600) == 0;
    if (ok) ok = fsync(fd) == 0;
    if (close(fd) != 0) ok = false;
    if (ok) ok = rename(tempPath.c_str(), path.c_str()) == 0;
    if (!ok) {
        Status st = failure();
        unlink(tempPath.c_str());
        return st;
    }
    SyncDirectory(DirectoryOf(path));
    return Status::Success();
}

}  // namespace kb
