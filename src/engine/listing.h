// A service's completed files: its directory listing minus the entries its
// exclusion masks name.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "store/model.h"

namespace kb {

struct ServiceListing {
    SharedListing files;     // in the order the directory enumeration returned them
    std::int64_t total = 0;  // sum of the sizes, in bytes
    bool opened = false;     // the directory could be read
    bool stopped = false;    // `progress` asked to stop: the listing is partial
};

// Told the number of entries seen so far, every 1024 entries; returning false
// stops the listing.
using ListingProgress = std::function<bool(std::size_t seen)>;

// Lists `sharedir` and drops every entry whose bare name matches one of the
// ";"-separated masks of `excludefiles`. A directory that does not exist or
// cannot be read gives an empty listing. `expected` (the size of the last
// listing, say) only sizes the first allocation. `detail`, when given,
// receives what a kept listing needs besides the entries.
struct ListingDetail {
    std::vector<bool> plain;            // per entry: DirEntryInfo::plainFile
    std::vector<std::uint64_t> inodes;  // per entry: DirEntryInfo::inode
};
ServiceListing ListCompletedFiles(const std::string& sharedir, const std::string& excludefiles,
                                  std::size_t expected = 0, const ListingProgress& progress = {},
                                  ListingDetail* detail = nullptr);

}  // namespace kb
