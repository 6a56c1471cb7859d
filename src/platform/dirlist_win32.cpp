#include <windows.h>

#include <string>

#include "platform/dirlist.h"
#include "platform/localtime.h"

namespace kb {

bool ListDirectory(const std::string& dir, const std::function<void(const DirEntryInfo&)>& sink) {
    WIN32_FIND_DATAA fd;
    const std::string pattern = dir + "\\*.*";
    HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    do {
        const char* n = fd.cFileName;
        if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
        const ULONGLONG ticks = (static_cast<ULONGLONG>(fd.ftLastWriteTime.dwHighDateTime) << 32) |
                                fd.ftLastWriteTime.dwLowDateTime;
        DirEntryInfo info;
        info.name = n;
        info.size = static_cast<std::int64_t>((static_cast<ULONGLONG>(fd.nFileSizeHigh) << 32) |
                                              fd.nFileSizeLow);
        info.date =
            FileTimeToLocalDays(static_cast<std::int64_t>(ticks / 10000000ULL) - 11644473600LL);
        // FILETIME counts 100 ns ticks from 1601-01-01.
        info.mtimeNs = (static_cast<std::int64_t>(ticks) - 116444736000000000LL) * 100;
        sink(info);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return true;
}

}  // namespace kb
