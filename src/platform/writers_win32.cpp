#include <windows.h>

#include "platform/writers.h"

namespace kb {

WriterState ProbeWriters(const std::string& path) {
    // Not sharing write access fails with a sharing violation exactly while
    // another handle has the file open for writing.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return WriterState::None;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION ? WriterState::Open : WriterState::Unknown;
}

}  // namespace kb
