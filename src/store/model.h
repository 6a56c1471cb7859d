// The in-memory model: services, their rules, conditions and actions, and the
// directory entries the scan pass builds. Plain value records; copying one
// copies everything it holds, apart from a listing, which is shared because
// it never changes. Counts that must equal an array's length are
// derived from the array so they can never drift from it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace kb {

// Service ids. Id 5 is every additional (user-defined) service; LimeWire is 6.
enum ServiceId : std::uint8_t {
    sidKazaa = 0,
    sidMorpheus = 1,
    sidGrokster = 2,
    sidAudioGalaxy = 3,
    sidBearShare = 4,
    sidOther = 5,
    sidLimeWire = 6,
};

// The kinds of triggers, conditions and actions, at the model's interface.
// kbconf.ini stores them as these numbers; a number no kind has (a file
// edited by hand) is kept as it is, so that it is written back unchanged,
// and the engine and the editor treat it as no kind they know.

// Trigger kinds (RuleRec::mcond).
enum class TriggerKind : std::uint8_t {
    NewFile = 0,     // a new completed file is present
    FileExists = 1,  // a completed file exists (never stored by the editor, never fires)
    FileCount = 2,   // the completed file count exceeds fcnt
    TotalSize = 3,   // the completed files' total size exceeds fsize MB
};
inline constexpr TriggerKind trgNewFile = TriggerKind::NewFile;
inline constexpr TriggerKind trgFileExists = TriggerKind::FileExists;
inline constexpr TriggerKind trgFileCount = TriggerKind::FileCount;
inline constexpr TriggerKind trgTotalSize = TriggerKind::TotalSize;

// Condition kinds (ruleacondrec::rcond).
enum class ConditionKind : std::uint8_t {
    Extension = 0,
    Size = 1,
    Date = 2,
    Newest = 3,
    Oldest = 4,
    // Kept in kbconf.ini's extension section, never in the rule's own
    // records: a reader that knows only the kinds above never meets them.
    NameWildcard = 5,  // the name matches shell wildcards (* ? [...])
    NameRegex = 6,     // the name matches a regular expression (RE2)
};
inline constexpr ConditionKind condExtension = ConditionKind::Extension;
inline constexpr ConditionKind condSize = ConditionKind::Size;
inline constexpr ConditionKind condDate = ConditionKind::Date;
inline constexpr ConditionKind condNewest = ConditionKind::Newest;
inline constexpr ConditionKind condOldest = ConditionKind::Oldest;
inline constexpr ConditionKind condNameWildcard = ConditionKind::NameWildcard;
inline constexpr ConditionKind condNameRegex = ConditionKind::NameRegex;

// Comparison codes (rnum, rdayscmp).
enum CompareCode : std::uint8_t {
    cmpLess = 0,
    cmpGreater = 2,
};

// Action kinds (ruleactionrec::raction).
enum class ActionKind : std::uint8_t {
    Move = 0,
    Copy = 1,
    Delete = 2,
    Ftp = 3,
    Launch = 4,
    // Renames the file where it is (extension section only, as above).
    Rename = 5,
};
inline constexpr ActionKind actMove = ActionKind::Move;
inline constexpr ActionKind actCopy = ActionKind::Copy;
inline constexpr ActionKind actDelete = ActionKind::Delete;
inline constexpr ActionKind actFtp = ActionKind::Ftp;
inline constexpr ActionKind actLaunch = ActionKind::Launch;
inline constexpr ActionKind actRename = ActionKind::Rename;

// What a move, copy or rename does when its target name is taken by a file
// that is not already an identical copy.
enum class ConflictMode : std::uint8_t {
    Replace = 0,       // overwrite it (the rules made before the choice existed)
    Skip = 1,          // leave both files where they are
    KeepBoth = 2,      // save under "name (2).ext", "name (3).ext", ...
    ReplaceOlder = 3,  // overwrite it only when the file is newer than it
    TrashOld = 4,      // put it in the Trash first (the choice for new rules)
};

// Whether kbconf.ini's own records can hold the kind (else only the extension section can).
constexpr bool StoredInRecords(ConditionKind k) {
    return static_cast<std::uint8_t>(k) <= static_cast<std::uint8_t>(ConditionKind::Oldest) ||
           static_cast<std::uint8_t>(k) > static_cast<std::uint8_t>(ConditionKind::NameRegex);
}
constexpr bool StoredInRecords(ActionKind k) { return k != ActionKind::Rename; }

// The number kbconf.ini stores for a kind.
template <class Kind>
constexpr std::uint8_t KindCode(Kind kind) {
    return static_cast<std::uint8_t>(kind);
}

// Bytes in one MB of the total-size trigger, and in one KB of the size condition.
inline constexpr std::int64_t kTriggerMB = 1024000;
inline constexpr std::int64_t kConditionKB = 1024;

// What a subfolder of a shared folder holds, when folders are taken as one
// download each (the engine fills it in).
struct FolderContents;

// One directory entry as the scan pass sees it.
struct filerec {
    std::string name;       // bare name, no directory part
    std::int64_t size = 0;  // bytes; 64-bit so files past 2 GiB keep their size
    double date = 0.0;      // local last-modification time as a day count since 1899-12-30
    // The same time as the file system keeps it (ns since 1970, UTC): the
    // completion gate compares it between passes and against the clock.
    std::int64_t mtime = 0;
    // A folder (not a link to one). Taken as one download, its size is that
    // of all its files, its times those of the newest entry inside, and
    // `contents` says what it holds; otherwise size and times are its own.
    bool folder = false;
    std::shared_ptr<const FolderContents> contents = nullptr;
    bool operator==(const filerec&) const = default;
};

