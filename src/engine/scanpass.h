// The scan pass: one sweep over the enabled services. It lists each shared
// directory, drops the excluded entries, evaluates the rules in order against
// that one listing and baseline, performs the actions of every rule that fired
// and returns the new baselines. With the completion gate on, the rules'
// conditions and actions see only the files that have settled; a new file
// waits (pending) until it has. It owns no timer and no globals and works on a
// snapshot of the table, so the shell can run it on a worker thread while the
// user keeps editing, and tests can run it directly with a fake clock.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/completion.h"
#include "engine/downloadclients.h"
#include "engine/listingkeeper.h"
#include "engine/scanstate.h"
#include "platform/status.h"
#include "store/model.h"
#include "store/servicetable.h"

namespace kb {

// What one file-level action did. The pass never reports to the user; the
// caller may show these later.
struct ActionOutcome {
    std::uint64_t serviceUid = 0;
    std::string service;  // the service's name as the window shows it
    std::string rulename;
    ActionKind raction = actMove;
    bool trashed = false;  // a delete that went to the Trash
    std::string file;      // bare name; empty for a launch made once for the whole list
    std::string source;    // the file's full path in the shared folder ("" as `file`)
    // Where it went: the folder of a move or copy, the file's place in the
    // Trash, the ftp:// address (without the password), the launched program.
    std::string target;
    std::int64_t size = 0;     // the file as the listing saw it
    std::int64_t mtimeNs = 0;  // its modification time then, ns since 1970 (UTC)
    std::int64_t timeNs = 0;   // when the action ended, on the pass's clock
    bool ok = false;
    std::string error;  // why it failed; empty when ok
    std::string note;   // a remark on a success, such as kAlreadyThereNote
    // A move the download client made (ClientMoveTag), so undo asks it back.
    std::string clientMove;
    // The file changed while it was copied: nothing was done to it, and a
    // new-file rule tries it again once it has settled.
    bool sourceChanged = false;
    bool folder = false;  // the entry was a folder, acted on whole
    // A move, copy or rename that gave the file another name: that name in
    // `target` ("" when it kept its own).
    std::string targetName;
    // The file that had the target name, put in the Trash first: its place
    // there, so undo brings it back as well.
    std::string replacedTrash;
    // Nothing was done to the file (the target name was taken, and the rule
    // said to skip or keep the newer): `note` says why.
    bool skipped = false;
};

// The `raction` of an outcome that is no action: the pass could not go
// through a service (`error` says why).
inline constexpr ActionKind kPassFailure = static_cast<ActionKind>(255);

// The note of a copy or move whose target already held an identical copy.
inline constexpr char kAlreadyThereNote[] = "already there";

struct ServiceBaseline {
    std::uint64_t uid = 0;
    SharedListing files;
    std::vector<std::string> pending;  // new files still waiting to settle
    std::vector<HeldFile> held;        // the holds still standing
    std::vector<FailingFile> failing;  // the failures still waiting to be tried again
};

// A number that changes whenever anything the user can edit in `rule` does.
std::uint64_t RuleFingerprint(const RuleRec& rule);
// A number that changes when a folder the rule's moves and copies write to
// changes (is made, removed, or has an entry added or removed).
std::uint64_t TargetsFingerprint(const RuleRec& rule);

struct ScanResult {
    std::vector<ServiceBaseline> baselines;
    std::vector<ActionOutcome> outcomes;
    // What to tell the user besides the outcomes, each once: a download
    // client that cannot be asked, and the same answering again.
    std::vector<std::string> notices;
};

// Opens `program` with `args` (already split; every argument reaches the
// program as it stands, no shell involved). Must not wait for the program.
using Launcher =
    std::function<Status(const std::string& program, const std::vector<std::string>& args)>;

// Sends the local file `localPath` to the server `params` names, under the
// remote name `remoteName` in `params.ftppath`, replacing an existing file.
// Returns when the transfer has ended.
using FtpUploader = std::function<Status(const racftp& params, const std::string& localPath,
                                         const std::string& remoteName)>;

struct ScanEnvironment {
    // Local time now, as a day count since 1899-12-30 with the time of day as fraction.
    std::function<double()> now;
    Launcher launch;
    FtpUploader upload;
    // Which files are finished downloads. On unless switched off.
    CompletionGate gate;
    // The wall clock for file ages, ns since 1970 (UTC); WallClockNs when empty.
    std::function<std::int64_t()> clock;
    // Whether a file is open for writing; ProbeWriters when empty.
    WriterProbe writers;
    // Whether a file has holes; FindHoles when empty.
    std::function<Holes(const std::string&)> holes;
    // The files seen open for writing; FilesOpenForWriting when empty.
    std::function<std::vector<FileId>()> openForWriting;
    // A subfolder of a shared folder is one download (measured, judged and
    // acted on whole); off, it is an entry like a file, with its own size
    // and times, which the actions refuse.
    bool foldersAsDownloads = false;
    // The download clients that can be asked, by the folder each serves;
    // none: the file system alone decides. Passes sharing a desk must not
    // overlap.
    std::shared_ptr<ClientDesk> clients;
    // Delete moves files to the Trash instead of removing them for good.
    bool deleteToTrash = false;
    // Set by the owner to end a pass early: the file being worked on is
    // finished, nothing further is started. A rule stopped after its copies
    // never goes on to its deletes.
    const std::atomic<bool>* stop = nullptr;
    // Keeps the folders' listings between passes from change notification;
    // without one every pass lists every folder in full. Passes sharing a
    // keeper must not overlap.
    std::shared_ptr<ListingKeeper> keeper;
};

inline bool StopRequested(const ScanEnvironment& env) {
    return env.stop && env.stop->load(std::memory_order_relaxed);
}

// Real clock, real process launcher, libcurl uploader.
ScanEnvironment DefaultScanEnvironment();

// Sets what the program's own options decide: the completion gate, the
// Trash, folders as downloads.
void ApplySettings(ScanEnvironment& env, const Settings& options);

// The gate's sources of answers about writers and holes in `env`.
WriterSources WriterSourcesOf(const ScanEnvironment& env);

// The listing as the rules see it: from `keeper` when given, else listed
// afresh; with folders as downloads, each folder measured by what it holds.
ServiceListing ListForRules(const rServiceRules& svc, std::size_t expected,
                            const ScanEnvironment& env, ListingKeeper* keeper,
                            const ListingProgress& progress = {});

// The enabled services that have a directory, with their rules (a copy, safe
// to hand to a worker thread).
std::vector<rServiceRules> TakeScanSnapshot(const ServiceStore& store);

// One pass over `snapshot`, each service measured against its `state`;
// pure apart from the file system, the launcher and the uploader. A service
// whose part fails unexpectedly keeps its baseline, and its failure is one
// more outcome; the other services' outcomes stand.
ScanResult RunScanPass(const std::vector<rServiceRules>& snapshot, const ScanState& state,
                       const ScanEnvironment& env);

}  // namespace kb
