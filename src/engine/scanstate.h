// What the scan passes keep of each service between passes: whether it has
// a baseline yet, the listing the last pass took (what "new" is measured
// against), and the new files still waiting to settle. Owned by the
// scheduler that runs the passes, keyed by the service record's identity, so
// the table the editors change holds only what kbconf.ini stores. Never
// persisted: after a restart the first pass takes the baselines afresh.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "store/model.h"
#include "store/servicetable.h"

namespace kb {

// A file one rule must leave alone for now, for as long as it stays as it
// was (same size and modification time).
struct HeldFile {
    std::string rule;  // the rule's name
    std::string name;  // the file's bare name
    std::int64_t size = 0, mtimeNs = 0;
    bool operator==(const HeldFile&) const = default;
};

// A file a rule failed on: tried again only once its wait is over, unless
// the file, the rule or the rule's target folders changed meanwhile.
struct FailingFile {
    HeldFile file;
    std::uint64_t rule = 0;     // RuleFingerprint of the rule when it failed
    std::uint64_t targets = 0;  // TargetsFingerprint of its target folders then
    int failures = 0;           // in a row
    std::int64_t retryNs = 0;   // not before this, on the pass's clock
};

// The wait before the next try after `failures` failures in a row: 5 s,
// 10 s, 20 s, ... at most 10 minutes.
std::int64_t RetryDelayNs(int failures);

struct ServiceState {
    bool scanned = false;  // a pass has taken a baseline
    SharedListing baseline;
    std::vector<std::string> pending;  // new files waiting to settle
    // Entries put back into the folder (by undo) since the baseline was
    // taken: part of the baseline for the next pass, which joins them in on
    // its own thread, so no listing is copied where putting one back happens.
    std::vector<filerec> putBack;
    // Files put back by undo, each kept from the rule whose action was undone.
    std::vector<HeldFile> held;
    std::vector<FailingFile> failing;
};

struct ScanResult;

class ScanState {
public:
    // The service's state; an empty one (no baseline) when it has none.
    const ServiceState& Of(std::uint64_t uid) const;
    ServiceState& For(std::uint64_t uid) { return states_[uid]; }

    // Puts each of the pass's baselines back under its service (scanned, the
    // listing, what waits). The listings they replace are moved into
    // `replaced` when given, so the caller can let them go where freeing a
    // large listing costs nobody a wait.
    void Store(const ScanResult& result, std::vector<SharedListing>* replaced = nullptr);

    // A file put back into `folder` by hand or by undo becomes part of the
    // baselines of the services of `store` on that folder that have one, as
    // the last pass would have listed it: it is not taken for a new download.
    // Returns how many took it.
    // With `rule`, that rule (of each service on the folder) leaves the file
    // alone until it changes or Release lets it go.
    int PutBack(const ServiceStore& store, const std::string& folder, const std::string& name,
                bool foldersAsDownloads, const std::string& rule = {});

    // Lets `rule` act on the file `name` in `folder` again: a hold from undo
    // ends, a failure's wait is over. Returns how many services had one.
    int Release(const ServiceStore& store, const std::string& folder, const std::string& name,
                const std::string& rule);

    // Forgets the services no longer in `store`.
    void Keep(const ServiceStore& store);

private:
    std::unordered_map<std::uint64_t, ServiceState> states_;
};

}  // namespace kb
