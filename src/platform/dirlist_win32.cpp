#include <windows.h>

#include <string>

#include "platform/dirlist.h"
#include "platform/localtime.h"

namespace kb {

namespace {

DirEntryInfo Info(const WIN32_FIND_DATAA& fd) {
    // FILETIME counts 100 ns ticks from 1601-01-01.
    const ULONGLONG ticks = (static_cast<ULONGLONG>(fd.ftLastWriteTime.dwHighDateTime) << 32) |
                            fd.ftLastWriteTime.dwLowDateTime;
    DirEntryInfo info;
    info.name = fd.cFileName;
    info.size = static_cast<std::int64_t>((static_cast<ULONGLONG>(fd.nFileSizeHigh) << 32) |
                                          fd.nFileSizeLow);
    info.date = FileTimeToLocalDays(static_cast<std::int64_t>(ticks / 10000000ULL) - 11644473600LL);
    info.mtimeNs = (static_cast<std::int64_t>(ticks) - 116444736000000000LL) * 100;
    info.plainFile =
        (fd.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
    info.directory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                     (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    return info;
}

// What WalkTree needs of one folder's entries, walked recursively; reparse
// points (links, junctions) are reported and never entered.
class TreeWalk {
public:
    TreeWalk(const WalkLimits& limits, const std::function<void(const TreeEntry&)>& sink)
        : limits_(limits), sink_(sink) {}

    void Walk(const std::string& dir, int depth) {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) {
            Note(WalkEnd::Unreadable);
            return;
        }
        do {
            const char* n = fd.cFileName;
            if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
            if (reported_ >= limits_.maxEntries) {
                Note(WalkEnd::TooMany);
                break;
            }
            const DirEntryInfo info = Info(fd);
            const std::size_t keep = path_.size();
            if (!path_.empty()) path_ += '/';
            path_ += n;
            TreeEntry entry;
            entry.path = path_;
            entry.mtimeNs = info.mtimeNs;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                entry.kind = TreeEntry::Kind::Link;
            } else if (info.directory) {
                entry.kind = TreeEntry::Kind::Folder;
            } else {
                entry.size = info.size;
            }
            if (entry.kind == TreeEntry::Kind::Folder && depth >= limits_.maxDepth) {
                Note(WalkEnd::TooDeep);
            } else {
                ++reported_;
                sink_(entry);
                if (entry.kind == TreeEntry::Kind::Folder) Walk(dir + "\\" + n, depth + 1);
            }
            path_.resize(keep);
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }

    void Note(WalkEnd end) {
        if (end_ == WalkEnd::Complete) end_ = end;
    }
    WalkEnd End() const { return end_; }

private:
    const WalkLimits& limits_;
    const std::function<void(const TreeEntry&)>& sink_;
    std::string path_;
    std::size_t reported_ = 0;
    WalkEnd end_ = WalkEnd::Complete;
};

}  // namespace

std::optional<DirEntryInfo> StatEntry(const std::string& dir, const std::string& name) {
    // No file name holds a wildcard, so the search finds the one entry or none.
    if (name.find_first_of("*?") != std::string::npos) return std::nullopt;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\" + name).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    FindClose(h);
    return Info(fd);
}

bool ListDirectory(const std::string& dir, const DirSink& sink) {
    WIN32_FIND_DATAA fd;
    const std::string pattern = dir + "\\*.*";
    HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    do {
        const char* n = fd.cFileName;
        if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
        if (!sink(Info(fd))) break;
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return true;
}

WalkEnd WalkTree(const std::string& dir, const WalkLimits& limits,
                 const std::function<void(const TreeEntry&)>& sink) {
    const DWORD attrs = GetFileAttributesA(dir.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY) ||
        (attrs & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return WalkEnd::Unreadable;
    }
    TreeWalk walk(limits, sink);
    walk.Walk(dir, 0);
    return walk.End();
}

}  // namespace kb
