#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

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

bool StatEntry(const std::string& dir, const std::string& name, DirEntryInfo& info) {
    const std::string path = dir + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return false;
    const bool link = S_ISLNK(st.st_mode);
    struct stat target;
    if (link && stat(path.c_str(), &target) == 0) st = target;  // a dangling link reports itself
    info.name = name;
    Fill(info, st);
    if (link) info.plainFile = false;
    return true;
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
        if (!sink(info)) break;
    }
    closedir(d);
    return true;
}

}  // namespace kb
