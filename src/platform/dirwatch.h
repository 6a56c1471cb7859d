// Change notification for folders: which names in a watched folder were
// created, removed, renamed, written or had their attributes changed since
// the last look, and whether the folder itself went away. Only file systems
// whose every change passes through this computer's kernel can be watched.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/status.h"

namespace kb {

// What a folder's path leads to now: the same identity means the same folder.
struct DirectoryIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const DirectoryIdentity&) const = default;
};

// Nothing when `dir` is not a folder that can be opened.
std::optional<DirectoryIdentity> IdentifyDirectory(const std::string& dir);

// Whether change notification on `dir` sees every change to it: local disk
// file systems and memory file systems. Network file systems (NFS, SMB/CIFS,
// 9p, cluster file systems), FUSE and any type not known to be local are
// changed from elsewhere, unseen. `fsName` gets the type's name either way.
bool ChangesAreReported(const std::string& dir, std::string* fsName = nullptr);

// The same verdict for a file-system type number as the system reports it
// (Linux: statfs's f_type). Always false where folders are not watched.
bool IsLocalFileSystemType(std::uint64_t type, std::string* fsName = nullptr);

class DirectoryWatcher {
public:
    DirectoryWatcher();
    ~DirectoryWatcher();
    DirectoryWatcher(const DirectoryWatcher&) = delete;
    DirectoryWatcher& operator=(const DirectoryWatcher&) = delete;

    // Whether folders can be watched at all (not on every system, and not
    // when no notification instance could be had).
    bool Available() const { return fd_ >= 0; }
    // Why not, when not.
    const std::string& Unavailable() const { return why_; }

    // A watch begun: its id, or why there is none (the system's watch limit,
    // permissions, no such folder).
    struct Started : Status {
        Started(Status st, int watchId) : Status(std::move(st)), id(watchId) {}
        int id;
    };
    // Starts watching `dir`. The same folder watched twice gives the same
    // id; it stays watched until unwatched as often.
    Started Watch(const std::string& dir);
    void Unwatch(int id);

    enum class Change : std::uint8_t {
        Other,        // created, removed or attributes changed
        Written,      // data written to it
        ClosedWrite,  // a descriptor open for writing was closed
        MovedFrom,    // renamed away from this name (paired with MovedTo by `cookie`)
        MovedTo,      // renamed to this name
        Removed,      // deleted
    };
    struct Event {
        int id = -1;
        std::string name;         // the entry the event is about; empty for the folder itself
        bool folderGone = false;  // the folder was moved, deleted or unmounted: the watch has ended
        Change change = Change::Other;
        std::uint32_t cookie = 0;  // the same for the two halves of one rename
    };
    // Appends what happened since the last call, without waiting. False when
    // the system's event queue overflowed: events were lost, and what any
    // watched folder holds must be listed afresh.
    bool Drain(std::vector<Event>& out);

private:
    int fd_ = -1;
    std::string why_;
    std::map<int, int> uses_;  // watch id -> how often it was asked for
    std::vector<char> buffer_;
};

}  // namespace kb
