// Condition filters: each narrows a rule's candidate list, keeping the order
// of the files that stay. Candidates are positions in the service's listing.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "store/model.h"

namespace kb {

// Which entries of a listing take part in the newest/oldest ranking; an empty
// function means all of them.
using RankFilter = std::function<bool(std::uint32_t position)>;

// Removes from `candidates` (ascending positions in `listing`) every file that
// fails `cond`. `now` is the local time as a day count; only the date
// condition reads it. Newest/oldest rank the whole `listing` (the entries
// `rankable` admits), not just the candidates. An unknown condition kind
// leaves the list as it is.
void ApplyCondition(const ruleacondrec& cond, std::vector<std::uint32_t>& candidates,
                    const std::vector<filerec>& listing, double now,
                    const RankFilter& rankable = {});

// The extension of a file name: the text after its last "."; false when the
// name has no "." at all.
bool FileExtension(std::string_view name, std::string_view& ext);

// Age in whole days of a file dated `date` as of `now`: today's midnight minus
// the date, truncated toward zero.
std::int64_t AgeInDays(double date, double now);

}  // namespace kb
