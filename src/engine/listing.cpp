#include "engine/listing.h"

#include "engine/matchmask.h"
#include "platform/dirlist.h"

namespace kb {

ServiceListing ListCompletedFiles(const std::string& sharedir, const std::string& excludefiles,
                                  std::size_t expected, const ListingProgress& progress,
                                  ListingDetail* detail) {
    ServiceListing out;
    std::vector<filerec> files;
    // A little headroom: folders mostly grow between passes.
    files.reserve(expected + expected / 8);
    const std::vector<std::string_view> masks = SplitList(excludefiles);
    std::size_t seen = 0;
    out.opened = ListDirectory(sharedir, [&](const DirEntryInfo& e) {
        if (progress && ++seen % 1024 == 0 && !progress(seen)) {
            out.stopped = true;
            return false;
        }
        if (MatchesAnyMask(e.name, masks)) return true;
        if (detail) {
            detail->plain.push_back(e.plainFile);
            detail->inodes.push_back(e.inode);
        }
        files.push_back(filerec{std::string(e.name), e.size, e.date, e.mtimeNs, e.directory, {}});
        out.total += e.size;
        return true;
    });
    out.files = SharedListing(std::move(files));
    return out;
}

}  // namespace kb
