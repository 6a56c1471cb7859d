#include "engine/completion.h"

#include <numeric>
#include <optional>

#include "engine/nameset.h"
#include "platform/fileops.h"

namespace kb {

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

SettledEntries::SettledEntries(const std::vector<filerec>& listing,
                               const std::vector<filerec>& baseline,
                               const std::vector<std::int32_t>& match, const CompletionGate& gate,
                               std::int64_t nowNs, const std::string& sharedir, WriterProbe probe)
    : listing_(listing),
      baseline_(baseline),
      match_(match),
      nowNs_(nowNs),
      settleNs_(std::int64_t{gate.settleSeconds < 0 ? 0 : gate.settleSeconds} * 1000000000),
      sharedir_(sharedir),
      probe_(std::move(probe)),
      state_(listing.size(), 0) {}

bool SettledEntries::Unchanged(std::uint32_t i) const {
    const std::int32_t at = match_[i];
    if (at < 0) return false;
    const filerec& before = baseline_[static_cast<std::size_t>(at)];
    return before.size == listing_[i].size && before.mtime == listing_[i].mtime;
}

bool SettledEntries::OldEnough(std::uint32_t i) const {
    const std::int64_t age = nowNs_ - listing_[i].mtime;
    // A write sets the modification time to the writer's "now". A time
    // further ahead than clocks drift apart (a file unpacked with a future
    // date) is not a write in progress; waiting for it would hold the file
    // back until that date.
    return age >= settleNs_ || age < -settleNs_;
}

bool SettledEntries::IsSettled(std::uint32_t i) {
    if (state_[i] == 0) {
        bool settled = Unchanged(i) && OldEnough(i);
        if (settled && probe_)
            settled = probe_(JoinPath(sharedir_, listing_[i].name)) != WriterState::Open;
        state_[i] = settled ? 1 : 2;
    }
    return state_[i] == 1;
}

}  // namespace kb
