#include "journal/undo.h"

#include <chrono>
#include <filesystem>

#include "engine/folders.h"
#include "engine/placement.h"
#include "engine/scanpass.h"
#include "platform/fileops.h"
#include "platform/trash.h"

namespace kb {

namespace {

namespace fs = std::filesystem;

std::string BaseName(const std::string& path) {
    const auto sep = path.find_last_of("/\\");
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string FolderOf(const std::string& path) {
    const auto sep = path.find_last_of("/\\");
    return sep == std::string::npos ? std::string() : path.substr(0, sep == 0 ? 1 : sep);
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// Whether the file at `path` is still the one the entry recorded: same size
// and modification time.
bool Unchanged(const std::string& path, const JournalEntry& e) {
    std::error_code ec;
    // A client moving a torrent across file systems may give the copy new
    // times; its size still tells it from another.
    const bool timeCounts = e.clientMove.empty();
    if (IsFolder(path)) {
        // A folder taken as one download was recorded by what it holds.
        const auto sep = path.find_last_of("/\\");
        if (sep == std::string::npos) return false;
        const std::optional<DirEntryInfo> own =
            StatEntry(path.substr(0, sep == 0 ? 1 : sep), path.substr(sep + 1));
        if (!own) return false;
        const FolderContents c = ReadFolder(path, own->mtimeNs);
        return c.end == WalkEnd::Complete && c.bytes == e.size &&
               (!timeCounts || c.newestNs == e.mtimeNs);
    }
    if (!fs::is_regular_file(path, ec)) return false;
    const auto size = fs::file_size(path, ec);
    if (ec || static_cast<std::int64_t>(size) != e.size) return false;
    if (!timeCounts) return true;
    const auto t = fs::last_write_time(path, ec);
    if (ec) return false;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::file_clock::to_sys(t).time_since_epoch())
                        .count();
    return ns == e.mtimeNs;
}

// Where the file is now, if the action put it somewhere.
std::string NowAt(const JournalEntry& e) {
    if (e.action == "move" || e.action == "copy" || e.action == "rename")
        return JoinPath(e.target, e.targetName.empty() ? BaseName(e.source) : e.targetName);
    if (e.action == "trash") return e.target;
    return {};
}

Status Refuse(std::string why) { return Status::Failure(std::move(why)); }

}  // namespace

Status CanUndo(const JournalEntry& e) {
    if (e.action.rfind("undo ", 0) == 0) return Refuse("an undo is not taken back");
    if (!e.ok) return Refuse("it did not happen: the action failed");
    if (e.undoneBy != 0) return Refuse("it was undone already");
    if (e.action == "ftp") return Refuse("an upload cannot be taken back");
    if (e.action == "launch") return Refuse("a program that was started cannot be taken back");
    if (e.action == "delete") return Refuse("it was deleted for good, not moved to the Trash");
    if (e.action != "move" && e.action != "copy" && e.action != "rename" && e.action != "trash")
        return Refuse("this action cannot be taken back");
    if (e.error == kSkippedNote || e.error == kKeptNewerNote || e.error == kSameNameNote)
        return Refuse("nothing was done: " + e.error);
    const std::string now = NowAt(e);
    if (e.action == "trash" && now.empty())
        return Refuse("the system did not say where in the Trash it went");
    if (!Exists(now)) return Refuse("it is no longer at " + now);
    if (!Unchanged(now, e)) return Refuse("it changed since (its size or date differ)");
    if (e.action == "copy") {
        // Removing the copy must not remove the last one.
        if (e.error == kAlreadyThereNote) return Refuse("the copy was there before this action");
        if (!Unchanged(e.source, e))
            return Refuse("the original is gone or changed, so the copy is kept");
        return Status::Success();
    }
    if (Exists(e.source)) return Refuse("something else now stands at " + e.source);
    return Status::Success();
}

namespace {

// The client that made a move makes it back, so it goes on seeding.
Status UndoClientMove(const JournalEntry& e, const std::string& from, ClientDesk* clients) {
    std::string kind, id;
    if (!ParseClientMoveTag(e.clientMove, kind, id))
        return Refuse("the client's record is damaged");
    const std::shared_ptr<DownloadClient> client =
        clients ? clients->ClientFor(FolderOf(e.source), kind) : nullptr;
    if (!client) return Refuse(kind + " moved it, and cannot be asked to move it back now");
    (void)from;
    return client->Relocate(id, FolderOf(e.source), 3600, nullptr);
}

}  // namespace

JournalEntry Undo(const JournalEntry& e, std::int64_t nowMs, ClientDesk* clients) {
    JournalEntry u;
    u.timeMs = nowMs;
    u.service = e.service;
    u.rule = e.rule;
    u.action = "undo " + e.action;
    u.source = NowAt(e);
    u.size = e.size;
    u.mtimeNs = e.mtimeNs;
    // Like a rule's move or copy, the entry names the folder it went to.
    u.target = FolderOf(e.source);
    Status st = CanUndo(e);
    if (st) {
        const bool folder = IsFolder(u.source);
        if (!e.clientMove.empty()) {
            st = UndoClientMove(e, u.source, clients);
            if (st.ok) u.error = "moved back by " + e.clientMove.substr(0, e.clientMove.find(':'));
        } else if (e.action == "copy") {
            const FileOpResult r =
                folder ? FolderRemoveCopy(u.source, e.source) : FileDelete(u.source);
            st = {r.ok, r.error};
        } else if (e.action == "trash") {
            st = RestoreFromTrash(u.source, e.source);
        } else {
            // A move or a rename.
            // A move that found an identical copy at the target kept it there
            // and removed the original: the original comes back as a copy.
            const bool copy = e.error == kAlreadyThereNote;
            const FileOpResult r =
                folder ? (copy ? FolderCopy(u.source, e.source) : FolderMove(u.source, e.source))
                       : (copy ? FileCopy(u.source, e.source) : FileMove(u.source, e.source));
            st = {r.ok, r.error};
        }
    }
    // The file the action replaced comes back from the Trash to its name.
    if (st.ok && !e.replacedTrash.empty()) {
        const Status back = RestoreFromTrash(e.replacedTrash, u.source);
        if (!back.ok)
            st = Status::Failure("the file is back, but the one it replaced is not: " + back.error);
    }
    u.ok = st.ok;
    if (!st.ok || u.error.empty()) u.error = st.error;
    return u;
}

}  // namespace kb
