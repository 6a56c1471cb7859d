// Folders as downloads. Most torrents are folders; taken as one download
// each, a subfolder of a shared folder is judged by what it holds (every
// file in it must be finished), measured by it (its size is the sum of its
// files, its time that of its newest entry) and moved, copied or put in the
// Trash whole. The walk never follows a link and is bounded in depth and in
// entries, so a folder that holds a link to "/" costs no more than any.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dirlist.h"
#include "store/model.h"

namespace kb {

struct FolderFile {
    std::string path;  // relative to the folder, "/"-separated
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
};

struct FolderContents {
    std::vector<FolderFile> files;  // every regular file inside, at any depth
    std::int64_t bytes = 0;         // their sizes added up
    std::int64_t newestNs = 0;      // the newest modification of any entry, the folder's own too
    std::size_t entries = 0;        // files, folders, links and others inside
    std::size_t links = 0;          // symbolic links inside (never followed)
    std::size_t special = 0;        // devices, pipes and sockets inside
    WalkEnd end = WalkEnd::Complete;
};

// The contents of the folder at `path`, whose own modification time is `ownMtimeNs`.
FolderContents ReadFolder(const std::string& path, std::int64_t ownMtimeNs,
                          const WalkLimits& limits = {});

// `listing` with every folder entry measured by its contents (size, times,
// `contents`), and `total` the sum of the new sizes. Returns `listing` itself
// when it holds no folder.
SharedListing MeasureFolders(const SharedListing& listing, const std::string& sharedir,
                             std::int64_t& total, const WalkLimits& limits = {});

}  // namespace kb
