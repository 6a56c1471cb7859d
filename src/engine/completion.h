// The completion gate: which entries of a listing are finished downloads that
// the rules may act on, as opposed to downloads still in progress. A file is
// settled when
// - its name is not that of a partial download ("x.part", "x.!qB") and no
//   client's control file stands beside it ("x.aria2", "x.part");
// - the previous pass saw it with the same size and modification time, and
//   that time is at least the settle time old;
// - no program has it open for writing: asked of the system where it can
//   tell (a read lease on Linux), else of change notification (written
//   since a writer last closed it), else of the processes' open files that
//   can be seen; where nothing can tell, it must have been quiet for the
//   long quiet time;
// - it has no holes (a torrent client fills its files out of order).
// A folder taken as one download is settled when every file in it is, by
// the same tests, and none carries a partial name.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/writers.h"
#include "store/model.h"
#include "store/settings.h"

namespace kb {

class ClientDesk;
class ListingKeeper;

// The endings of the default setting (kDefaultPartialSuffixes).
std::vector<std::string> DefaultPartialSuffixes();

struct CompletionGate {
    bool enabled = true;
    std::int32_t settleSeconds = 10;
    // A file whose writers nothing can see (another user's file where the
    // system refuses to say, a network folder) waits this long after its
    // last change.
    std::int32_t unseenWriterSeconds = 600;
    // Name endings of downloads in progress and of clients' control files,
    // compared without regard to ASCII case.
    std::vector<std::string> partialSuffixes = DefaultPartialSuffixes();
};

// The gate the options describe.
CompletionGate GateFromSettings(const Settings& o);

// The endings written in `text`, separated by ";" (spaces around each are
// dropped, empty ones skipped), and back.
std::vector<std::string> ParsePartialSuffixes(const std::string& text);
std::string JoinPartialSuffixes(const std::vector<std::string>& suffixes);

// The longest ending of `suffixes` that `name` carries, or "" when none.
std::string PartialSuffixOf(std::string_view name, const std::vector<std::string>& suffixes);

using WriterProbe = std::function<WriterState(const std::string& path)>;

// Where the gate's answers about writers and holes come from. Each empty
// function stands for the system's own.
struct WriterSources {
    WriterProbe lease;                                    // ProbeWriters
    std::function<Holes(const std::string&)> holes;       // FindHoles
    std::function<std::vector<FileId>()> openForWriting;  // FilesOpenForWriting
    const ListingKeeper* keeper = nullptr;                // change notification, when kept
    ClientDesk* clients = nullptr;                        // the download clients to ask
};

// For each entry of `listing`, the position of the baseline entry with the
// same name, or -1 when the baseline lacks the name. Folders list in the same
// order from one pass to the next, so entries are matched by position first
// and a hash of the baseline is built only when the orders part.
std::vector<std::int32_t> MatchBaseline(const std::vector<filerec>& listing,
                                        const std::vector<filerec>& baseline);

// Why an entry is not settled.
enum class WaitReason : std::uint8_t {
    None,              // settled
    ClientUnfinished,  // the download client reports it unfinished (paused included)
    PartialName,       // its name is that of a download in progress
    ControlFile,       // a client's control file or partial file stands beside it
    Changed,           // its size or time changed since the last pass (or it is new)
    Recent,            // written within the settle time
    Writer,            // a program has it open for writing
    Holes,             // parts of it were never written
    UnseenWriter,      // nothing can tell about writers, and it changed within the long quiet time
    FolderTooBig,      // a folder with more entries, or deeper, than is looked through
    FolderUnreadable,
};

struct Verdict {
    WaitReason reason = WaitReason::None;
    // The ending (PartialName) or the control file's name (ControlFile).
    std::string detail;
    // For a folder waiting on a file inside it: that file, from the folder's
    // name on ("Album/CD1/track.flac.part"); `reason` is the file's.
    std::string file;
    // Settled, and its client reports it complete.
    bool clientComplete = false;
    bool settled() const { return reason == WaitReason::None; }
};

// Which of the gate's tests decided: "client", "name", "changes", "writer",
// "holes", "quiet time", "folder"; for a settled file "client" when its
// client reports it complete, else "file system".
std::string DecidedBy(const Verdict& v);

// The reason in words, for the preview and the dry run: "named as a partial
// download (.part)", "still open for writing", ...
std::string DescribeWait(const Verdict& v, const CompletionGate& gate);

// The gate's answers for one service's listing in one pass. The cheap tests
// run on first need, the system's (a few calls each) only for an entry that
// passed them, and each answer is kept for the rest of the pass. Without a
// baseline (a preview) the "unchanged since the last pass" test is left out.
class SettledEntries {
public:
    struct Context {
        const CompletionGate& gate;
        std::int64_t nowNs;
        const std::string& sharedir;
        const std::string& excludefiles;
        WriterSources sources;
    };
    SettledEntries(const std::vector<filerec>& listing, const std::vector<filerec>* baseline,
                   const std::vector<std::int32_t>* match, Context context);
    ~SettledEntries();

    bool IsSettled(std::uint32_t i) { return Judge(i).settled(); }
    const Verdict& Judge(std::uint32_t i);

private:
    struct Lazy;
    Verdict Decide(std::uint32_t i);
    Verdict DecideFolder(const filerec& f, bool clientComplete);
    bool Unchanged(std::uint32_t i) const;
    bool Recent(std::int64_t mtimeNs, std::int64_t quietNs) const;
    std::string ControlFileBeside(const std::string& name);
    WaitReason WriterTest(const std::string& path, const std::string& nameInShare,
                          std::int64_t mtimeNs, bool clientComplete);

    const std::vector<filerec>& listing_;
    const std::vector<filerec>* baseline_;
    const std::vector<std::int32_t>* match_;
    Context ctx_;
    std::unique_ptr<Lazy> lazy_;
    std::vector<std::optional<Verdict>> verdicts_;
};

}  // namespace kb
