#include <windows.h>

#include "platform/dirwatch.h"

namespace kb {

// Folders are listed in full at every pass on this system: nothing is watched.

bool IsLocalFileSystemType(std::uint64_t, std::string* fsName) {
    if (fsName) *fsName = "unwatched";
    return false;
}

bool ChangesAreReported(const std::string&, std::string* fsName) {
    return IsLocalFileSystemType(0, fsName);
}

std::optional<DirectoryIdentity> IdentifyDirectory(const std::string& dir) {
    HANDLE h = CreateFileA(dir.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(h, &info) &&
                    (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    CloseHandle(h);
    if (!ok) return std::nullopt;
    DirectoryIdentity id;
    id.device = info.dwVolumeSerialNumber;
    id.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return id;
}

DirectoryWatcher::DirectoryWatcher() : why_("folders are listed in full on this system") {}

DirectoryWatcher::~DirectoryWatcher() = default;

DirectoryWatcher::Started DirectoryWatcher::Watch(const std::string&) {
    return Started(Status::Failure(why_), -1);
}

void DirectoryWatcher::Unwatch(int) {}

bool DirectoryWatcher::Drain(std::vector<Event>&) { return true; }

}  // namespace kb
