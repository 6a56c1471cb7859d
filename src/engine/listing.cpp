#include "engine/listing.h"

#include "engine/matchmask.h"
#include "platform/dirlist.h"

namespace kb {

ServiceListing ListCompletedFiles(const std::string& sharedir, const std::string& excludefiles,
                                  std::size_t expected) {
    ServiceListing out;
    // A little headroom: folders mostly grow between passes.
    out.files.reserve(expected + expected / 8);
    const std::vector<std::string_view> masks = SplitList(excludefiles);
    ListDirectory(sharedir, [&](const DirEntryInfo& e) {
        for (std::string_view mask : masks) {
            if (MatchMask(e.name, mask)) return;
        }
        out.files.push_back(filerec{std::string(e.name), e.size, e.date, e.mtimeNs});
        out.total += e.size;
    });
    return out;
}

}  // namespace kb
