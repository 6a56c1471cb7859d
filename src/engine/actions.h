// Rule actions: what a rule that fired does to each file left after its
// conditions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/scanpass.h"
#include "store/model.h"

namespace kb {

// Performs `rule`'s actions in order on the files `names` (bare names in
// `sharedir`, in listing order), appending one outcome per file and action
// (one per program start for a launch) to `outcomes`. No action learns what
// an earlier one did. Never throws for a failure of a single file.
void PerformActions(const RuleRec& rule, const std::vector<std::string_view>& names,
                    const std::string& sharedir, const ScanEnvironment& env,
                    std::uint64_t serviceUid, std::vector<ActionOutcome>& outcomes);

}  // namespace kb
