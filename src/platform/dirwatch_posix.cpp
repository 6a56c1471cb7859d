#include <errno.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/dirwatch.h"
#include "platform/errortext.h"

namespace kb {

namespace {

struct FileSystemType {
    std::uint64_t magic;
    const char* name;
    bool local;
};

// Local file systems change only through this kernel, so its notification
// sees every change. The others are listed by name so the reason for not
// watching them can say what they are.
constexpr FileSystemType kTypes[] = {
    {0xEF53, "ext2/ext3/ext4", true}, {0x58465342, "XFS", true},      {0x9123683E, "Btrfs", true},
    {0x01021994, "tmpfs", true},      {0x858458F6, "ramfs", true},    {0xF2F52010, "F2FS", true},
    {0x3153464A, "JFS", true},        {0x52654973, "ReiserFS", true}, {0x2FC12FC1, "ZFS", true},
    {0xCA451A4E, "bcachefs", true},   {0x3434, "NILFS", true},        {0x4D44, "FAT", true},
    {0x2011BAB0, "exFAT", true},      {0x5346544E, "NTFS", true},     {0x482B, "HFS+", true},
    {0x6969, "NFS", false},           {0x517B, "SMB", false},         {0xFF534D42, "CIFS", false},
    {0xFE534D42, "SMB2", false},      {0x65735546, "FUSE", false},    {0x01021997, "9p", false},
    {0x00C36400, "Ceph", false},      {0x5346414F, "AFS", false},     {0x6B414653, "AFS", false},
    {0x01161970, "GFS2", false},      {0x7461636F, "OCFS2", false},   {0x0BD00BD0, "Lustre", false},
    {0x794C7630, "overlay", false},
};

constexpr std::uint32_t kEntryEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE;

DirectoryWatcher::Change ChangeOf(std::uint32_t mask) {
    using C = DirectoryWatcher::Change;
    if (mask & IN_MODIFY) return C::Written;
    if (mask & IN_CLOSE_WRITE) return C::ClosedWrite;
    if (mask & IN_MOVED_FROM) return C::MovedFrom;
    if (mask & IN_MOVED_TO) return C::MovedTo;
    if (mask & IN_DELETE) return C::Removed;
    return C::Other;
}
constexpr std::uint32_t kFolderEvents = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED;

}  // namespace

bool IsLocalFileSystemType(std::uint64_t type, std::string* fsName) {
    for (const FileSystemType& t : kTypes) {
        if (t.magic != type) continue;
        if (fsName) *fsName = t.name;
        return t.local;
    }
    if (fsName) {
        char hex[32];
        std::snprintf(hex, sizeof hex, "type 0x%llx", static_cast<unsigned long long>(type));
        *fsName = hex;
    }
    return false;
}

bool ChangesAreReported(const std::string& dir, std::string* fsName) {
    struct statfs st;
    if (statfs(dir.c_str(), &st) != 0) {
        if (fsName) *fsName = "unknown";
        return false;
    }
    return IsLocalFileSystemType(static_cast<std::uint64_t>(st.f_type), fsName);
}

std::optional<DirectoryIdentity> IdentifyDirectory(const std::string& dir) {
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
    DirectoryIdentity id;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    return id;
}

DirectoryWatcher::DirectoryWatcher() {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) {
        why_ = errno == EMFILE ? "the system's limit on change notification instances is reached"
                               : ErrorText(errno);
    }
}

DirectoryWatcher::~DirectoryWatcher() {
    if (fd_ >= 0) close(fd_);
}

DirectoryWatcher::Started DirectoryWatcher::Watch(const std::string& dir) {
    if (fd_ < 0) return Started(Status::Failure(why_), -1);
    // Unmounts and the watch's end are reported without being asked for.
    const int wd = inotify_add_watch(
        fd_, dir.c_str(),
        kEntryEvents | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK);
    if (wd < 0) {
        switch (errno) {
            case ENOSPC:
                return Started(Status::Failure("the system's limit on watched folders is reached"),
                               -1);
            case EACCES:
                return Started(Status::Failure("no permission to watch the folder"), -1);
            default:
                return Started(Status::Failure(ErrorText(errno)), -1);
        }
    }
    ++uses_[wd];
    return Started(Status::Success(), wd);
}

void DirectoryWatcher::Unwatch(int id) {
    auto it = uses_.find(id);
    if (it == uses_.end()) return;
    if (--it->second > 0) return;
    uses_.erase(it);
    inotify_rm_watch(fd_, id);
}

bool DirectoryWatcher::Drain(std::vector<Event>& out) {
    if (fd_ < 0) return true;
    bool complete = true;
    buffer_.resize(64 * 1024);
    for (;;) {
        const ssize_t n = read(fd_, buffer_.data(), buffer_.size());
        if (n <= 0) break;  // EAGAIN: nothing more queued
        for (ssize_t at = 0; at < n;) {
            inotify_event ev;
            std::memcpy(&ev, buffer_.data() + at, sizeof ev);
            const char* name = buffer_.data() + at + sizeof ev;
            at += static_cast<ssize_t>(sizeof ev + ev.len);
            if (ev.mask & IN_Q_OVERFLOW) {
                complete = false;
                continue;
            }
            Event e;
            e.id = ev.wd;
            if (ev.mask & kFolderEvents) {
                e.folderGone = true;
                // The system has ended the watch; its id may come back for another folder.
                if (ev.mask & IN_IGNORED) uses_.erase(ev.wd);
            } else if (ev.len > 0) {
                e.name.assign(name, strnlen(name, ev.len));
                e.change = ChangeOf(ev.mask);
                e.cookie = ev.cookie;
            } else {
                continue;
            }
            out.push_back(std::move(e));
        }
    }
    return complete;
}

}  // namespace kb
