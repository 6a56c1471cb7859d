#include "engine/folders.h"

#include <algorithm>

#include "platform/fileops.h"
#include "platform/localtime.h"

namespace kb {

FolderContents ReadFolder(const std::string& path, std::int64_t ownMtimeNs,
                          const WalkLimits& limits) {
    FolderContents c;
    c.newestNs = ownMtimeNs;
    c.end = WalkTree(path, limits, [&](const TreeEntry& e) {
        ++c.entries;
        c.newestNs = std::max(c.newestNs, e.mtimeNs);
        switch (e.kind) {
            case TreeEntry::Kind::File:
                c.files.push_back(FolderFile{std::string(e.path), e.size, e.mtimeNs});
                c.bytes += e.size;
                break;
            case TreeEntry::Kind::Link:
                ++c.links;
                break;
            case TreeEntry::Kind::Special:
                ++c.special;
                break;
            case TreeEntry::Kind::Folder:
                break;
        }
    });
    return c;
}

SharedListing MeasureFolders(const SharedListing& listing, const std::string& sharedir,
                             std::int64_t& total, const WalkLimits& limits) {
    const bool any =
        std::any_of(listing.begin(), listing.end(), [](const filerec& f) { return f.folder; });
    if (!any) return listing;
    std::vector<filerec> files = listing.get();
    total = 0;
    for (filerec& f : files) {
        if (f.folder) {
            auto contents = std::make_shared<FolderContents>(
                ReadFolder(JoinPath(sharedir, f.name), f.mtime, limits));
            f.size = contents->bytes;
            f.mtime = contents->newestNs;
            f.date = FileTimeToLocalDays(f.mtime / 1000000000);
            f.contents = std::move(contents);
        }
        total += f.size;
    }
    return SharedListing(std::move(files));
}

}  // namespace kb
