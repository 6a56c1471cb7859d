#include "engine/listingkeeper.h"

#include <algorithm>
#include <unordered_map>

#include "engine/matchmask.h"
#include "engine/nameset.h"
#include "platform/dirlist.h"
#include "platform/localtime.h"

namespace kb {

struct ListingKeeper::Folder {
    std::string dir;
    std::string masks;
    std::vector<std::string_view> maskList;  // views into `masks`
    int watch = -1;
    DirectoryIdentity id;
    // `files` is a full listing taken while watched, brought up to date since.
    bool current = false;
    SharedListing files;
    std::int64_t total = 0;
    ListingDetail detail;                // per entry of `files`
    std::vector<std::uint32_t> unplain;  // the entries that are not plain, in order
    std::vector<std::string> dirty;      // names reported since the last look (may repeat)
    std::int64_t listedAt = 0;
    bool used = true;
    FolderState state;
    // Per name, whether the last word on writers was a write (true) or a
    // writer's close (false); names never written since the watch began
    // are absent.
    std::unordered_map<std::string, bool> writing;
    std::unordered_map<std::uint32_t, int> moving;  // rename cookie -> -1 unknown, 0, 1

    bool Excluded(std::string_view name) const { return MatchesAnyMask(name, maskList); }
};

namespace {

struct Change {
    std::int64_t at = -1;  // position in the kept listing; -1 for a new name
    bool present = false;
    filerec rec;
    bool plain = false;
    std::uint64_t inode = 0;
};

// `fresh` with the entries `old` also holds first, in `old`'s order, then the
// others in the order they were listed; `detail` follows.
SharedListing InOldOrder(const std::vector<filerec>& old, const SharedListing& listed,
                         ListingDetail& detail) {
    const std::vector<filerec>& fresh = listed.get();
    NameSet index(fresh.size());
    for (std::uint32_t i = 0; i < fresh.size(); ++i) index.Insert(fresh[i].name, i);
    std::vector<std::uint32_t> order;
    order.reserve(fresh.size());
    std::vector<bool> taken(fresh.size(), false);
    for (const filerec& e : old) {
        const std::int64_t at = index.Find(e.name);
        if (at < 0) continue;
        order.push_back(static_cast<std::uint32_t>(at));
        taken[static_cast<std::size_t>(at)] = true;
    }
    for (std::uint32_t i = 0; i < fresh.size(); ++i)
        if (!taken[i]) order.push_back(i);
    bool same = true;
    for (std::uint32_t k = 0; k < order.size() && same; ++k) same = order[k] == k;
    if (same) return listed;
    std::vector<filerec> files;
    files.reserve(fresh.size());
    ListingDetail moved;
    for (std::uint32_t i : order) {
        files.push_back(fresh[i]);
        moved.plain.push_back(detail.plain[i]);
        moved.inodes.push_back(detail.inodes[i]);
    }
    detail = std::move(moved);
    return SharedListing(std::move(files));
}

std::vector<std::uint32_t> Unplain(const std::vector<bool>& plain) {
    std::vector<std::uint32_t> out;
    for (std::uint32_t i = 0; i < plain.size(); ++i)
        if (!plain[i]) out.push_back(i);
    return out;
}

}  // namespace

ListingKeeper::ListingKeeper() : ListingKeeper(Options{}) {}

ListingKeeper::ListingKeeper(Options options) : options_(std::move(options)) {
    if (!options_.changesReported) options_.changesReported = ChangesAreReported;
    if (!options_.clock) options_.clock = WallClockNs;
}

ListingKeeper::~ListingKeeper() = default;

ListingKeeper::Folder& ListingKeeper::FolderFor(const std::string& sharedir,
                                                const std::string& excludefiles) {
    for (auto& f : folders_) {
        if (f->dir == sharedir && f->masks == excludefiles) return *f;
    }
    auto f = std::make_unique<Folder>();
    f->dir = sharedir;
    f->masks = excludefiles;
    f->maskList = SplitList(f->masks);
    folders_.push_back(std::move(f));
    return *folders_.back();
}

void ListingKeeper::TakeEvents() {
    events_.clear();
    if (!watcher_.Drain(events_)) {
        // Events were lost: every watched folder is listed afresh, and
        // nothing seen of writers before can be trusted.
        for (auto& f : folders_) {
            f->current = false;
            f->writing.clear();
        }
    }
    for (DirectoryWatcher::Event& e : events_) {
        for (auto& f : folders_) {
            if (f->watch != e.id || e.id < 0) continue;
            if (e.folderGone) {
                Forget(*f);
                continue;
            }
            NoteWriters(*f, e);
            if (f->current) f->dirty.push_back(e.name);
        }
    }
    // The two halves of a rename come together; one left alone was a
    // move out of or into a folder not watched.
    for (auto& f : folders_) f->moving.clear();
}

void ListingKeeper::NoteWriters(Folder& f, const DirectoryWatcher::Event& e) {
    using C = DirectoryWatcher::Change;
    switch (e.change) {
        case C::Written:
            f.writing[e.name] = true;
            break;
        case C::ClosedWrite:
            f.writing[e.name] = false;
            break;
        case C::MovedFrom: {
            // A download renamed when done ("x.part" to "x") keeps what was
            // known of its writers.
            const auto it = f.writing.find(e.name);
            f.moving[e.cookie] = it == f.writing.end() ? -1 : it->second ? 1 : 0;
            if (it != f.writing.end()) f.writing.erase(it);
            break;
        }
        case C::MovedTo: {
            const auto it = f.moving.find(e.cookie);
            if (it != f.moving.end() && it->second >= 0)
                f.writing[e.name] = it->second == 1;
            else
                f.writing.erase(e.name);
            if (it != f.moving.end()) f.moving.erase(it);
            break;
        }
        case C::Removed:
            f.writing.erase(e.name);
            break;
        case C::Other:
            break;
    }
}

void ListingKeeper::Forget(Folder& f) {
    if (f.watch >= 0) watcher_.Unwatch(f.watch);
    f.watch = -1;
    f.current = false;
    f.files.clear();
    f.detail = ListingDetail{};
    f.unplain.clear();
    f.dirty.clear();
    f.writing.clear();
    f.moving.clear();
}

bool ListingKeeper::Watched(Folder& f) {
    const std::optional<DirectoryIdentity> now = IdentifyDirectory(f.dir);
    if (!now) {
        Forget(f);
        f.state.why = "the folder cannot be opened";
        return false;
    }
    // Deleted and made again, moved away with another moved in, a link
    // pointed elsewhere, something mounted on it: another folder.
    if (f.watch >= 0 && *now == f.id) return true;
    Forget(f);
    std::string fs;
    if (!options_.changesReported(f.dir, &fs)) {
        f.state.why = "its file system (" + fs + ") can change without notice";
        return false;
    }
    const DirectoryWatcher::Started started = watcher_.Watch(f.dir);
    if (!started) {
        f.state.why = started.error;
        return false;
    }
    const int wd = started.id;
    // Taken after the watch was set: the watch and the identity are of the
    // same folder, or the next pass sees they are not.
    const std::optional<DirectoryIdentity> watched = IdentifyDirectory(f.dir);
    if (!watched) {
        watcher_.Unwatch(wd);
        f.state.why = "the folder cannot be opened";
        return false;
    }
    f.id = *watched;
    f.watch = wd;
    f.state.why.clear();
    return true;
}

ServiceListing ListingKeeper::List(const std::string& sharedir, const std::string& excludefiles,
                                   std::size_t expected) {
    TakeEvents();
    Folder& f = FolderFor(sharedir, excludefiles);
    f.used = true;
    if (!Watched(f)) {
        f.state.kept = false;
        ++f.state.fullListings;
        return ListCompletedFiles(sharedir, excludefiles, expected);
    }
    f.state.kept = true;
    if (f.current && options_.clock() - f.listedAt < options_.refreshNs) {
        Update(f);
        ++f.state.keptListings;
        ServiceListing out;
        out.files = f.files;
        out.total = f.total;
        out.opened = true;
        return out;
    }
    return Relist(f, std::max(expected, f.files.size()));
}

ServiceListing ListingKeeper::Relist(Folder& f, std::size_t expected) {
    // Whatever was reported so far is in the listing about to be taken; what
    // is reported from now on is looked at in the next pass.
    f.dirty.clear();
    f.detail = ListingDetail{};
    f.listedAt = options_.clock();
    ServiceListing out = ListCompletedFiles(f.dir, f.masks, expected, {}, &f.detail);
    ++f.state.fullListings;
    if (!out.opened) {
        Forget(f);
        return out;
    }
    // Listed again (events were lost, or the time came): the entries that
    // were there keep the places they had, so "listed first" does not
    // change with the file system's order.
    if (!f.files.empty()) out.files = InOldOrder(f.files.get(), out.files, f.detail);
    f.files = out.files;
    f.total = out.total;
    f.unplain = Unplain(f.detail.plain);
    f.current = true;
    return out;
}

// Brings the kept listing up to date from the reported names and the entries
// re-examined at every pass.
void ListingKeeper::Update(Folder& f) {
    const std::vector<filerec>& files = f.files.get();
    const std::vector<bool>& plain = f.detail.plain;
    std::vector<Change> changes;
    std::vector<std::uint32_t> partners;  // plain entries found to share a file with another name
    // Each reported name once, in the order of its first report, so new
    // names join the listing in the order they came.
    std::vector<std::string_view> reportedNames;
    {
        NameSet seen(f.dirty.size());
        for (const std::string& name : f.dirty) {
            if (seen.Contains(name)) continue;
            seen.Insert(name);
            reportedNames.push_back(name);
        }
    }
    std::vector<std::string_view> sortedNames = reportedNames;
    std::sort(sortedNames.begin(), sortedNames.end());

    // A file given a second name can be written through either, and only the
    // name written through is reported. An entry found to share its file is
    // looked at now and, no longer plain, at every pass from now on.
    auto sharesWith = [&](const DirEntryInfo& e, std::int64_t self) {
        if (e.links <= 1) return;
        for (std::uint32_t i = 0; i < files.size(); ++i) {
            if (plain[i] && f.detail.inodes[i] == e.inode && i != self) partners.push_back(i);
        }
    };
    auto look = [&](const std::string& name, std::int64_t at) {
        const std::optional<DirEntryInfo> found = StatEntry(f.dir, name);
        if (!found) {
            if (at >= 0) changes.push_back(Change{at, false, {}, false, 0});
            return;
        }
        const DirEntryInfo& e = *found;
        sharesWith(e, at);
        filerec rec{name, e.size, e.date, e.mtimeNs, e.directory, {}};
        if (at >= 0) {
            const auto i = static_cast<std::size_t>(at);
            if (files[i] == rec && plain[i] == e.plainFile && f.detail.inodes[i] == e.inode) return;
        }
        changes.push_back(Change{at, true, std::move(rec), e.plainFile, e.inode});
    };

    if (!reportedNames.empty()) {
        // Where the reported names stand: one sweep of the listing against
        // the few names, which stay in the cache, rather than an index of
        // every name.
        std::vector<std::string_view> listed;
        for (std::string_view name : reportedNames) {
            if (f.Excluded(name)) {
                // Never listed, but it may be a second name of a listed file.
                if (const std::optional<DirEntryInfo> e = StatEntry(f.dir, std::string(name)))
                    sharesWith(*e, -1);
            } else {
                listed.push_back(name);
            }
        }
        NameSet wanted(listed.size());
        for (std::uint32_t k = 0; k < listed.size(); ++k) wanted.Insert(listed[k], k);
        std::vector<std::int64_t> at(listed.size(), -1);
        for (std::uint32_t i = 0; i < files.size(); ++i) {
            const std::int64_t k = wanted.Find(files[i].name);
            if (k >= 0) at[static_cast<std::size_t>(k)] = i;
        }
        for (std::size_t k = 0; k < listed.size(); ++k) look(std::string(listed[k]), at[k]);
    }
    auto reported = [&](std::uint32_t i) {
        return std::binary_search(sortedNames.begin(), sortedNames.end(),
                                  std::string_view(files[i].name));
    };
    for (std::uint32_t i : f.unplain) {
        if (!reported(i)) look(files[i].name, i);
    }
    // Looking at a partner finds the same partners again: go through the
    // ones found so far, once each.
    std::vector<std::uint32_t> found = std::move(partners);
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    for (std::uint32_t i : found) {
        if (!reported(i)) look(files[i].name, i);
    }
    f.dirty.clear();
    if (changes.empty()) return;

    // Entries that stay keep their places; new names follow.
    std::stable_sort(changes.begin(), changes.end(), [](const Change& a, const Change& b) {
        if ((a.at < 0) != (b.at < 0)) return b.at < 0;
        return a.at < b.at;
    });
    std::vector<filerec> next;
    next.reserve(files.size() + changes.size());
    ListingDetail detail;
    detail.plain.reserve(next.capacity());
    detail.inodes.reserve(next.capacity());
    auto keep = [&](filerec rec, bool isPlain, std::uint64_t inode) {
        f.total += rec.size;
        next.push_back(std::move(rec));
        detail.plain.push_back(isPlain);
        detail.inodes.push_back(inode);
    };
    f.total = 0;
    std::size_t c = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (c < changes.size() && changes[c].at == static_cast<std::int64_t>(i)) {
            Change& ch = changes[c++];
            if (ch.present) keep(std::move(ch.rec), ch.plain, ch.inode);
        } else {
            keep(files[i], plain[i], f.detail.inodes[i]);
        }
    }
    for (; c < changes.size(); ++c) {
        if (changes[c].present) keep(std::move(changes[c].rec), changes[c].plain, changes[c].inode);
    }
    f.unplain = Unplain(detail.plain);
    f.detail = std::move(detail);
    f.files = SharedListing(std::move(next));
}

void ListingKeeper::Sweep() {
    std::erase_if(folders_, [&](const std::unique_ptr<Folder>& f) {
        if (f->used) return false;
        Forget(*f);
        return true;
    });
    for (auto& f : folders_) f->used = false;
}

WriterState ListingKeeper::WriterEvidence(const std::string& sharedir,
                                          const std::string& name) const {
    for (const auto& f : folders_) {
        if (f->dir != sharedir || f->watch < 0) continue;
        const auto it = f->writing.find(name);
        if (it != f->writing.end()) return it->second ? WriterState::Open : WriterState::None;
    }
    return WriterState::Unknown;
}

ListingKeeper::FolderState ListingKeeper::State(const std::string& sharedir,
                                                const std::string& excludefiles) const {
    for (const auto& f : folders_) {
        if (f->dir != sharedir || f->masks != excludefiles) continue;
        FolderState state = f->state;
        state.known = true;
        return state;
    }
    return FolderState{};
}

}  // namespace kb
