#include "engine/scanpass.h"

#include <algorithm>
#include <exception>
#include <numeric>
#include <optional>

#include "engine/actions.h"
#include "engine/conditions.h"
#include "engine/folders.h"
#include "engine/ftpupload.h"
#include "engine/listing.h"
#include "engine/nameset.h"
#include "engine/triggers.h"
#include "platform/dirlist.h"
#include "platform/localtime.h"
#include "platform/process.h"

namespace kb {

namespace {

bool HasNewFileRule(const rServiceRules& svc) {
    for (const RuleRec& r : svc.rulelist.rules)
        if (r.enabled && r.mcond == trgNewFile) return true;
    return false;
}

// One service's part of a pass: its rules evaluated against one listing and
// one baseline, and (with the completion gate on) the new files that must
// still wait.
class ServicePass {
public:
    ServicePass(const rServiceRules& svc, const ServiceState& state, const SharedListing& baseline,
                const ServiceListing& listing, const ScanEnvironment& env,
                std::vector<ActionOutcome>& outcomes)
        : svc_(svc),
          state_(state),
          held_(state.held),
          failing_(state.failing),
          baseline_(baseline.get()),
          files_(listing.files.get()),
          total_(listing.total),
          env_(env),
          outcomes_(outcomes) {}

    void Run() {
        const bool grown = state_.scanned && files_.size() > baseline_.size();
        const bool newFileRule = HasNewFileRule(svc_);
        if (newFileRule && state_.scanned && Gated()) {
            // With the gate, every name that appears is new, whether or not
            // the count grew (a download renamed when done, a file put in
            // another's place), and an entry that changed arrives again once
            // it has settled (a download resumed, a file rewritten).
            for (std::uint32_t i = 0; i < files_.size(); ++i)
                if (Match()[i] < 0 || ChangedSinceBaseline(i)) arrived_.push_back(i);
        } else if (newFileRule && grown) {
            for (std::uint32_t i = 0; i < files_.size(); ++i)
                if (Match()[i] < 0) arrived_.push_back(i);
        }
        if (Gated() && newFileRule) SortOutWaiting();

        for (const RuleRec& rule : svc_.rulelist.rules) {
            if (StopRequested(env_)) break;
            if (rule.enabled) Evaluate(rule, grown);
        }
        if (Gated() && newFileRule) CollectPending();
    }

    std::vector<std::string> TakePending() { return std::move(pending_); }
    std::vector<HeldFile> TakeHeld() { return std::move(held_); }
    std::vector<FailingFile> TakeFailing() { return std::move(failing_); }

private:
    bool Gated() const { return env_.gate.enabled; }
    std::int64_t Clock() const { return env_.clock ? env_.clock() : WallClockNs(); }

    static bool Same(const HeldFile& h, const RuleRec& rule, const filerec& f) {
        return h.rule == rule.rulename && h.name == f.name;
    }

    // Leaves out the files this rule must not touch now: those undo put back
    // from it, and those it failed on whose wait is not over. A hold or a
    // wait ends when the file changes; a wait also when the rule or its
    // target folders do.
    void LeaveOutHeld(const RuleRec& rule, std::vector<std::uint32_t>& candidates) {
        if (held_.empty() && failing_.empty()) return;
        std::optional<std::uint64_t> ruleNow, targetsNow;
        const std::int64_t now = Clock();
        std::erase_if(candidates, [&](std::uint32_t i) {
            const filerec& f = files_[i];
            for (auto it = held_.begin(); it != held_.end(); ++it) {
                if (!Same(*it, rule, f)) continue;
                if (it->size == f.size && it->mtimeNs == f.mtime) return true;
                held_.erase(it);
                break;
            }
            for (auto it = failing_.begin(); it != failing_.end(); ++it) {
                if (!Same(it->file, rule, f)) continue;
                if (!ruleNow) ruleNow = RuleFingerprint(rule);
                if (!targetsNow) targetsNow = TargetsFingerprint(rule);
                if (it->file.size != f.size || it->file.mtimeNs != f.mtime ||
                    it->rule != *ruleNow || it->targets != *targetsNow) {
                    failing_.erase(it);
                    return false;
                }
                return now < it->retryNs;
            }
            return false;
        });
    }

