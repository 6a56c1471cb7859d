#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/dirlist.h"
#include "platform/localtime.h"

namespace kb {

namespace {

void Fill(DirEntryInfo& info, const struct stat& st) {
    info.size = static_cast<std::int64_t>(st.st_size);
    info.date = FileTimeToLocalDays(static_cast<std::int64_t>(st.st_mtim.tv_sec));
    info.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

}  // namespace

bool StatEntry(const std::string& dir, const std::string& name, DirEntryInfo& info) {
    const std::string path = dir + "/" + name;
    struct stat st;
    if (stat(path.c_str(), &st) != 0 && lstat(path.c_str(), &st) != 0) return false;
    info.name = name;
    Fill(info, st);
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
        if (!sink(info)) break;
    }
    closedir(d);
    return true;
}

}  // namespace kb
