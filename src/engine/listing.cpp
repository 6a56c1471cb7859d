#include "engine/listing.h"

#include "engine/matchmask.h"
#include "platform/dirlist.h"

namespace kb {

ServiceListing ListCompletedFiles(const std::string& sharedir, const std::string& excludefiles,
                                  std::size_t expected, const ListingProgress& progress) {
    ServiceListing out;
    // A little headroom: folders mostly grow between passes.
    out.files.reserve(expected + expected / 8);
    const std::vector<std::string_view> masks = SplitList(excludefiles);
    std::size_t seen = 0;
    out.opened = ListDirectory(sharedir, [&](const DirEntryInfo& e) {
        if (progress && ++seen % 1024 == 0 && !progress(seen)) {
            out.stopped = true;
            return false;
        }
        for (std::string_view mask : masks) {
            if (MatchMask(e.name, mask)) return true;
        }
        out.files.push_back(filerec{std::string(e.name), e.size, e.date, e.mtimeNs});
        out.total += e.size;
        return true;
    });
    return out;
}

}  // namespace kb
