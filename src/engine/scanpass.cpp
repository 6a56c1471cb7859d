#include "engine/scanpass.h"

#include <numeric>
#include <optional>

#include "engine/actions.h"
#include "engine/conditions.h"
#include "engine/ftpupload.h"
#include "engine/listing.h"
#include "engine/nameset.h"
#include "engine/triggers.h"
#include "platform/localtime.h"
#include "platform/process.h"

namespace kb {

namespace {

// The files whose names the baseline lacks, in listing order. A hash set of
// the baseline keeps this linear in the folder's size.
std::vector<std::uint32_t> NewFiles(const std::vector<filerec>& listing, const NameSet& baseline) {
    std::vector<std::uint32_t> out;
    for (std::uint32_t i = 0; i < listing.size(); ++i) {
        if (!baseline.Contains(listing[i].name)) out.push_back(i);
    }
    return out;
}

void EvaluateRules(const rServiceRules& svc, const ServiceListing& listing,
                   const ScanEnvironment& env, std::vector<ActionOutcome>& outcomes) {
    const std::vector<filerec>& files = listing.files;
    std::optional<NameSet> baseline;  // built on first need
    std::optional<double> now;

    for (const RuleRec& rule : svc.rulelist.rules) {
        if (!rule.enabled) continue;
        if (!TriggerHolds(rule, svc.scanned, svc.prevfiles.size(), files.size(), listing.total)) {
            continue;
        }
        std::vector<std::uint32_t> candidates;
        if (rule.mcond == trgNewFile) {
            if (!baseline) {
                baseline.emplace(svc.prevfiles.size());
                for (const filerec& f : svc.prevfiles) baseline->Insert(f.name);
            }
            candidates = NewFiles(files, *baseline);
        } else {
            candidates.resize(files.size());
            std::iota(candidates.begin(), candidates.end(), 0u);
        }
        for (const ruleacondrec& cond : rule.conds) {
            if (cond.rcond == condDate && !now) now = env.now ? env.now() : LocalNowDays();
            ApplyCondition(cond, candidates, files, now.value_or(0.0));
        }
        if (candidates.empty()) continue;

        std::vector<std::string_view> names;
        names.reserve(candidates.size());
        for (std::uint32_t i : candidates) names.push_back(files[i].name);
        PerformActions(rule, names, svc.sharedir, env, svc.uid, outcomes);
    }
}

}  // namespace

ScanEnvironment DefaultScanEnvironment() {
    ScanEnvironment env;
    env.now = [] { return LocalNowDays(); };
    env.launch = [](const std::string& program, const std::vector<std::string>& args) {
        OpStatus st;
        st.ok = OpenProgramOrDocument(program, args, &st.error);
        return st;
    };
    env.upload = MakeFtpUploader();
    return env;
}

std::vector<rServiceRules> TakeScanSnapshot(const ServiceStore& store) {
    std::vector<rServiceRules> snapshot;
    for (const rServiceRules& svc : store.ServiceTable) {
        if (svc.enabled && !svc.sharedir.empty()) snapshot.push_back(svc);
    }
    return snapshot;
}

ScanResult RunScanPass(const std::vector<rServiceRules>& snapshot, const ScanEnvironment& env) {
    ScanResult result;
    for (const rServiceRules& svc : snapshot) {
        if (!svc.enabled || svc.sharedir.empty()) continue;
        ServiceListing listing = ListCompletedFiles(svc.sharedir, svc.excludefiles, svc.prevfiles.size());
        if (!listing.files.empty()) EvaluateRules(svc, listing, env, result.outcomes);
        // The baseline is the listing as taken, before any action of this pass.
        result.baselines.push_back(ServiceBaseline{svc.uid, std::move(listing.files)});
    }
    return result;
}

void StoreBaselines(ServiceStore& store, const ScanResult& result) {
    for (const ServiceBaseline& b : result.baselines) {
        const int at = store.FindByUid(b.uid);
        if (at < 0) continue;
        rServiceRules& svc = store.ServiceTable[static_cast<std::size_t>(at)];
        svc.scanned = true;
        svc.prevfiles = b.files;
    }
}

}  // namespace kb
