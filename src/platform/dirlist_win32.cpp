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
    return info;
}

}  // namespace

bool StatEntry(const std::string& dir, const std::string& name, DirEntryInfo& info) {
    // No file name holds a wildcard, so the search finds the one entry or none.
    if (name.find_first_of("*?") != std::string::npos) return false;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\" + name).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    FindClose(h);
    info = Info(fd);
    return true;
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

}  // namespace kb
