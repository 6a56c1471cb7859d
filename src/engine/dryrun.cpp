#include "engine/dryrun.h"

#include <algorithm>
#include <iterator>
#include <numeric>
#include <optional>

#include "engine/conditions.h"
#include "engine/ftpupload.h"
#include "engine/launchargs.h"
#include "engine/listing.h"
#include "engine/placement.h"
#include "engine/triggers.h"
#include "platform/dirlist.h"
#include "platform/fileops.h"
#include "platform/localtime.h"
#include "store/servicetable.h"

namespace kb {

namespace {

// Whether the completion gate would hold the file back now. A preview has no
// earlier pass to compare with, so it leaves out "unchanged since the last
// look"; a file that passes the rest would still wait one more pass in a
// real run if it were new.
class WaitTest {
public:
    WaitTest(const ServiceListing& listing, const rServiceRules& svc, const ScanEnvironment& env)
        : env_(env),
          settled_(listing.files.get(), nullptr, nullptr,
                   SettledEntries::Context{env.gate, env.clock ? env.clock() : WallClockNs(),
                                           svc.sharedir, svc.excludefiles, Sources(env)}) {}

    // A preview runs beside the passes: it never asks their keeper.
    static WriterSources Sources(const ScanEnvironment& env) {
        WriterSources s = WriterSourcesOf(env);
        s.keeper = nullptr;
        return s;
    }

