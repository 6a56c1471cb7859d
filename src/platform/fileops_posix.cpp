#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/fileops.h"

namespace kb {

namespace {

bool Fail(std::string* error, const std::string& what) {
    if (error) *error = what;
    return false;
}

bool FailErrno(std::string* error, const std::string& what, int err) {
    return Fail(error, what + ": " + std::strerror(err));
}

std::string ParentDir(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Closes the descriptor on every path out of a function.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    int release() {
        const int f = fd;
        fd = -1;
        return f;
    }
};

bool WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// Copies everything from `in` to `out`: in the kernel where the file systems
// allow it, through a buffer otherwise. Returns 0 or the errno of the failure.
int CopyData(int in, int out) {
    for (;;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n > 0) continue;
        if (n == 0) return 0;
        if (errno == EINTR) continue;
        if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
            errno == EPERM) {
            break;  // not possible between these files: copy through a buffer
        }
        return errno;
    }
    std::vector<char> buf(1 << 20);
    for (;;) {
        const ssize_t n = ::read(in, buf.data(), buf.size());
        if (n == 0) return 0;
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (!WriteAll(out, buf.data(), static_cast<size_t>(n))) return errno;
    }
}

void SyncDirectory(const std::string& dir) {
    Fd d(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (d.fd >= 0) ::fsync(d.fd);
}

}  // namespace

std::string JoinPath(const std::string& dir, const std::string& name) { return dir + "/" + name; }

bool FileCopy(const std::string& src, const std::string& dst, bool durable, std::string* error) {
    // Non-blocking open: a named pipe in the folder must not hang the pass.
    Fd in(::open(src.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.fd < 0) return FailErrno(error, "cannot open source", errno);
    struct stat sst;
    if (::fstat(in.fd, &sst) != 0) return FailErrno(error, "cannot read source", errno);
    if (!S_ISREG(sst.st_mode)) return Fail(error, "source is not a regular file");
    ::fcntl(in.fd, F_SETFL, ::fcntl(in.fd, F_GETFL) & ~O_NONBLOCK);

    struct stat dstst;
    if (::stat(dst.c_str(), &dstst) == 0 && S_ISDIR(dstst.st_mode)) {
        return Fail(error, "target is a directory");
    }

    const std::string dir = ParentDir(dst);
    std::string tmp = dir + "/.kestrelbox-XXXXXX";
    Fd out(::mkostemp(tmp.data(), O_CLOEXEC));
    if (out.fd < 0) return FailErrno(error, "cannot create file in target directory", errno);

    auto abandon = [&](const std::string& what, int err) {
        ::close(out.release());
        ::unlink(tmp.c_str());
        return FailErrno(error, what, err);
    };
    if (const int err = CopyData(in.fd, out.fd)) return abandon("copy failed", err);
    ::fchmod(out.fd, sst.st_mode & 07777);
    const timespec times[2] = {sst.st_atim, sst.st_mtim};
    if (::futimens(out.fd, times) != 0) return abandon("cannot set modification time", errno);
    if (durable && ::fsync(out.fd) != 0) return abandon("cannot flush copy", errno);
    if (::close(out.release()) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        return FailErrno(error, "copy failed", err);
    }
    if (::rename(tmp.c_str(), dst.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        return FailErrno(error, "cannot replace target", err);
    }
    if (durable) SyncDirectory(dir);
    return true;
}

bool FileMove(const std::string& src, const std::string& dst, std::string* error) {
    struct stat sst;
    if (::lstat(src.c_str(), &sst) != 0) return FailErrno(error, "cannot read source", errno);
    if (S_ISDIR(sst.st_mode)) return Fail(error, "source is a directory");

    // A link is moved the way a copy and a delete would treat it: its
    // target's contents go, the link itself is removed.
    if (S_ISREG(sst.st_mode)) {
        struct stat dstst;
        if (::stat(dst.c_str(), &dstst) == 0 && S_ISDIR(dstst.st_mode)) {
            return Fail(error, "target is a directory");
        }
        if (::rename(src.c_str(), dst.c_str()) == 0) return true;
        if (errno != EXDEV) return FailErrno(error, "cannot move", errno);
    }

    if (!FileCopy(src, dst, true, error)) return false;
    // Two paths can name one file (a bind mount crosses "file systems"
    // without leaving one); the copy then replaced the source, which must stay.
    struct stat after, dstst;
    if (::stat(src.c_str(), &after) == 0 && ::stat(dst.c_str(), &dstst) == 0 &&
        after.st_dev == dstst.st_dev && after.st_ino == dstst.st_ino) {
        return true;
    }
    if (::unlink(src.c_str()) != 0) {
        return FailErrno(error, "copied, but cannot delete the source", errno);
    }
    return true;
}

bool FileDelete(const std::string& path, std::string* error) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return FailErrno(error, "cannot delete", errno);
    if (S_ISDIR(st.st_mode)) return Fail(error, "is a directory");
    if (::unlink(path.c_str()) != 0) return FailErrno(error, "cannot delete", errno);
    return true;
}

}  // namespace kb