// A directory listing that never changes once made, shared rather than
// copied: the table's baseline, the snapshot a pass works on and a listing
// kept between passes can all be the same one. Copying one is a reference
// count; a change makes a new listing and leaves the old one as it was.
class SharedListing {
public:
    SharedListing() = default;
    SharedListing(std::vector<filerec> files)  // NOLINT: a plain listing converts
        : files_(files.empty() ? nullptr
                               : std::make_shared<const std::vector<filerec>>(std::move(files))) {}
    SharedListing(std::initializer_list<filerec> files)
        : SharedListing(std::vector<filerec>(files)) {}

    // The entries; valid for as long as this listing (or a copy) is held.
    const std::vector<filerec>& get() const { return files_ ? *files_ : Empty(); }
    std::size_t size() const { return get().size(); }
    bool empty() const { return get().empty(); }
    const filerec& operator[](std::size_t i) const { return get()[i]; }
    std::vector<filerec>::const_iterator begin() const { return get().begin(); }
    std::vector<filerec>::const_iterator end() const { return get().end(); }

    // The very same listing, not merely an equal one (two empty ones are).
    bool SameAs(const SharedListing& other) const { return files_ == other.files_; }

    void clear() { files_.reset(); }

private:
    static const std::vector<filerec>& Empty() {
        static const std::vector<filerec> none;
        return none;
    }
    std::shared_ptr<const std::vector<filerec>> files_;
};

struct rcondFileExt {
    std::string ext;  // extensions without the dot, separated by ";"
    bool operator==(const rcondFileExt&) const = default;
};

// One condition. Every kind shares the record; only its own kind's fields mean anything.
struct ruleacondrec {
    ConditionKind rcond = condExtension;
    rcondFileExt fileext;        // kind 0
    std::uint8_t rnum = 0;       // kind 1: comparison code
    std::int32_t size = 0;       // kind 1: KB, -1 = not yet entered
    std::uint8_t rdayscmp = 0;   // kind 2: comparison code
    std::int32_t rdays = 0;      // kind 2: whole days, -1 = not yet entered
    std::int32_t newestcnt = 0;  // kind 3: N, -1 = not yet entered
    std::int32_t oldestcnt = 0;  // kind 4: N, -1 = not yet entered
    std::string pattern;         // kinds 5 and 6: wildcards or a regular expression
    bool matchCase = false;      // kinds 5 and 6: letter case counts
    bool operator==(const ruleacondrec&) const = default;
};

struct racmove {
    std::string filepath;
    bool operator==(const racmove&) const = default;
};

struct raccopy {
    std::string filepath;
    bool operator==(const raccopy&) const = default;
};

struct racftp {
    std::string ftpserver;
    std::string ftppath;
    std::int32_t ftpport = 0;
    std::string ftpuser;
    std::string ftppass;
    bool ftpascmode = false;  // true = ASCII transfer, false = binary
    bool ftppassive = false;
    // Beyond the record: the SFTP key to log in with ("" tries the user's
    // own), the TLS public key the user accepted for a server whose
    // certificate the system does not trust ("sha256//..."), and whether the
    // password is kept in the desktop's secret store (the record's field is
    // then empty).
    std::string keyFile;
    std::string pinnedKey;
    bool passwordInKeyring = false;
    bool operator==(const racftp&) const = default;
};

struct raclaunch {
    std::string fprogram;
    std::string fparams;  // "mfile" stands for the found file's full path
    bool operator==(const raclaunch&) const = default;
};

// One action. Every kind shares the record; only its own kind's parameters mean anything.
struct ruleactionrec {
    ActionKind raction = actMove;
    racmove move;
    raccopy copy;
    racftp ftp;
    raclaunch launch;
    // Move, copy and rename: the name the file gets, with fields filled per
    // file ("" keeps its name; a rename needs one), and what happens when a
    // different file already has it. The move and copy folders may hold
    // fields too.
    std::string newname;
    ConflictMode conflict = ConflictMode::Replace;
    bool operator==(const ruleactionrec&) const = default;
};

struct RuleRec {
    std::string rulename;
    bool enabled = false;
    std::int32_t fcnt = 0;   // trigger 2 threshold
    std::int32_t fsize = 0;  // trigger 3 threshold in MB of 1,024,000 bytes
    TriggerKind mcond = trgNewFile;
    std::vector<ruleacondrec> conds;
    std::vector<ruleactionrec> actions;

    std::int32_t condcnt() const { return static_cast<std::int32_t>(conds.size()); }
    std::int32_t actioncnt() const { return static_cast<std::int32_t>(actions.size()); }
    bool operator==(const RuleRec&) const = default;
};

struct RuleList {
    std::vector<RuleRec> rules;  // evaluation order
    std::int32_t rulecnt() const { return static_cast<std::int32_t>(rules.size()); }
    bool operator==(const RuleList&) const = default;
};

// One service as kbconf.ini stores it. What the scan passes learn of it
// between passes (its baseline listing, the files waiting to settle) is kept
// by the scheduler, by `uid` (engine/scanstate.h), never here.
struct rServiceRules {
    std::uint8_t serviceid = 0;
    std::string sharedir;
    std::string excludefiles;  // masks separated by ";"
    bool enabled = false;
    std::string othername;
    std::int32_t othernum = 0;
    RuleList rulelist;

    // Identity of this record for the length of the run. Never persisted; a
    // scan pass running on a snapshot hands its baselines back by this id, so
    // a record deleted or moved meanwhile is never confused with another.
    std::uint64_t uid = 0;
};

}  // namespace kb
