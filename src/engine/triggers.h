// Rule triggers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "store/model.h"

namespace kb {

// Whether `rule`'s trigger holds for a listing of `count` completed files
// totalling `total` bytes, given the service's baseline state. The new-file
// trigger needs a baseline and a grown count; the count and size triggers
// need strictly more than their thresholds (size in whole MB of 1,024,000
// bytes); "a file exists" and unknown codes never hold.
bool TriggerHolds(const RuleRec& rule, bool scanned, std::size_t prevcnt, std::size_t count,
                  std::int64_t total);

}  // namespace kb