    // Remembers which of `files` this rule failed on, and forgets the
    // failures of those it now handled.
    void NoteFailures(const RuleRec& rule, const std::vector<ActionFile>& files,
                      std::size_t first) {
        std::vector<std::string_view> failed;
        for (std::size_t k = first; k < outcomes_.size(); ++k)
            if (!outcomes_[k].ok && !outcomes_[k].file.empty() && !outcomes_[k].sourceChanged)
                failed.push_back(outcomes_[k].file);
        const std::int64_t now = Clock();
        std::optional<std::uint64_t> ruleNow, targetsNow;
        for (const ActionFile& f : files) {
            const bool fails = std::find(failed.begin(), failed.end(), f.name) != failed.end();
            auto it = std::find_if(failing_.begin(), failing_.end(), [&](const FailingFile& x) {
                return x.file.rule == rule.rulename && x.file.name == f.name;
            });
            if (!fails) {
                if (it != failing_.end()) failing_.erase(it);
                continue;
            }
            if (!ruleNow) ruleNow = RuleFingerprint(rule);
            if (!targetsNow) targetsNow = TargetsFingerprint(rule);
            if (it == failing_.end()) {
                failing_.push_back({});
                it = std::prev(failing_.end());
            }
            it->file = HeldFile{rule.rulename, std::string(f.name), f.size, f.mtimeNs};
            it->rule = *ruleNow;
            it->targets = *targetsNow;
            it->failures += 1;
            it->retryNs = now + RetryDelayNs(it->failures);
        }
    }

    const std::vector<std::int32_t>& Match() {
        if (!match_) match_ = MatchBaseline(files_, baseline_);
        return *match_;
    }

    bool ChangedSinceBaseline(std::uint32_t i) {
        const std::int32_t at = Match()[i];
        if (at < 0) return false;
        const filerec& before = baseline_[static_cast<std::size_t>(at)];
        return before.size != files_[i].size || before.mtime != files_[i].mtime;
    }

    SettledEntries& Settled() {
        if (!settled_) {
            const std::int64_t now = env_.clock ? env_.clock() : WallClockNs();
            settled_.emplace(files_, &baseline_, &Match(),
                             SettledEntries::Context{env_.gate, now, svc_.sharedir,
                                                     svc_.excludefiles, WriterSourcesOf(env_)});
        }
        return *settled_;
    }

    // The files earlier passes held back that are still there: settled ones
    // are this pass's new files, the others wait on.
    void SortOutWaiting() {
        if (state_.pending.empty()) return;
        NameSet waiting(state_.pending.size());
        for (const std::string& name : state_.pending) waiting.Insert(name);
        for (std::uint32_t i = 0; i < files_.size(); ++i) {
            if (!waiting.Contains(files_[i].name)) continue;
            (Settled().IsSettled(i) ? ready_ : stillWaiting_).push_back(i);
        }
    }

    void Evaluate(const RuleRec& rule, bool grown) {
        std::vector<std::uint32_t> candidates;
        if (rule.mcond == trgNewFile) {
            // With the gate, a file found new waits until it has settled and
            // is then acted on whether or not the count grew since.
            if (Gated()) {
                candidates = ready_;
            } else {
                if (!grown) return;
                candidates = arrived_;
            }
        } else {
            if (!TriggerHolds(rule, state_.scanned, baseline_.size(), files_.size(), total_))
                return;
            candidates.resize(files_.size());
            std::iota(candidates.begin(), candidates.end(), 0u);
        }
        RankFilter rankable;
        if (Gated()) rankable = [this](std::uint32_t i) { return Settled().IsSettled(i); };
        for (const ruleacondrec& cond : rule.conds) {
            if (cond.rcond == condDate && !now_) now_ = env_.now ? env_.now() : LocalNowDays();
            ApplyCondition(cond, candidates, files_, now_.value_or(0.0), rankable);
        }
        // Conditions only narrow, so testing last gives the same files as
        // testing first, and the writer probe runs only for what is left.
        if (Gated()) std::erase_if(candidates, [&](std::uint32_t i) { return !rankable(i); });
        LeaveOutHeld(rule, candidates);
        if (candidates.empty()) return;

        std::vector<ActionFile> chosen;
        chosen.reserve(candidates.size());
        for (std::uint32_t i : candidates) {
            chosen.push_back(ActionFile{files_[i].name, files_[i].size, files_[i].mtime,
                                        files_[i].contents != nullptr, files_[i].date});
        }
        const std::size_t first = outcomes_.size();
        PerformActions(rule, chosen, ActionSite{svc_.sharedir, ServiceName(svc_), svc_.uid}, env_,
                       outcomes_);
        NoteFailures(rule, chosen, first);
        if (rule.mcond != trgNewFile) return;
        for (std::size_t k = first; k < outcomes_.size(); ++k)
            if (outcomes_[k].sourceChanged) changed_.push_back(outcomes_[k].file);
    }

