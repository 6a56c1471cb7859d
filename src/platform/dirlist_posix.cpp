#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/dirlist.h"
#include "platform/localtime.h"

namespace kb {

namespace {

void Fill(DirEntryInfo& info, const struct stat& st) {
    info.inode = static_cast<std::uint64_t>(st.st_ino);
    info.links = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_nlink) : 1;
    info.plainFile = S_ISREG(st.st_mode) && st.st_nlink == 1;
    info.size = static_cast<std::int64_t>(st.st_size);
    info.date = FileTimeToLocalDays(static_cast<std::int64_t>(st.st_mtim.tv_sec));
    info.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

}  // namespace

std::optional<DirEntryInfo> StatEntry(const std::string& dir, const std::string& name) {
    const std::string path = dir + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return std::nullopt;
    DirEntryInfo info;
    const bool link = S_ISLNK(st.st_mode);
    struct stat target;
    if (link && stat(path.c_str(), &target) == 0) st = target;  // a dangling link reports itself
    info.name = name;
    Fill(info, st);
    if (link) info.plainFile = false;
    info.directory = !link && S_ISDIR(st.st_mode);
    return info;
}

bool ListDirectory(const std::string& dir, const DirSink& sink) {
    DIR* d = opendir(dir.c_str());
    if (!d) return false;
    const int dfd = dirfd(d);
    while (const dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
        // Stat relative to the open directory: no path building, one call per entry.
        struct stat st;
        if (fstatat(dfd, n, &st, 0) != 0 && fstatat(dfd, n, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;  // gone between readdir and stat
        }
        DirEntryInfo info;
        info.name = n;
        Fill(info, st);
        // Only the entry's type tells a link from its target; where the file
        // system does not say, take it for one.
        if (e->d_type != DT_REG) info.plainFile = false;
        info.directory = S_ISDIR(st.st_mode) && e->d_type != DT_LNK;
        if (info.directory && e->d_type == DT_UNKNOWN) {
            struct stat own;
            info.directory =
                fstatat(dfd, n, &own, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(own.st_mode);
        }
        if (!sink(info)) break;
    }
    closedir(d);
    return true;
}

namespace {

std::int64_t MtimeNs(const struct stat& st) {
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

class TreeWalk {
public:
    TreeWalk(const WalkLimits& limits, const std::function<void(const TreeEntry&)>& sink)
        : limits_(limits), sink_(sink) {}

    // Walks the open folder `fd` (taken over), whose path below the top is `path_`.
    void Walk(int fd, int depth) {
        DIR* d = fdopendir(fd);
        if (!d) {
            ::close(fd);
            Note(WalkEnd::Unreadable);
            return;
        }
        while (const dirent* e = readdir(d)) {
            const char* n = e->d_name;
            if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
            if (reported_ >= limits_.maxEntries) {
                Note(WalkEnd::TooMany);
                break;
            }
            struct stat st;
            if (fstatat(dirfd(d), n, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
            const std::size_t keep = path_.size();
            if (!path_.empty()) path_ += '/';
            path_ += n;
            TreeEntry entry;
            entry.path = path_;
            entry.mtimeNs = MtimeNs(st);
            if (S_ISDIR(st.st_mode)) {
                entry.kind = TreeEntry::Kind::Folder;
            } else if (S_ISREG(st.st_mode)) {
                entry.kind = TreeEntry::Kind::File;
                entry.size = static_cast<std::int64_t>(st.st_size);
            } else {
                entry.kind = S_ISLNK(st.st_mode) ? TreeEntry::Kind::Link : TreeEntry::Kind::Special;
            }
            if (entry.kind == TreeEntry::Kind::Folder && depth >= limits_.maxDepth) {
                Note(WalkEnd::TooDeep);
            } else {
                ++reported_;
                sink_(entry);
                if (entry.kind == TreeEntry::Kind::Folder) {
                    const int sub =
                        openat(dirfd(d), n, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                    if (sub >= 0)
                        Walk(sub, depth + 1);
                    else
                        Note(WalkEnd::Unreadable);
                }
            }
            path_.resize(keep);
        }
        closedir(d);
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

WalkEnd WalkTree(const std::string& dir, const WalkLimits& limits,
                 const std::function<void(const TreeEntry&)>& sink) {
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return WalkEnd::Unreadable;
    TreeWalk walk(limits, sink);
    walk.Walk(fd, 0);
    return walk.End();
}

}  // namespace kb
