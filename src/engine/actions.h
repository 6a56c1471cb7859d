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

// One file an action works on: its bare name and, for the journal and undo,
// its size and modification time as the listing saw them.
struct ActionFile {
    std::string_view name;
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    bool folder = false;  // a folder taken as one download: acted on whole
    double date = 0.0;    // its local modification time (days), for the templates
};

// The service a rule belongs to, as the outcomes name it.
struct ActionSite {
    std::string sharedir;
    std::string service;  // its name as the window shows it
    std::uint64_t uid = 0;
};

// Performs `rule`'s actions in order on `files` (in `site.sharedir`, in
// listing order), appending one outcome per file and action (one per
// program start for a launch) to `outcomes`. A copy, move, launch or upload
// after a move of the same rule acts on the file where the move put it; a
// delete after a move still names the shared folder's file, which is gone
// (a move then a delete never deletes the moved file). Never throws for a
// failure of a single file.
void PerformActions(const RuleRec& rule, const std::vector<ActionFile>& files,
                    const ActionSite& site, const ScanEnvironment& env,
                    std::vector<ActionOutcome>& outcomes);

}  // namespace kb
