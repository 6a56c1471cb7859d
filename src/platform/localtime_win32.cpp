#include <windows.h>

#include "platform/localtime.h"

namespace kb {

double LocalNowDays() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return EncodeDays(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                      st.wMilliseconds);
}

double FileTimeToLocalDays(std::int64_t unixSeconds) {
    // FILETIME counts 100 ns steps from 1601-01-01; the Unix epoch is 11644473600 s later.
    const ULONGLONG ticks = static_cast<ULONGLONG>(unixSeconds + 11644473600LL) * 10000000ULL;
    FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    FILETIME local;
    SYSTEMTIME st;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) return 0.0;
    return EncodeDays(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond & ~1);
}

}  // namespace kb
