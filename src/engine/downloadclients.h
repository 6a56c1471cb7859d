// Asking the download clients themselves. The file system cannot tell
// everything: a torrent paused with its files preallocated has its full
// size, no holes, no writer and a quiet time, and is still unfinished; a
// finished torrent moved from under its client goes on "seeding" from the
// deleted file. A client that can be asked through its local interface
// knows both, and can move what it seeds so it goes on seeding.
//
// The pass asks a ClientDesk: which download of which client a path in a
// shared folder belongs to, whether that download is finished, and (for a
// move) whether the client should move it. Each client is asked at most
// once per pass, within a short timeout; one that cannot be asked is said
// once, and the file-system tests decide until it answers again.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/status.h"

namespace kb {

// One download (a torrent, an HTTP transfer) as its client reports it.
struct ClientDownload {
    std::string id;    // the torrent's info hash, aria2's gid
    std::string name;  // as the client names it
    // Where its data is: the single file, or the folder holding its files.
    std::string path;
    bool complete = false;  // every wanted piece is there
    // Complete and known to the client, which would look for it where it
    // is: moving it from under the client breaks the torrent.
    bool seeding = false;
    std::string state;  // the client's own word for its state ("pausedDL", "seeding", ...)
};

class DownloadClient {
public:
    virtual ~DownloadClient() = default;
    // "qBittorrent at http://127.0.0.1:8080/": how it is named to the user.
    virtual std::string Describe() const = 0;
    // "qBittorrent", "Transmission", "aria2".
    virtual std::string Kind() const = 0;
    // Every download the client knows, asked now. Fails with a reason a user
    // can read when the client cannot be asked (not running, wrong
    // credentials, no answer within the timeout).
    virtual Status List(std::vector<ClientDownload>& out) = 0;
    // Whether the client can move a download's data to another folder.
    virtual bool CanRelocate() const { return false; }
    // Asks the client to move download `id`'s data into `folder` and waits
    // until it has (up to `limit` seconds; `stop`, when set, ends the wait
    // early). Succeeds only once the client reports the new place and the
    // data stands there.
    virtual Status Relocate(const std::string& id, const std::string& folder, int limitSeconds,
                            const std::atomic<bool>* stop) {
        (void)id, (void)folder, (void)limitSeconds, (void)stop;
        return Status::Failure("this client cannot move its downloads");
    }
};

// The clients a pass may ask, each for the shared folder it downloads into.
class ClientDesk {
public:
    struct Entry {
        std::string folder;  // the shared folder, cleaned
        std::shared_ptr<DownloadClient> client;
        bool relocate = true;  // a move of a finished download asks the client to make it
    };
    ClientDesk() = default;
    explicit ClientDesk(std::vector<Entry> entries);

    bool Empty() const { return entries_.empty(); }

    // Forgets the answers of the last pass: the next question asks again.
    void BeginPass();

    // The client and download that `path` (an entry of `sharedir`) belongs
    // to: the download whose data is that file or folder, or which holds it.
    // Nothing when no client serves the folder, the client cannot be asked
    // now, or it knows no such download.
    struct Found {
        std::shared_ptr<DownloadClient> client;
        ClientDownload download;
        bool relocate = false;  // finished, the client can move it and may
    };
    std::optional<Found> About(const std::string& sharedir, const std::string& name);

    // Whether a client serves `sharedir` and could be asked in this pass.
    bool Answers(const std::string& sharedir);

    // What to tell the user, each once: a client that cannot be asked (and
    // why), and the same client answering again.
    std::vector<std::string> TakeNotices();

    // The client of that kind serving `folder`, for undo.
    std::shared_ptr<DownloadClient> ClientFor(const std::string& folder, const std::string& kind);

private:
    struct Slot {
        Entry entry;
        bool asked = false;  // in this pass
        bool answered = false;
        std::vector<ClientDownload> downloads;
        std::unordered_map<std::string, std::size_t> byPath;  // into `downloads`
        std::string problem;       // the last reason it could not be asked, "" when it answered
        bool toldProblem = false;  // that reason has been said
    };
    Slot* SlotFor(const std::string& folder);
    void Ask(Slot& s);

    std::vector<Slot> entries_;
    std::vector<std::string> notices_;
};

// The client's record of a move it made, as the journal keeps it:
// "<kind>:<id>"; and back.
std::string ClientMoveTag(const std::string& kind, const std::string& id);
bool ParseClientMoveTag(const std::string& tag, std::string& kind, std::string& id);

}  // namespace kb