    // What waits for the next pass: the new files, those still unsettled,
    // and those that changed while an action copied them.
    void CollectPending() {
        std::vector<std::uint32_t> keep = stillWaiting_;
        keep.insert(keep.end(), arrived_.begin(), arrived_.end());
        std::sort(keep.begin(), keep.end());
        keep.erase(std::unique(keep.begin(), keep.end()), keep.end());
        for (std::uint32_t i : keep) pending_.push_back(files_[i].name);
        for (std::string& name : changed_) {
            if (std::find(pending_.begin(), pending_.end(), name) == pending_.end())
                pending_.push_back(std::move(name));
        }
    }

    const rServiceRules& svc_;
    const ServiceState& state_;
    std::vector<HeldFile> held_;
    std::vector<FailingFile> failing_;
    const std::vector<filerec>& baseline_;
    const std::vector<filerec>& files_;
    std::int64_t total_;
    const ScanEnvironment& env_;
    std::vector<ActionOutcome>& outcomes_;

    std::optional<std::vector<std::int32_t>> match_;
    std::optional<SettledEntries> settled_;
    std::optional<double> now_;
    std::vector<std::uint32_t> arrived_;       // new names this pass (the count grew)
    std::vector<std::uint32_t> ready_;         // waited and now settled
    std::vector<std::uint32_t> stillWaiting_;  // waited and still not settled
    std::vector<std::string> changed_;
    std::vector<std::string> pending_;
};

}  // namespace

ScanEnvironment DefaultScanEnvironment() {
    ScanEnvironment env;
    env.now = [] { return LocalNowDays(); };
    env.launch = [](const std::string& program, const std::vector<std::string>& args) {
        return OpenProgramOrDocument(program, args);
    };
    env.upload = MakeFtpUploader();
    env.clock = WallClockNs;
    env.writers = ProbeWriters;
    return env;
}

void ApplySettings(ScanEnvironment& env, const Settings& options) {
    env.gate = GateFromSettings(options);
    env.deleteToTrash = options.DeleteToTrash;
    env.foldersAsDownloads = options.FoldersAsDownloads;
}

WriterSources WriterSourcesOf(const ScanEnvironment& env) {
    return WriterSources{env.writers, env.holes, env.openForWriting, env.keeper.get(),
                         env.clients.get()};
}

ServiceListing ListForRules(const rServiceRules& svc, std::size_t expected,
                            const ScanEnvironment& env, ListingKeeper* keeper,
                            const ListingProgress& progress) {
    ServiceListing listing =
        keeper ? keeper->List(svc.sharedir, svc.excludefiles, expected)
               : ListCompletedFiles(svc.sharedir, svc.excludefiles, expected, progress);
    if (env.foldersAsDownloads && !listing.stopped)
        listing.files = MeasureFolders(listing.files, svc.sharedir, listing.total);
    return listing;
}

std::vector<rServiceRules> TakeScanSnapshot(const ServiceStore& store) {
    std::vector<rServiceRules> snapshot;
    for (const rServiceRules& svc : store.ServiceTable) {
        if (svc.enabled && !svc.sharedir.empty()) snapshot.push_back(svc);
    }
    return snapshot;
}

namespace {

// The service's baseline with what was put back since it was taken.
SharedListing EffectiveBaseline(const ServiceState& state) {
    if (state.putBack.empty()) return state.baseline;
    std::vector<filerec> files = state.baseline.get();
    for (const filerec& f : state.putBack) {
        const bool known = std::any_of(files.begin(), files.end(),
                                       [&](const filerec& g) { return g.name == f.name; });
        if (!known) files.push_back(f);
    }
    return SharedListing(std::move(files));
}

// One service's part of the pass: its listing, its rules, its new baseline.
void ScanService(const rServiceRules& svc, const ServiceState& state, const ScanEnvironment& env,
                 ScanResult& result) {
    const SharedListing baseline = EffectiveBaseline(state);
    ServiceListing listing = ListForRules(svc, baseline.size(), env, env.keeper.get());
    std::vector<std::string> pending;
    std::vector<HeldFile> held = state.held;
    std::vector<FailingFile> failing = state.failing;
    if (!listing.files.empty()) {
        ServicePass pass(svc, state, baseline, listing, env, result.outcomes);
        pass.Run();
        pending = pass.TakePending();
        held = pass.TakeHeld();
        failing = pass.TakeFailing();
    }
    // A hold or a failure of a file that is gone is over.
    auto gone = [&](const HeldFile& h) {
        return std::none_of(listing.files.begin(), listing.files.end(),
                            [&](const filerec& f) { return f.name == h.name; });
    };
    if (!held.empty() || !failing.empty()) {
        std::erase_if(held, gone);
        std::erase_if(failing, [&](const FailingFile& f) { return gone(f.file); });
    }
    // The baseline is the listing as taken, before any action of this pass.
    result.baselines.push_back(ServiceBaseline{svc.uid, std::move(listing.files),
                                               std::move(pending), std::move(held),
                                               std::move(failing)});
}

}  // namespace

ScanResult RunScanPass(const std::vector<rServiceRules>& snapshot, const ScanState& state,
                       const ScanEnvironment& env) {
    ScanResult result;
    if (env.clients) env.clients->BeginPass();
    for (const rServiceRules& svc : snapshot) {
        if (!svc.enabled || svc.sharedir.empty()) continue;
        // The services not reached keep their baselines from the last pass.
        if (StopRequested(env)) break;
        try {
            ScanService(svc, state.Of(svc.uid), env, result);
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& e) {
            // What this pass did elsewhere stands; this service keeps its old
            // baseline, and the user learns why it was passed over.
            ActionOutcome o;
            o.serviceUid = svc.uid;
            o.service = ServiceName(svc);
            o.raction = kPassFailure;
            o.source = svc.sharedir;
            o.timeNs = env.clock ? env.clock() : WallClockNs();
            o.error = std::string("the pass could not go through this folder: ") + e.what();
            result.outcomes.push_back(std::move(o));
        }
    }
    // A pass cut short has not asked for every folder it still watches.
    if (env.keeper && !StopRequested(env)) env.keeper->Sweep();
    if (env.clients) result.notices = env.clients->TakeNotices();
    return result;
}

const ServiceState& ScanState::Of(std::uint64_t uid) const {
    static const ServiceState none;
    const auto it = states_.find(uid);
    return it == states_.end() ? none : it->second;
}

void ScanState::Store(const ScanResult& result, std::vector<SharedListing>* replaced) {
    // Listings are shared, not copied: storing one costs the same for any size.
    for (const ServiceBaseline& b : result.baselines) {
        ServiceState& s = states_[b.uid];
        s.scanned = true;
        if (replaced && !s.baseline.SameAs(b.files)) replaced->push_back(std::move(s.baseline));
        s.baseline = b.files;
        s.pending = b.pending;
        s.held = b.held;
        s.failing = b.failing;
        s.putBack.clear();
    }
}

int ScanState::PutBack(const ServiceStore& store, const std::string& folder,
                       const std::string& name, bool foldersAsDownloads, const std::string& rule) {
    const std::optional<DirEntryInfo> found = StatEntry(folder, name);
    if (!found) return 0;
    const DirEntryInfo& e = *found;
    filerec rec{name, e.size, e.date, e.mtimeNs, e.directory, {}};
    if (foldersAsDownloads && e.directory) {
        std::int64_t total = 0;
        rec = MeasureFolders(SharedListing({rec}), folder, total).get()[0];
    }
    int added = 0;
    for (const rServiceRules& svc : store.ServiceTable) {
        if (svc.sharedir != folder) continue;
        const auto it = states_.find(svc.uid);
        if (it == states_.end() || !it->second.scanned) continue;
        it->second.putBack.push_back(rec);
        if (!rule.empty()) {
            std::vector<HeldFile>& held = it->second.held;
            const HeldFile h{rule, name, rec.size, rec.mtime};
            if (std::find(held.begin(), held.end(), h) == held.end()) held.push_back(h);
        }
        ++added;
    }
    return added;
}

int ScanState::Release(const ServiceStore& store, const std::string& folder,
                       const std::string& name, const std::string& rule) {
    int released = 0;
    for (const rServiceRules& svc : store.ServiceTable) {
        if (svc.sharedir != folder) continue;
        const auto it = states_.find(svc.uid);
        if (it == states_.end()) continue;
        auto same = [&](const HeldFile& h) { return h.rule == rule && h.name == name; };
        released += static_cast<int>(std::erase_if(it->second.held, same));
        released += static_cast<int>(
            std::erase_if(it->second.failing, [&](const FailingFile& f) { return same(f.file); }));
    }
    return released;
}

}  // namespace kb
