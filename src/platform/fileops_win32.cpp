#include <windows.h>

#include "platform/fileops.h"
#include "platform/fileops_internal.h"

namespace kb {

namespace {

FileOpResult Fail(const std::string& what) { return FileOpOutcome(FileOpStatus::Failed, what); }

FileOpResult FailLast(const char* what) {
    return Fail(std::string(what) + " (error " + std::to_string(GetLastError()) + ")");
}

FileOpResult Done() { return FileOpOutcome(FileOpStatus::Done); }

bool IsDirectory(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ParentDir(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

struct Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    explicit Handle(HANDLE x) : h(x) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    bool valid() const { return h != INVALID_HANDLE_VALUE; }
};

// Opens for reading while letting everyone else go on reading, writing and
// renaming: the copy must not get in the way of the program that owns the file.
HANDLE OpenShared(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

bool SameContentsStamp(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.nFileSizeHigh == b.nFileSizeHigh && a.nFileSizeLow == b.nFileSizeLow &&
           SameTime(a.ftLastWriteTime, b.ftLastWriteTime);
}

std::int64_t Ticks(const FILETIME& t) {
    return static_cast<std::int64_t>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) |
                                     t.dwLowDateTime);
}

void Stamp(const BY_HANDLE_FILE_INFORMATION& info, StartedCopy& copy) {
    copy.device = info.dwVolumeSerialNumber;
    copy.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    copy.size = static_cast<std::int64_t>((static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) |
                                          info.nFileSizeLow);
    copy.mtimeNs = Ticks(info.ftLastWriteTime);
}

}  // namespace

std::string FolderOf(const std::string& path) { return ParentDir(path); }

// MoveFileEx with MOVEFILE_WRITE_THROUGH returns once the rename is on the disk.
void SyncFolder(const std::string&) {}

// See the POSIX version: a copy that never shows half-written or mixed data
// under the target's name, and never one made while the source changed.
// Windows has no flush of a whole volume a program may call, so each copy
// is flushed as it is written and the batch's flush has nothing left to do.
FileOpResult StartCopy(const std::string& src, const std::string& dst, StartedCopy& copy) {
    if (IsDirectory(src)) return Fail("source is not a regular file");
    if (IsDirectory(dst)) return Fail("target is a directory");
    Handle in(OpenShared(src));
    if (!in.valid()) return FailLast("cannot open source");
    BY_HANDLE_FILE_INFORMATION before;
    if (!GetFileInformationByHandle(in.h, &before)) return FailLast("cannot read source");
    copy.src = src;
    copy.dst = dst;
    copy.tmp.clear();
    Stamp(before, copy);
    copy.targetDevice = 0;

    {
        Handle existing(OpenShared(dst));
        BY_HANDLE_FILE_INFORMATION target;
        if (existing.valid() && GetFileInformationByHandle(existing.h, &target)) {
            if (SameContentsStamp(before, target)) return FileOpOutcome(FileOpStatus::AlreadyThere);
        }
    }

    const std::string dir = ParentDir(dst);
    SweepCopyLeftovers(dir);
    const std::string tmp = JoinPath(dir, CopyTemporaryName());
    // CopyFile keeps the last-write time and attributes.
    if (!CopyFileA(src.c_str(), tmp.c_str(), TRUE)) {
        const FileOpResult r = FailLast("copy failed");
        DeleteFileA(tmp.c_str());
        return r;
    }
    {
        Handle out(CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out.valid() || !FlushFileBuffers(out.h)) {
            const FileOpResult r = FailLast("cannot flush copy");
            DeleteFileA(tmp.c_str());
            return r;
        }
    }
    copy.tmp = tmp;
    return Done();
}

std::vector<std::string> FlushCopies(const std::vector<const StartedCopy*>& copies) {
    return std::vector<std::string>(copies.size());
}

FileOpResult NameCopy(const StartedCopy& copy) {
    RunCopyCheckHook(copy.src);
    StartedCopy now;
    Handle named(OpenShared(copy.src));
    BY_HANDLE_FILE_INFORMATION info;
    if (named.valid() && GetFileInformationByHandle(named.h, &info)) Stamp(info, now);
    if (!named.valid() || now.device != copy.device || now.inode != copy.inode ||
        now.size != copy.size || now.mtimeNs != copy.mtimeNs) {
        DropCopy(copy);
        return FileOpOutcome(FileOpStatus::SourceChanged, "source changed while it was copied");
    }
    const DWORD flags =
        copy.replace ? MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH : MOVEFILE_WRITE_THROUGH;
    if (!MoveFileExA(copy.tmp.c_str(), copy.dst.c_str(), flags)) {
        const DWORD err = GetLastError();
        const FileOpResult r = err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS
                                   ? Fail(kTargetTaken)
                                   : FailLast("cannot replace target");
        DropCopy(copy);
        return r;
    }
    return Done();
}

void DropCopy(const StartedCopy& copy) {
    if (!copy.tmp.empty()) DeleteFileA(copy.tmp.c_str());
}

std::optional<FileOpResult> RenameForMove(const std::string& src, const std::string& dst,
                                          bool replace) {
    if (IsDirectory(src)) return Fail("source is a directory");
    if (IsDirectory(dst)) return Fail("target is a directory");
    // Within a volume this is a rename. Across volumes the copy is made here,
    // not by the system, so that a source still changing is kept.
    const DWORD flags =
        replace ? MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH : MOVEFILE_WRITE_THROUGH;
    if (MoveFileExA(src.c_str(), dst.c_str(), flags)) return Done();
    const DWORD err = GetLastError();
    if (!replace && (err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS))
        return Fail(kTargetTaken);
    if (err != ERROR_NOT_SAME_DEVICE) return FailLast("cannot move");
    return std::nullopt;
}

FileOpResult RemoveMovedSource(const StartedCopy& copy) {
    {
        Handle a(OpenShared(copy.src)), b(OpenShared(copy.dst));
        BY_HANDLE_FILE_INFORMATION ia, ib;
        if (a.valid() && b.valid() && GetFileInformationByHandle(a.h, &ia) &&
            GetFileInformationByHandle(b.h, &ib) && SameFile(ia, ib)) {
            return Done();
        }
    }
    if (!DeleteFileA(copy.src.c_str())) return FailLast("copied, but cannot delete the source");
    return Done();
}

std::string JoinPath(const std::string& dir, const std::string& name) { return dir + "\\" + name; }

EntryKind KindOf(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return EntryKind::Missing;
    if (a & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::Link;
    return (a & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Folder : EntryKind::File;
}

Renamed RenameEntry(const std::string& src, const std::string& dst) {
    const bool folder = IsDirectory(src);
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (folder ? 0 : MOVEFILE_REPLACE_EXISTING);
    if (MoveFileExA(src.c_str(), dst.c_str(), flags))
        return Renamed(Status::Success(), RenameEnd::Done);
    if (GetLastError() == ERROR_NOT_SAME_DEVICE)
        return Renamed(Status::Failure("on another volume"), RenameEnd::OtherFileSystem);
    return Renamed(Status::Failure("error " + std::to_string(GetLastError())), RenameEnd::Failed);
}

Status MakeFolderLike(const std::string& dst, const std::string&) {
    if (CreateDirectoryA(dst.c_str(), nullptr)) return Status::Success();
    if (GetLastError() == ERROR_ALREADY_EXISTS && IsDirectory(dst)) return Status::Success();
    return Status::Failure("cannot make folder " + dst + " (error " +
                           std::to_string(GetLastError()) + ")");
}

Status CopyLink(const std::string&, const std::string&) {
    return Status::Failure("links are not copied on this system");
}

bool RemoveEmptyFolder(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }

void SetModificationTime(const std::string& path, std::int64_t mtimeNs) {
    Handle h(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h.valid()) return;
    const ULONGLONG ticks = static_cast<ULONGLONG>(mtimeNs / 100 + 116444736000000000LL);
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    SetFileTime(h.h, nullptr, nullptr, &ft);
}

std::optional<std::int64_t> EntryMtime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d)) return std::nullopt;
    return (Ticks(d.ftLastWriteTime) - 116444736000000000LL) * 100;
}

std::optional<FileStampOf> FileStamp(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d) ||
        (d.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        return std::nullopt;
    }
    const auto size =
        static_cast<std::int64_t>((static_cast<ULONGLONG>(d.nFileSizeHigh) << 32) | d.nFileSizeLow);
    return FileStampOf{size, (Ticks(d.ftLastWriteTime) - 116444736000000000LL) * 100};
}

namespace {

bool FolderInfo(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    Handle h(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return h.valid() && GetFileInformationByHandle(h.h, &info);
}

}  // namespace

bool SameFolder(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION ia, ib;
    return FolderInfo(a, ia) && FolderInfo(b, ib) && SameFile(ia, ib);
}

bool SameFileSystem(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION ia, ib;
    return FolderInfo(a, ia) && FolderInfo(b, ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber;
}

FileOpResult FileDelete(const std::string& path) {
    if (IsDirectory(path)) return Fail("is a directory");
    if (!DeleteFileA(path.c_str())) return FailLast("cannot delete");
    return Done();
}

}  // namespace kb
