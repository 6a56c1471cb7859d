// Directory listing for the scan pass: every entry of one directory with its
// size and last-modification time, one metadata call per entry.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
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
    bool directory = false;   // a folder itself, not a link to one
};

// Receives one entry; returning false ends the listing there.
using DirSink = std::function<bool(const DirEntryInfo&)>;

// Calls `sink` for every entry of `dir` except "." and "..", in the order the
// file system returns them: files, subdirectories, hidden entries and
// symbolic links alike (a link reports its target, or itself when dangling).
// Returns false, calling nothing, when the directory cannot be opened.
bool ListDirectory(const std::string& dir, const DirSink& sink);

// The one entry `name` of `dir` as ListDirectory would report it; nothing
// when there is none.
std::optional<DirEntryInfo> StatEntry(const std::string& dir, const std::string& name);

// One entry found below a folder by WalkTree.
struct TreeEntry {
    enum class Kind { File, Folder, Link, Special };
    std::string_view path;  // relative to the folder walked, "/"-separated; valid during the call
    Kind kind = Kind::File;
    std::int64_t size = 0;     // a file's bytes; 0 for the others
    std::int64_t mtimeNs = 0;  // last modification, ns since the Unix epoch (UTC)
};

struct WalkLimits {
    int maxDepth = 32;                // folders below the one walked
    std::size_t maxEntries = 100000;  // entries reported in all
};

enum class WalkEnd {
    Complete,
    TooDeep,     // a folder lies deeper than maxDepth: not reported
    TooMany,     // maxEntries were reported, the rest were not
    Unreadable,  // the folder or one inside it could not be read
};

// Every entry below `dir`, a folder before its contents, without ever
// following a link (a link is reported as one, not as what it leads to).
WalkEnd WalkTree(const std::string& dir, const WalkLimits& limits,
                 const std::function<void(const TreeEntry&)>& sink);

}  // namespace kb
