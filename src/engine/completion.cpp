#include "engine/completion.h"

#include <algorithm>
#include <numeric>
#include <optional>

#include "engine/downloadclients.h"
#include "engine/folders.h"
#include "engine/listingkeeper.h"
#include "engine/matchmask.h"
#include "engine/nameset.h"
#include "platform/fileops.h"

namespace kb {

namespace {

constexpr std::int64_t kSecondNs = 1000000000;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EndsWithNoCase(std::string_view name, std::string_view end) {
    if (end.empty() || name.size() <= end.size()) return false;  // a name is more than its ending
    const std::string_view tail = name.substr(name.size() - end.size());
    for (std::size_t k = 0; k < end.size(); ++k)
        if (Lower(tail[k]) != Lower(end[k])) return false;
    return true;
}

std::string Seconds(std::int64_t s) {
    if (s % 60 == 0 && s >= 60) return std::to_string(s / 60) + (s == 60 ? " minute" : " minutes");
    return std::to_string(s) + (s == 1 ? " second" : " seconds");
}

}  // namespace

std::vector<std::string> ParsePartialSuffixes(const std::string& text) {
    std::vector<std::string> out;
    for (std::string_view item : SplitList(text)) {
        while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
        while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
        if (item.empty()) continue;
        out.emplace_back(item);
    }
    return out;
}

std::string JoinPartialSuffixes(const std::vector<std::string>& suffixes) {
    std::string out;
    for (const std::string& s : suffixes) {
        if (!out.empty()) out += ';';
        out += s;
    }
    return out;
}

std::vector<std::string> DefaultPartialSuffixes() {
    return ParsePartialSuffixes(kDefaultPartialSuffixes);
}

CompletionGate GateFromSettings(const Settings& o) {
    CompletionGate g;
    g.enabled = o.WaitSettled;
    g.settleSeconds = o.SettleSeconds;
    g.unseenWriterSeconds = o.UnseenWriterMinutes * 60;
    g.partialSuffixes = ParsePartialSuffixes(o.PartialSuffixes);
    return g;
}

std::string PartialSuffixOf(std::string_view name, const std::vector<std::string>& suffixes) {
    // The longest that fits, so "x.part.met" is told by ".part.met".
    const std::string* best = nullptr;
    for (const std::string& s : suffixes)
        if (EndsWithNoCase(name, s) && (!best || s.size() > best->size())) best = &s;
    return best ? *best : std::string();
}

std::string DescribeWait(const Verdict& v, const CompletionGate& gate) {
    if (!v.file.empty()) {
        switch (v.reason) {
            case WaitReason::PartialName:
                return "holds a download in progress: " + v.file;
            case WaitReason::ControlFile:
                return "holds a file whose client's file is beside it: " + v.file;
            case WaitReason::Writer:
                return "holds a file still open for writing: " + v.file;
            case WaitReason::Holes:
                return "holds a file with parts never written: " + v.file;
            case WaitReason::UnseenWriter:
                return "holds " + v.file +
                       ", and nothing can tell whether a program still writes it: waits until "
                       "it has not changed for " +
                       Seconds(gate.unseenWriterSeconds);
            default:
                break;
        }
    }
    switch (v.reason) {
        case WaitReason::None:
            return {};
        case WaitReason::ClientUnfinished:
            return "the client reports it unfinished";
        case WaitReason::PartialName:
            return "named as a download in progress (" + v.detail + ")";
        case WaitReason::ControlFile:
            return "its client's file " + v.detail + " is beside it";
        case WaitReason::Changed:
            return "changed since the last look";
        case WaitReason::Recent:
            return "written less than " + Seconds(gate.settleSeconds) + " ago";
        case WaitReason::Writer:
            return "still open for writing";
        case WaitReason::Holes:
            return "parts of it were never written";
        case WaitReason::UnseenWriter:
            return "no way to tell whether a program still writes it: waits until it has not "
                   "changed for " +
                   Seconds(gate.unseenWriterSeconds);
        case WaitReason::FolderTooBig:
            return "holds too many entries to look through";
        case WaitReason::FolderUnreadable:
            return "not all of it can be read";
    }
    return {};
}

std::string DecidedBy(const Verdict& v) {
    switch (v.reason) {
        case WaitReason::None:
            return v.clientComplete ? "client" : "file system";
        case WaitReason::ClientUnfinished:
            return "client";
        case WaitReason::PartialName:
        case WaitReason::ControlFile:
            return "name";
        case WaitReason::Changed:
        case WaitReason::Recent:
            return "changes";
        case WaitReason::Writer:
            return "writer";
        case WaitReason::Holes:
            return "holes";
        case WaitReason::UnseenWriter:
            return "quiet time";
        case WaitReason::FolderTooBig:
        case WaitReason::FolderUnreadable:
            return "folder";
    }
    return {};
}

std::vector<std::int32_t> MatchBaseline(const std::vector<filerec>& listing,
                                        const std::vector<filerec>& baseline) {
    std::vector<std::int32_t> match(listing.size(), -1);
    if (baseline.empty()) return match;
    if (&listing == &baseline) {
        // The listing the last pass returned, unchanged.
        std::iota(match.begin(), match.end(), 0);
        return match;
    }
    std::optional<NameSet> index;  // built on the first entry out of order
    std::size_t next = 0;          // the baseline position the next entry should have
    bool inOrder = true;           // every entry so far matched at `next`
    for (std::size_t i = 0; i < listing.size(); ++i) {
        const std::string& name = listing[i].name;
        if (next < baseline.size() && baseline[next].name == name) {
            match[i] = static_cast<std::int32_t>(next++);
            continue;
        }
        // With the whole baseline matched in order, the rest are new names:
        // names within one folder are unique. The common case of files added
        // at the end of the enumeration needs no hash.
        if (inOrder && next == baseline.size()) continue;
        inOrder = false;
        if (!index) {
            index.emplace(baseline.size());
            for (std::uint32_t k = 0; k < baseline.size(); ++k) index->Insert(baseline[k].name, k);
        }
        const std::int64_t at = index->Find(name);
        if (at >= 0) {
            match[i] = static_cast<std::int32_t>(at);
            next = static_cast<std::size_t>(at) + 1;
        }
    }
    return match;
}

// What the gate takes from the system at most once per pass, and only when
// an entry needs it.
struct SettledEntries::Lazy {
    // The names x of the listing for which "x" + an ending is listed too,
    // each with the listed file that makes it one.
    std::optional<NameSet> stems;
    std::vector<std::string> stemOf;
    std::optional<std::vector<std::string_view>> masks;
    std::optional<std::vector<FileId>> openForWriting;
};

SettledEntries::SettledEntries(const std::vector<filerec>& listing,
                               const std::vector<filerec>* baseline,
                               const std::vector<std::int32_t>* match, Context context)
    : listing_(listing),
      baseline_(baseline),
      match_(match),
      ctx_(std::move(context)),
      lazy_(std::make_unique<Lazy>()),
      verdicts_(listing.size()) {}

SettledEntries::~SettledEntries() = default;

const Verdict& SettledEntries::Judge(std::uint32_t i) {
    if (!verdicts_[i]) verdicts_[i] = Decide(i);
    return *verdicts_[i];
}

bool SettledEntries::Unchanged(std::uint32_t i) const {
    if (!baseline_) return true;  // a preview: no earlier look to compare with
    const std::int32_t at = (*match_)[i];
    if (at < 0) return false;
    const filerec& before = (*baseline_)[static_cast<std::size_t>(at)];
    return before.size == listing_[i].size && before.mtime == listing_[i].mtime;
}

bool SettledEntries::Recent(std::int64_t mtimeNs, std::int64_t quietNs) const {
    const std::int64_t age = ctx_.nowNs - mtimeNs;
    // A write sets the modification time to the writer's "now". A time
    // further ahead than clocks drift apart (a file unpacked with a future
    // date) is not a write in progress; waiting for it would hold the file
    // back until that date.
    return age < quietNs && age >= -quietNs;
}

std::string SettledEntries::ControlFileBeside(const std::string& name) {
    const std::vector<std::string>& suffixes = ctx_.gate.partialSuffixes;
    if (suffixes.empty()) return {};
    if (!lazy_->stems) {
        // One sweep of the names, once per pass: the files with an ending
        // are few, and only they make a stem.
        lazy_->stems.emplace(16);
        for (const filerec& f : listing_) {
            for (const std::string& s : suffixes) {
                if (!EndsWithNoCase(f.name, s)) continue;
                lazy_->stems->Insert(std::string_view(f.name).substr(0, f.name.size() - s.size()),
                                     static_cast<std::uint32_t>(lazy_->stemOf.size()));
                lazy_->stemOf.push_back(f.name);
            }
        }
        lazy_->masks = SplitList(ctx_.excludefiles);
    }
    if (const std::int64_t at = lazy_->stems->Find(name); at >= 0)
        return lazy_->stemOf[static_cast<std::size_t>(at)];
    // The user's masks may keep the control file out of the listing
    // ("*.aria2"); it still says its download is not done.
    for (const std::string& s : suffixes) {
        std::string other = name + s;
        if (MatchesAnyMask(other, *lazy_->masks) && StatEntry(ctx_.sharedir, other)) return other;
    }
    return {};
}

WaitReason SettledEntries::WriterTest(const std::string& path, const std::string& nameInShare,
                                      std::int64_t mtimeNs, bool clientComplete) {
    const WriterSources& src = ctx_.sources;
    WriterState state = src.lease ? src.lease(path) : ProbeWriters(path);
    if (state == WriterState::Unknown && src.keeper && !nameInShare.empty())
        state = src.keeper->WriterEvidence(ctx_.sharedir, nameInShare);
    if (state == WriterState::Unknown) {
        if (!lazy_->openForWriting)
            lazy_->openForWriting =
                src.openForWriting ? src.openForWriting() : FilesOpenForWriting();
        const std::optional<FileId> id = IdentifyFile(path);
        if (id &&
            std::binary_search(lazy_->openForWriting->begin(), lazy_->openForWriting->end(), *id))
            state = WriterState::Open;
    }
    if (state == WriterState::Open) return WaitReason::Writer;
    const Holes holes = src.holes ? src.holes(path) : FindHoles(path);
    if (holes == Holes::Some) return WaitReason::Holes;
    // Its client's word that it is complete stands in for what the system
    // could not say.
    if (state == WriterState::Unknown && !clientComplete &&
        Recent(mtimeNs, std::int64_t{ctx_.gate.unseenWriterSeconds} * kSecondNs))
        return WaitReason::UnseenWriter;
    return WaitReason::None;
}

Verdict SettledEntries::Decide(std::uint32_t i) {
    const filerec& f = listing_[i];
    const std::int64_t settleNs =
        std::int64_t{ctx_.gate.settleSeconds < 0 ? 0 : ctx_.gate.settleSeconds} * kSecondNs;
    const std::vector<std::string>& suffixes = ctx_.gate.partialSuffixes;
    if (std::string s = PartialSuffixOf(f.name, suffixes); !s.empty())
        return {WaitReason::PartialName, s, {}};
    // The client knows best whether its download is finished: paused,
    // preallocated or stalled, the files may look done when they are not.
    bool clientComplete = false;
    if (ctx_.sources.clients) {
        if (const auto found = ctx_.sources.clients->About(ctx_.sharedir, f.name)) {
            if (!found->download.complete) return {WaitReason::ClientUnfinished, {}, {}};
            clientComplete = true;
        }
    }
    if (!Unchanged(i)) return {WaitReason::Changed, {}, {}};
    if (Recent(f.mtime, settleNs)) return {WaitReason::Recent, {}, {}};
    if (std::string other = ControlFileBeside(f.name); !other.empty())
        return {WaitReason::ControlFile, other, {}};
    Verdict v;
    if (f.contents) {
        v = DecideFolder(f, clientComplete);
    } else if (!f.folder) {
        // A folder, device or pipe has no writer to ask about: its own
        // times decide, as they always did.
        v.reason = WriterTest(JoinPath(ctx_.sharedir, f.name), f.name, f.mtime, clientComplete);
    }
    v.clientComplete = v.settled() && clientComplete;
    return v;
}

Verdict SettledEntries::DecideFolder(const filerec& f, bool clientComplete) {
    const FolderContents& c = *f.contents;
    if (c.end == WalkEnd::TooDeep || c.end == WalkEnd::TooMany)
        return {WaitReason::FolderTooBig, {}, {}};
    if (c.end == WalkEnd::Unreadable) return {WaitReason::FolderUnreadable, {}, {}};
    const std::vector<std::string>& suffixes = ctx_.gate.partialSuffixes;
    auto inner = [&](WaitReason why, const std::string& file) {
        return Verdict{why, {}, f.name + "/" + file};
    };
    // Names first: they cost nothing, and one partial file is enough.
    NameSet paths(c.files.size());
    for (const FolderFile& file : c.files) paths.Insert(file.path);
    for (const FolderFile& file : c.files) {
        if (!PartialSuffixOf(file.path, suffixes).empty())
            return inner(WaitReason::PartialName, file.path);
        for (const std::string& s : suffixes)
            if (paths.Contains(file.path + s)) return inner(WaitReason::ControlFile, file.path);
    }
    const std::string top = JoinPath(ctx_.sharedir, f.name);
    for (const FolderFile& file : c.files) {
        const WaitReason why = WriterTest(top + "/" + file.path, {}, file.mtimeNs, clientComplete);
        if (why != WaitReason::None) return inner(why, file.path);
    }
    return {};
}

}  // namespace kb
