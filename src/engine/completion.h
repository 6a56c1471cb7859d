// The completion gate: which entries of a listing are finished files that the
// rules may act on, as opposed to downloads still being written. An entry is
// settled when the previous pass saw it with the same size and modification
// time, that time is at least the settle time old, and (where the system can
// tell) no process has it open for writing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/writers.h"
#include "store/model.h"

namespace kb {

struct CompletionGate {
    bool enabled = true;
    std::int32_t settleSeconds = 10;
};

using WriterProbe = std::function<WriterState(const std::string& path)>;

// For each entry of `listing`, the position of the baseline entry with the
// same name, or -1 when the baseline lacks the name. Folders list in the same
// order from one pass to the next, so entries are matched by position first
// and a hash of the baseline is built only when the orders part.
std::vector<std::int32_t> MatchBaseline(const std::vector<filerec>& listing,
                                        const std::vector<filerec>& baseline);

// The gate's answers for one service's listing in one pass. The cheap tests
// run on first need; the writer probe (a few system calls) only for an entry
// that passed them, and each answer is kept for the rest of the pass.
class SettledEntries {
public:
    SettledEntries(const std::vector<filerec>& listing, const std::vector<filerec>& baseline,
                   const std::vector<std::int32_t>& match, const CompletionGate& gate,
                   std::int64_t nowNs, const std::string& sharedir, WriterProbe probe);

    bool IsSettled(std::uint32_t i);

private:
    bool Unchanged(std::uint32_t i) const;
    bool OldEnough(std::uint32_t i) const;

    const std::vector<filerec>& listing_;
    const std::vector<filerec>& baseline_;
    const std::vector<std::int32_t>& match_;
    std::int64_t nowNs_;
    std::int64_t settleNs_;
    const std::string& sharedir_;
    WriterProbe probe_;
    std::vector<std::uint8_t> state_;  // 0 not yet asked, 1 settled, 2 not settled
};

}  // namespace kb
