// Listings kept between passes. On a folder whose file system reports every
// change, the first pass lists the folder in full; later passes look only at
// the names change notification reported since, and at the entries that can
// change without a report (subfolders, symbolic links, devices and pipes,
// files with a second name). A folder that has not changed costs a few
// system calls however many files it holds, and its listing comes back as
// the very listing the last pass returned, so the pass can tell at once that
// nothing is new. A folder that cannot be watched (a network or FUSE file
// system, the system's limits, permissions) is listed in full at every pass,
// as it would be without a keeper, and one whose events were lost is listed
// in full once and then kept again.
//
// One pass at a time: a keeper is not shared between threads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/listing.h"
#include "platform/dirwatch.h"
#include "platform/writers.h"

namespace kb {

class ListingKeeper {
public:
    struct Options {
        // A kept listing is taken afresh after this long all the same: a
        // write through a memory mapping, and a second name given to a file
        // from another folder, reach the folder without an event.
        std::int64_t refreshNs = std::int64_t{600} * 1000000000;
        // Whether the folder's file system reports every change;
        // ChangesAreReported when empty.
        std::function<bool(const std::string& dir, std::string* fsName)> changesReported;
        // The clock for `refreshNs`; WallClockNs when empty.
        std::function<std::int64_t()> clock;
    };

    ListingKeeper();
    explicit ListingKeeper(Options options);
    ~ListingKeeper();
    ListingKeeper(const ListingKeeper&) = delete;
    ListingKeeper& operator=(const ListingKeeper&) = delete;

    // `sharedir`'s completed files as ListCompletedFiles(sharedir,
    // excludefiles, expected) would list them now. Entries that were already
    // there keep their places; new ones follow in the order they came.
    ServiceListing List(const std::string& sharedir, const std::string& excludefiles,
                        std::size_t expected = 0);

    // Forgets every folder not listed since the last call: services removed,
    // switched off or pointed elsewhere stop being watched.
    void Sweep();

    struct FolderState {
        bool known = false;             // listed since the last Sweep
        bool kept = false;              // kept from change notification
        std::string why;                // when not kept: why it is listed in full at every pass
        std::int64_t fullListings = 0;  // passes that listed it in full
        std::int64_t keptListings = 0;  // passes that took its listing from events
    };
    FolderState State(const std::string& sharedir, const std::string& excludefiles) const;

    // What change notification told of writers to `name` in `sharedir`
    // since the folder has been watched: Open when it was written after the
    // last time a writer closed it, None when a writer closed it after its
    // last write, Unknown when nothing was seen (or the folder is not
    // watched). It works for any user's files, where asking the system
    // about writers may be refused.
    WriterState WriterEvidence(const std::string& sharedir, const std::string& name) const;

private:
    struct Folder;
    Folder& FolderFor(const std::string& sharedir, const std::string& excludefiles);
    void TakeEvents();
    static void NoteWriters(Folder& f, const DirectoryWatcher::Event& e);
    bool Watched(Folder& f);
    ServiceListing Relist(Folder& f, std::size_t expected);
    void Update(Folder& f);
    void Forget(Folder& f);

    Options options_;
    DirectoryWatcher watcher_;
    std::vector<DirectoryWatcher::Event> events_;
    std::vector<std::unique_ptr<Folder>> folders_;
};

}  // namespace kb
