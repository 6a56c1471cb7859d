#include "engine/triggers.h"

namespace kb {

bool TriggerHolds(const RuleRec& rule, bool scanned, std::size_t prevcnt, std::size_t count,
                  std::int64_t total) {
    switch (rule.mcond) {
        case trgNewFile:
            return scanned && count > prevcnt;
        case trgFileCount:
            return static_cast<std::int64_t>(count) > rule.fcnt;
        case trgTotalSize:
            return total / kTriggerMB > rule.fsize;
        default:
            return false;
    }
}

}  // namespace kb
