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

// See the POSIX version: a copy that never shows half-written or mixed data
// under the target's name, and never one made while the source changed.
FileOpResult CopyVerified(const std::string& src, const std::string& dst, bool& sameAsSource) {
    sameAsSource = false;
    if (IsDirectory(src)) return Fail("source is not a regular file");
    if (IsDirectory(dst)) return Fail("target is a directory");
    Handle in(OpenShared(src));
    if (!in.valid()) return FailLast("cannot open source");
    BY_HANDLE_FILE_INFORMATION before;
    if (!GetFileInformationByHandle(in.h, &before)) return FailLast("cannot read source");

    {
        Handle existing(OpenShared(dst));
        BY_HANDLE_FILE_INFORMATION target;
        if (existing.valid() && GetFileInformationByHandle(existing.h, &target)) {
            sameAsSource = SameFile(before, target);
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
    auto abandon = [&](FileOpResult r) {
        DeleteFileA(tmp.c_str());
        return r;
    };
    {
        Handle out(CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out.valid() || !FlushFileBuffers(out.h)) return abandon(FailLast("cannot flush copy"));
    }
    RunCopyCheckHook(src);
    BY_HANDLE_FILE_INFORMATION after;
    Handle named(OpenShared(src));
    BY_HANDLE_FILE_INFORMATION namedInfo;
    if (!GetFileInformationByHandle(in.h, &after) || !SameContentsStamp(before, after) ||
        !named.valid() || !GetFileInformationByHandle(named.h, &namedInfo) ||
        !SameFile(before, namedInfo)) {
        return abandon(
            FileOpOutcome(FileOpStatus::SourceChanged, "source changed while it was copied"));
    }
    if (!MoveFileExA(tmp.c_str(), dst.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return abandon(FailLast("cannot replace target"));
    return Done();
}

}  // namespace

std::string JoinPath(const std::string& dir, const std::string& name) { return dir + "\\" + name; }

FileOpResult FileCopy(const std::string& src, const std::string& dst) {
    bool same = false;
    return CopyVerified(src, dst, same);
}

FileOpResult FileMove(const std::string& src, const std::string& dst) {
    if (IsDirectory(src)) return Fail("source is a directory");
    if (IsDirectory(dst)) return Fail("target is a directory");
    // Within a volume this is a rename. Across volumes the copy is made here,
    // not by the system, so that a source still changing is kept.
    if (MoveFileExA(src.c_str(), dst.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Done();
    if (GetLastError() != ERROR_NOT_SAME_DEVICE) return FailLast("cannot move");
    bool same = false;
    FileOpResult copied = CopyVerified(src, dst, same);
    if (!copied.ok || same) return copied;
    if (!DeleteFileA(src.c_str())) return FailLast("copied, but cannot delete the source");
    return copied;
}

FileOpResult FileDelete(const std::string& path) {
    if (IsDirectory(path)) return Fail("is a directory");
    if (!DeleteFileA(path.c_str())) return FailLast("cannot delete");
    return Done();
}

}  // namespace kb
