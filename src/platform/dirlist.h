// Directory listing for the scan pass: every entry of one directory with its
// size and last-modification time, one metadata call per entry.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kb {

struct DirEntryInfo {
    std::string_view name;     // bare name; valid only during the callback
    std::int64_t size = 0;     // bytes (what the file system reports for directories)
    double date = 0.0;         // FileTimeToLocalDays of the last-modification time
    std::int64_t mtimeNs = 0;  // the last-modification time, ns since the Unix epoch (UTC)
    // A regular file with no other name: every change to it raises a change
    // event on its own folder. Directories, symbolic links, devices, pipes
    // and files with a second name elsewhere can change without one.
    bool plainFile = false;
    std::uint64_t links = 1;  // a regular file's number of names (hard links)
    std::uint64_t inode = 0;  // the file's number on its file system (0 where none is kept)
};

// Receives one entry; returning false ends the listing there.
using DirSink = std::function<bool(const DirEntryInfo&)>;

// Calls `sink` for every entry of `dir` except "." and "..", in the order the
// file system returns them: files, subdirectories, hidden entries and
// symbolic links alike (a link reports its target, or itself when dangling).
// Returns false, calling nothing, when the directory cannot be opened.
bool ListDirectory(const std::string& dir, const DirSink& sink);

// The one entry `name` of `dir` as ListDirectory would report it; false when
// there is none.
bool StatEntry(const std::string& dir, const std::string& name, DirEntryInfo& info);

}  // namespace kb
