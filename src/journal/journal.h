// The activity journal: every file-level outcome of the scan passes and of
// undo, kept in an SQLite database (WAL mode) so the user can see what the
// rules did, months later. A journal that cannot be opened, is damaged or is
// locked never stops or slows scanning: the entries wait in memory and go in
// with a later pass, and the problem is told once.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/scanpass.h"
#include "platform/status.h"

struct sqlite3;

namespace kb {

struct JournalEntry {
    std::int64_t id = 0;
    std::int64_t timeMs = 0;  // when, ms since 1970 (UTC)
    std::string service;
    std::string rule;
    std::string action;  // "move", "copy", "delete", "trash", "ftp", "launch", "undo move", ...
    std::string source;  // the file's full path where the action found it
    std::string target;  // a folder, a place in the Trash, an ftp:// address, a program
    std::int64_t size = 0;
    bool ok = false;
    std::string error;          // why it failed, or a remark on a success ("already there")
    std::int64_t mtimeNs = 0;   // the file's modification time as it was acted on
    std::int64_t undoneBy = 0;  // the id of the entry that took this one back
    // A move the download client made ("qBittorrent:<info hash>"), which
    // undo asks the client to take back.
    std::string clientMove;
    // The name the file got at `target`, when not its own (a rename, "keep both").
    std::string targetName;
    // Where the file that had the target name went in the Trash, when it was replaced.
    std::string replacedTrash;
    // How many times this same failure happened in a row, and when it last did.
    std::int64_t repeats = 1;
    std::int64_t lastMs = 0;
};

// The journal's name for what an outcome did.
std::string JournalAction(const ActionOutcome& o);
JournalEntry JournalEntryFor(const ActionOutcome& o);

// A warning a run without a window could show no one (a damaged
// configuration file, say): action "warning", not ok, the text as its error.
inline constexpr char kWarningAction[] = "warning";
// A pass that could not go through a service's folder (kPassFailure): action
// "scan", not ok, the folder as its source and the reason as its error.
inline constexpr char kPassFailureAction[] = "scan";
JournalEntry WarningEntry(std::string text, std::int64_t timeMs);

// What a page of the Activity view asks for: newest first, optionally only
// failures or entries mentioning `text` (service, rule, file, target or
// error; letter case ignored), older than `beforeId` or newer than `afterId`.
struct JournalQuery {
    std::string text;
    bool failuresOnly = false;
    std::int64_t beforeId = 0;  // 0: from the newest
    std::int64_t afterId = 0;
    int limit = 200;
};

// What the rule list tells about a rule.
struct RuleFigures {
    std::int64_t lastTimeMs = 0;  // its last successful action, 0 when none
    std::int64_t files = 0;       // successful actions in all
    std::string lastError;        // its latest failure, "" when none
    bool lastFailed = false;      // its latest outcome was a failure
};

class Journal {
public:
    enum class Mode { ReadWrite, ReadOnly };

    // $XDG_STATE_HOME/Kestrelbox/activity.sqlite3 (~/.local/state when unset).
    static std::string DefaultPath();

    // Opens on first use; nothing fails here.
    explicit Journal(std::string path, Mode mode = Mode::ReadWrite);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    const std::string& Path() const { return path_; }

    // Appends the entries in one transaction, after those still waiting from
    // earlier calls. When the journal cannot take them the call returns at
    // once with the reason; they wait (at most kMaxWaiting, the oldest go
    // first) and are written by a later call. Safe from any thread. A
    // failure that repeats the newest entry about the same file (same
    // service, rule, action, target and reason) adds to that entry's count
    // and last-seen time instead of making a row.
    // `lastId`, when given, receives the id of the last entry written.
    Status Append(std::vector<JournalEntry> entries, std::int64_t* lastId = nullptr);
    static constexpr std::size_t kMaxWaiting = 100000;
    std::size_t Waiting() const;

    // Removes entries older than `maxAgeDays` before `nowMs`, and the oldest
    // beyond `maxRows`.
    Status Prune(std::int64_t nowMs, int maxAgeDays = 180, std::int64_t maxRows = 1000000);

    // Reading; an unavailable journal reads as empty.
    std::vector<JournalEntry> Read(const JournalQuery& q);
    std::optional<JournalEntry> Get(std::int64_t id);
    std::vector<JournalEntry> Last(int n);  // the newest n, newest last
    RuleFigures Figures(const std::string& service, const std::string& rule);

    // Records that entry `id` was taken back by entry `undoneBy`.
    Status MarkUndone(std::int64_t id, std::int64_t undoneBy);

    // What is wrong with the journal now ("" when nothing).
    std::string Problem() const;
    // Something to tell the user, once: an event (a damaged file set aside)
    // or a problem not told before.
    bool TakeNewProblem(std::string& text);

private:
    sqlite3* Writer();  // the writing connection, opened (or repaired) on demand
    sqlite3* Reader();
    void SetProblem(std::string text);
    void AddNotice(std::string text);
    bool SetAside();

    const std::string path_;
    const Mode mode_;
    mutable std::mutex writeMutex_;
    std::mutex readMutex_;
    sqlite3* writer_ = nullptr;
    sqlite3* reader_ = nullptr;
    // Bumped when the file is set aside, so the reader opens the new one.
    std::atomic<int> generation_{0};
    int readerGeneration_ = 0;
    std::deque<JournalEntry> waiting_;
    mutable std::mutex problemMutex_;
    std::string problem_;
    std::string toldProblem_;
    std::string notice_;
};

}  // namespace kb