    bool Waiting(std::uint32_t i) { return env_.gate.enabled && !settled_.IsSettled(i); }
    std::string Why(std::uint32_t i) {
        return Waiting(i) ? DescribeWait(settled_.Judge(i), env_.gate) : std::string();
    }
    std::string DecidedBy(std::uint32_t i) {
        return env_.gate.enabled ? kb::DecidedBy(settled_.Judge(i)) : std::string();
    }

private:
    const ScanEnvironment& env_;
    SettledEntries settled_;
};

std::string Replace(std::string text, std::string_view what, std::string_view with) {
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

RulePreview Head(const rServiceRules& svc, const RuleRec& rule, const ScanEnvironment& env) {
    RulePreview p;
    p.service = ServiceName(svc);
    p.folder = svc.sharedir;
    p.rule = rule.rulename;
    p.trigger = rule.mcond;
    if (rule.mcond == trgFileCount) p.threshold = rule.fcnt;
    if (rule.mcond == trgTotalSize) p.threshold = rule.fsize;
    p.triggerText = DescribeTrigger(rule);
    p.onArrival = rule.mcond == trgNewFile;
    p.actions = DescribeActions(rule, env);
    return p;
}

// Where the rule's moves, copies and renames would put `f`, each after the
// one before (a rename's new name is what a later copy takes), and which
// name patterns chose it.
void Place(FilePreview& out, const filerec& f, const RuleRec& rule, const RulePreview& p) {
    for (const ruleacondrec& c : rule.conds) {
        if (c.rcond == condNameWildcard) out.matched.push_back("wildcards " + c.pattern);
        if (c.rcond == condNameRegex) out.matched.push_back("regex " + c.pattern);
    }
    std::string path = JoinPath(p.folder, f.name);
    for (const ruleactionrec& a : rule.actions) {
        if (a.raction != actMove && a.raction != actCopy && a.raction != actRename) continue;
        const char* verb = a.raction == actMove ? "move" : a.raction == actCopy ? "copy" : "rename";
        const std::string_view now = std::string_view(path).substr(path.find_last_of("/\\") + 1);
        const Placement plan =
            PlanPlacement(a, PlacedFile{now, path, f.size, f.mtime, f.date, f.contents != nullptr,
                                        p.service, p.rule});
        switch (plan.outcome) {
            case Placement::Outcome::Fail:
                out.placements.push_back(std::string(verb) + " fails: " + plan.error);
                continue;
            case Placement::Outcome::Skip:
                out.placements.push_back(std::string(verb) + ": " + plan.note);
                continue;
            case Placement::Outcome::Identical:
                out.placements.push_back(std::string(verb) + " to " + plan.Path() + " (" +
                                         kAlreadyThereNote + ")");
                break;
            case Placement::Outcome::Write:
                // A plain move into a fixed folder says nothing the action
                // list does not say already.
                if (plan.note.empty() && !plan.makeFolders && a.newname.empty()) break;
                out.placements.push_back(std::string(verb) + " to " + plan.Path() +
                                         (plan.note.empty() ? "" : " (" + plan.note + ")"));
                break;
        }
        if (a.raction != actCopy) path = plan.Path();
    }
}

// Why a folder could not be listed, in a few words.
std::string FolderProblem(const std::string& dir) {
    if (IsFolder(dir)) return "cannot be read";
    const auto sep = dir.find_last_of("/\\");
    if (sep != std::string::npos && sep + 1 < dir.size() &&
        StatEntry(sep == 0 ? dir.substr(0, 1) : dir.substr(0, sep), dir.substr(sep + 1)))
        return "is not a folder";
    return "does not exist";
}

// The newest/oldest condition of the rule in words ("newest 2 files"), or
// "" when it has none.
std::string RankingText(const RuleRec& rule) {
    for (const ruleacondrec& c : rule.conds) {
        if (c.rcond != condNewest && c.rcond != condOldest) continue;
        const std::int32_t n = c.rcond == condNewest ? c.newestcnt : c.oldestcnt;
        return std::string(c.rcond == condNewest ? "newest " : "oldest ") + std::to_string(n) +
               (n == 1 ? " file" : " files");
    }
    return {};
}

// The rule against one listing of its service's folder.
void Evaluate(RulePreview& p, const RuleRec& rule, const ServiceListing& listing, WaitTest& wait,
              const ScanEnvironment& env, std::optional<double>& now) {
    const std::vector<filerec>& files = listing.files.get();
    p.folderMissing = !listing.opened;
    if (p.folderMissing) p.folderProblem = FolderProblem(p.folder);
    p.listed = static_cast<std::int64_t>(files.size());
    p.total = listing.total;
    p.stopped = listing.stopped;
    if (listing.stopped) return;
    // A new-file rule's "new" files are unknown without a baseline: every
    // present file stands for one that could arrive.
    p.holds =
        p.onArrival ? !files.empty() : TriggerHolds(rule, true, 0, files.size(), listing.total);
    if (!p.holds) return;
    if (!now && std::any_of(rule.conds.begin(), rule.conds.end(),
                            [](const ruleacondrec& c) { return c.rcond == condDate; }))
        now = env.now ? env.now() : LocalNowDays();
    auto select = [&](const RankFilter& rankable) {
        std::vector<std::uint32_t> candidates(files.size());
        std::iota(candidates.begin(), candidates.end(), 0u);
        for (const ruleacondrec& cond : rule.conds)
            ApplyCondition(cond, candidates, files, now.value_or(0.0), rankable);
        return candidates;
    };
    RankFilter rankable;
    if (env.gate.enabled) rankable = [&wait](std::uint32_t i) { return !wait.Waiting(i); };
    std::vector<std::uint32_t> candidates = select(rankable);
    // A file still downloading takes no place among the newest or oldest: the
    // next one is chosen instead. Those it would have ranked among if they
    // had finished are shown too, so the user sees why they were passed over.
    std::vector<std::uint32_t> leftOut;
    const std::string ranking = RankingText(rule);
    if (rankable && !ranking.empty()) {
        for (std::uint32_t i : select({}))
            if (wait.Waiting(i) && !std::binary_search(candidates.begin(), candidates.end(), i))
                leftOut.push_back(i);
        std::vector<std::uint32_t> both;
        std::merge(candidates.begin(), candidates.end(), leftOut.begin(), leftOut.end(),
                   std::back_inserter(both));
        candidates = std::move(both);
    }
    p.files.reserve(candidates.size());
    for (std::uint32_t i : candidates) {
        FilePreview f{files[i].name,
                      files[i].size,
                      wait.Waiting(i),
                      wait.Why(i),
                      files[i].contents != nullptr,
                      wait.DecidedBy(i)};
        if (std::binary_search(leftOut.begin(), leftOut.end(), i)) {
            f.leftOut = true;
            f.why = "left out of the " + ranking + " while it downloads (" + f.why + ")";
        }
        p.files.push_back(std::move(f));
        Place(p.files.back(), files[i], rule, p);
    }
}

}  // namespace

std::int64_t RulePreview::ActingNow() const {
    return std::count_if(files.begin(), files.end(),
                         [](const FilePreview& f) { return !f.waiting; });
}

std::string DescribeTrigger(const RuleRec& rule) {
    switch (rule.mcond) {
        case trgNewFile:
            return "a new file is present";
        case trgFileCount:
            return "more than " + std::to_string(rule.fcnt) + (rule.fcnt == 1 ? " file" : " files");
        case trgTotalSize:
            return "more than " + std::to_string(rule.fsize) + " MB";
        case trgFileExists:
            return "a file exists (never acts)";
        default:
            return "unknown trigger " + std::to_string(KindCode(rule.mcond)) + " (never acts)";
    }
}

std::vector<std::string> DescribeActions(const RuleRec& rule, const ScanEnvironment& env) {
    std::vector<std::string> out;
    for (const ruleactionrec& a : rule.actions) {
        switch (a.raction) {
            case actMove:
                out.push_back("move to " + a.move.filepath);
                break;
            case actCopy:
                out.push_back("copy to " + a.copy.filepath);
                break;
            case actRename:
                out.push_back("rename to " + a.newname);
                break;
            case actDelete:
                out.emplace_back(env.deleteToTrash ? "move to the Trash" : "delete");
                break;
            case actFtp: {
                // The address of a file "x" there, without the "x": the folder.
                std::string url = FtpDisplayUrl(FtpRequestFor(a.ftp, "x"));
                if (url.empty()) {
                    out.push_back("upload to \"" + a.ftp.ftpserver +
                                  "\" (not a usable address: the upload would fail)");
                } else {
                    url.pop_back();
                    out.push_back("upload to " + url);
                }
                break;
            }
            case actLaunch: {
                std::string text = "launch " + a.launch.fprogram;
                if (!a.launch.fparams.empty())
                    text += " " + Replace(a.launch.fparams, kFilePlaceholder, "<file>");
                if (!HasPlaceholder(SplitParams(a.launch.fparams))) text += " (once for all files)";
                out.push_back(std::move(text));
                break;
            }
            default:
                out.push_back("unknown action " + std::to_string(KindCode(a.raction)) +
                              " (does nothing)");
                break;
        }
    }
    return out;
}

RulePreview PreviewRule(const rServiceRules& svc, const RuleRec& rule, const ScanEnvironment& env,
                        const PreviewProgress& progress) {
    RulePreview p = Head(svc, rule, env);
    if (svc.sharedir.empty()) {
        p.folderMissing = true;
        return p;
    }
    if (env.clients) env.clients->BeginPass();  // the clients are asked afresh
    const ServiceListing listing = ListForRules(svc, 0, env, nullptr, progress);
    WaitTest wait(listing, svc, env);
    std::optional<double> now;
    Evaluate(p, rule, listing, wait, env, now);
    return p;
}

std::vector<RulePreview> DryRun(const std::vector<rServiceRules>& snapshot,
                                const ScanEnvironment& env) {
    std::vector<RulePreview> out;
    std::optional<double> now;
    if (env.clients) env.clients->BeginPass();
    for (const rServiceRules& svc : snapshot) {
        if (!svc.enabled || svc.sharedir.empty()) continue;
        const ServiceListing listing = ListForRules(svc, 0, env, nullptr);
        WaitTest wait(listing, svc, env);
        for (const RuleRec& rule : svc.rulelist.rules) {
            if (!rule.enabled) continue;
            RulePreview p = Head(svc, rule, env);
            Evaluate(p, rule, listing, wait, env, now);
            out.push_back(std::move(p));
        }
    }
    return out;
}

}  // namespace kb
