#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/errortext.h"
#include "platform/fileops.h"
#include "platform/fileops_internal.h"

namespace kb {

namespace {

FileOpResult Fail(const std::string& what) { return FileOpOutcome(FileOpStatus::Failed, what); }

FileOpResult FailErrno(const std::string& what, int err) {
    return Fail(what + ": " + ErrorText(err));
}

FileOpResult Done() { return FileOpOutcome(FileOpStatus::Done); }

// Renames `src` to `dst` only while `dst` is free, in one step: no file
// that appears at `dst` meanwhile is ever replaced. Nothing when the two are
// on different file systems.
std::optional<FileOpResult> RenameNoReplace(const std::string& src, const std::string& dst) {
    if (::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0)
        return Done();
    int err = errno;
    if (err == EINVAL || err == ENOSYS) {
        // A file system without the flag: a new link fails as well when the
        // name is taken, and the old name then goes.
        if (::link(src.c_str(), dst.c_str()) == 0) {
            ::unlink(src.c_str());
            return Done();
        }
        err = errno;
    }
    if (err == EEXIST) return Fail(kTargetTaken);
    if (err == EXDEV) return std::nullopt;
    return FailErrno("cannot move", err);
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

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A new, empty temporary file in `dir`. O_EXCL: never write through someone
// else's file or a planted link.
int CreateCopyTemporary(const std::string& dir, std::string& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = dir + "/" + CopyTemporaryName();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

std::int64_t Ns(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

}  // namespace

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

void SyncFolder(const std::string& dir) {
    Fd d(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (d.fd >= 0) ::fsync(d.fd);
}

FileOpResult StartCopy(const std::string& src, const std::string& dst, StartedCopy& copy) {
    // Non-blocking open: a named pipe in the folder must not hang the pass.
    Fd in(::open(src.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.fd < 0) return FailErrno("cannot open source", errno);
    struct stat sst;
    if (::fstat(in.fd, &sst) != 0) return FailErrno("cannot read source", errno);
    if (!S_ISREG(sst.st_mode)) return Fail("source is not a regular file");
    ::fcntl(in.fd, F_SETFL, ::fcntl(in.fd, F_GETFL) & ~O_NONBLOCK);
    copy.src = src;
    copy.dst = dst;
    copy.tmp.clear();
    copy.device = sst.st_dev;
    copy.inode = sst.st_ino;
    copy.size = sst.st_size;
    copy.mtimeNs = Ns(sst.st_mtim);
    copy.ctimeNs = Ns(sst.st_ctim);

    struct stat dstst;
    if (::stat(dst.c_str(), &dstst) == 0) {
        if (S_ISDIR(dstst.st_mode)) return Fail("target is a directory");
        // Copies keep the source's modification time, so a target of the same
        // size and time is a copy made before: writing it again would only
        // cost time and wear.
        if (S_ISREG(dstst.st_mode) && dstst.st_size == sst.st_size &&
            SameTime(dstst.st_mtim, sst.st_mtim)) {
            copy.targetDevice = dstst.st_dev;
            return FileOpOutcome(FileOpStatus::AlreadyThere);
        }
    }

    const std::string dir = FolderOf(dst);
    SweepCopyLeftovers(dir);
    std::string tmp;
    Fd out(CreateCopyTemporary(dir, tmp));
    if (out.fd < 0) return FailErrno("cannot create file in target directory", errno);

    auto abandon = [&](FileOpResult r) {
        if (out.fd >= 0) ::close(out.release());
        ::unlink(tmp.c_str());
        return r;
    };
    if (const int err = CopyData(in.fd, out.fd)) return abandon(FailErrno("copy failed", err));
    ::fchmod(out.fd, sst.st_mode & 07777);
    const timespec times[2] = {sst.st_atim, sst.st_mtim};
    if (::futimens(out.fd, times) != 0)
        return abandon(FailErrno("cannot set modification time", errno));
    struct stat outst;
    if (::fstat(out.fd, &outst) != 0) return abandon(FailErrno("copy failed", errno));
    if (::close(out.release()) != 0) return abandon(FailErrno("copy failed", errno));
    copy.tmp = tmp;
    copy.targetDevice = outst.st_dev;
    return Done();
}

std::vector<std::string> FlushCopies(const std::vector<const StartedCopy*>& copies) {
    std::vector<std::string> errors(copies.size());
    // One syncfs per file system writes everything waiting on it, the
    // copies' data and inodes included, and reports a write that failed.
    std::vector<std::uint64_t> done;
    for (std::size_t i = 0; i < copies.size(); ++i) {
        const std::uint64_t dev = copies[i]->targetDevice;
        if (std::find(done.begin(), done.end(), dev) != done.end()) continue;
        done.push_back(dev);
        Fd dir(::open(FolderOf(copies[i]->dst).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        int err = dir.fd < 0 ? errno : (::syncfs(dir.fd) == 0 ? 0 : errno);
        if (err == ENOSYS || err == EINVAL || err == EPERM) err = -1;  // flush file by file
        for (std::size_t j = i; j < copies.size(); ++j) {
            if (copies[j]->targetDevice != dev) continue;
            int mine = err;
            if (mine == -1) {
                const std::string& path = copies[j]->tmp.empty() ? copies[j]->dst : copies[j]->tmp;
                Fd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
                mine = f.fd < 0 ? errno : (::fsync(f.fd) == 0 ? 0 : errno);
            }
            if (mine != 0) errors[j] = ErrorText(mine);
        }
    }
    return errors;
}

FileOpResult NameCopy(const StartedCopy& copy) {
    RunCopyCheckHook(copy.src);
    // The copy is what the source held when it began only if the name still
    // leads to the same file, neither written to (size, modification and
    // change time) nor replaced since.
    struct stat now;
    if (::stat(copy.src.c_str(), &now) != 0 || now.st_dev != copy.device ||
        now.st_ino != copy.inode || now.st_size != copy.size || Ns(now.st_mtim) != copy.mtimeNs ||
        Ns(now.st_ctim) != copy.ctimeNs) {
        DropCopy(copy);
        return FileOpOutcome(FileOpStatus::SourceChanged, "source changed while it was copied");
    }
    if (!copy.replace) {
        FileOpResult named =
            RenameNoReplace(copy.tmp, copy.dst).value_or(Fail("cannot name the copy"));
        if (!named.ok) DropCopy(copy);
        return named;
    }
    if (::rename(copy.tmp.c_str(), copy.dst.c_str()) != 0) {
        const int err = errno;
        DropCopy(copy);
        return FailErrno("cannot replace target", err);
    }
    return Done();
}

void DropCopy(const StartedCopy& copy) {
    if (!copy.tmp.empty()) ::unlink(copy.tmp.c_str());
}

std::optional<FileOpResult> RenameForMove(const std::string& src, const std::string& dst,
                                          bool replace) {
    struct stat sst;
    if (::lstat(src.c_str(), &sst) != 0) return FailErrno("cannot read source", errno);
    if (S_ISDIR(sst.st_mode)) return Fail("source is a directory");
    // A link is moved the way a copy and a delete would treat it: its
    // target's contents go, the link itself is removed.
    if (!S_ISREG(sst.st_mode)) return std::nullopt;
    struct stat dstst;
    if (::stat(dst.c_str(), &dstst) == 0 && S_ISDIR(dstst.st_mode))
        return Fail("target is a directory");
    if (!replace) return RenameNoReplace(src, dst);
    if (::rename(src.c_str(), dst.c_str()) == 0) return Done();
    if (errno != EXDEV) return FailErrno("cannot move", errno);
    return std::nullopt;
}

FileOpResult RemoveMovedSource(const StartedCopy& copy) {
    // Two paths can name one file (a bind mount crosses "file systems"
    // without leaving one); deleting the source would delete the target.
    struct stat after, dstst;
    if (::stat(copy.src.c_str(), &after) == 0 && ::stat(copy.dst.c_str(), &dstst) == 0 &&
        SameFile(after, dstst)) {
        return Done();
    }
    if (::unlink(copy.src.c_str()) != 0)
        return FailErrno("copied, but cannot delete the source", errno);
    return Done();
}

std::string JoinPath(const std::string& dir, const std::string& name) { return dir + "/" + name; }

EntryKind KindOf(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return EntryKind::Missing;
    if (S_ISREG(st.st_mode)) return EntryKind::File;
    if (S_ISDIR(st.st_mode)) return EntryKind::Folder;
    if (S_ISLNK(st.st_mode)) return EntryKind::Link;
    return EntryKind::Other;
}

Renamed RenameEntry(const std::string& src, const std::string& dst) {
    if (::rename(src.c_str(), dst.c_str()) == 0) {
        SyncFolder(FolderOf(dst));
        return Renamed(Status::Success(), RenameEnd::Done);
    }
    if (errno == EXDEV)
        return Renamed(Status::Failure("on another file system"), RenameEnd::OtherFileSystem);
    return Renamed(Status::Failure(ErrorText(errno)), RenameEnd::Failed);
}

Status MakeFolderLike(const std::string& dst, const std::string& like) {
    struct stat st;
    const mode_t mode = ::stat(like.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0755;
    if (::mkdir(dst.c_str(), mode) == 0) {
        ::chmod(dst.c_str(), mode);  // as the source has it, whatever the umask says
        return Status::Success();
    }
    if (errno == EEXIST && KindOf(dst) == EntryKind::Folder) return Status::Success();
    return Status::Failure(std::string("cannot make folder ") + dst + ": " + ErrorText(errno));
}

Status CopyLink(const std::string& src, const std::string& dst) {
    std::vector<char> target(4096);
    const ssize_t n = ::readlink(src.c_str(), target.data(), target.size() - 1);
    if (n < 0) return Status::Failure(std::string("cannot read link: ") + ErrorText(errno));
    target[static_cast<std::size_t>(n)] = '\0';
    if (KindOf(dst) == EntryKind::Link) ::unlink(dst.c_str());
    if (::symlink(target.data(), dst.c_str()) != 0)
        return Status::Failure(std::string("cannot make link: ") + ErrorText(errno));
    return Status::Success();
}

bool RemoveEmptyFolder(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

void SetModificationTime(const std::string& path, std::int64_t mtimeNs) {
    const timespec times[2] = {
        {0, UTIME_OMIT},
        {static_cast<time_t>(mtimeNs / 1000000000), static_cast<long>(mtimeNs % 1000000000)}};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

std::optional<std::int64_t> EntryMtime(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    return Ns(st.st_mtim);
}

std::optional<FileStampOf> FileStamp(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return FileStampOf{static_cast<std::int64_t>(st.st_size), Ns(st.st_mtim)};
}

bool SameFolder(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && SameFile(sa, sb);
}

bool SameFileSystem(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return ::lstat(a.c_str(), &sa) == 0 && ::lstat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

FileOpResult FileDelete(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return FailErrno("cannot delete", errno);
    if (S_ISDIR(st.st_mode)) return Fail("is a directory");
    if (::unlink(path.c_str()) != 0) return FailErrno("cannot delete", errno);
    return Done();
}

}  // namespace kb
