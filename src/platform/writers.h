// Whether a file is still open for writing somewhere: the completion gate's
// strongest test that a download has ended, where the system can tell.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kb {

enum class WriterState {
    None,     // no process holds the file open for writing
    Open,     // some process does
    Unknown,  // the system cannot tell for this file (another user's, a network
              // file system, not a regular file); rely on other signs
};

// Asks without getting in the way: on Linux a read lease taken and released
// at once on a non-blocking read-only descriptor; on Windows an open that
// refuses to share write access. Never blocks, never changes the file.
WriterState ProbeWriters(const std::string& path);

// Whether a file has ranges that were never written: a download client that
// fetches pieces out of order leaves them until it is done.
enum class Holes {
    None,     // every byte up to the end is data
    Some,     // a hole lies before the end
    Unknown,  // the file cannot be read, or the file system does not say
};
Holes FindHoles(const std::string& path);

// A file as the system numbers it: the same pair is the same file.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
    bool operator<(const FileId& o) const {
        return device != o.device ? device < o.device : inode < o.inode;
    }
};

// Nothing when `path` cannot be looked at. Links are followed.
std::optional<FileId> IdentifyFile(const std::string& path);

// The files that processes this user may look into hold open for writing
// (on Linux read from /proc/<pid>/fd and fdinfo), sorted. Another user's
// processes are not seen, so a file absent from the list may still be
// written; one present is. Empty where the system offers no such view.
std::vector<FileId> FilesOpenForWriting();

}  // namespace kb
