#include <windows.h>

#include <winioctl.h>

#include <algorithm>

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

Holes FindHoles(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Holes::Unknown;
    Holes holes = Holes::Unknown;
    BY_HANDLE_FILE_INFORMATION info;
    LARGE_INTEGER size;
    if (GetFileInformationByHandle(h, &info) && GetFileSizeEx(h, &size)) {
        if (!(info.dwFileAttributes & FILE_ATTRIBUTE_SPARSE_FILE) || size.QuadPart == 0) {
            holes = Holes::None;  // only a sparse file has ranges never written
        } else {
            // The first allocated range must start at 0 and reach the end.
            FILE_ALLOCATED_RANGE_BUFFER query{}, range{};
            query.Length.QuadPart = size.QuadPart;
            DWORD got = 0;
            const BOOL ok = DeviceIoControl(h, FSCTL_QUERY_ALLOCATED_RANGES, &query, sizeof query,
                                            &range, sizeof range, &got, nullptr);
            if (ok || GetLastError() == ERROR_MORE_DATA) {
                const bool whole = got == sizeof range && range.FileOffset.QuadPart == 0 &&
                                   range.Length.QuadPart >= size.QuadPart;
                holes = whole ? Holes::None : Holes::Some;
            }
        }
    }
    CloseHandle(h);
    return holes;
}

std::optional<FileId> IdentifyFile(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (!ok) return std::nullopt;
    FileId id;
    id.device = info.dwVolumeSerialNumber;
    id.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return id;
}

// Windows offers no view of other processes' handles without privileges the
// program does not ask for; the sharing test above answers instead.
std::vector<FileId> FilesOpenForWriting() { return {}; }

}  // namespace kb
