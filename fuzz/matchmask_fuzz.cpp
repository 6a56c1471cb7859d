// The exclusion-mask matcher against the step-by-step reference: the same
// answer for every name and mask, with the iterative matcher's time bounded
// by the product of the lengths (the run's -timeout catches a blow-up).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/matchmask.h"
#include "engine/matchmask_reference.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string mask = in.ConsumeRandomLengthString(1024);
    const std::string name = in.ConsumeRemainingBytesAsString();
    const bool fast = kb::MatchMask(name, mask);
    FUZZ_CHECK(fast == kbtest::ReferenceMatch(name, mask, true));
    // A mask list is matched item by item, and the items are the text between
    // the semicolons, exactly.
    std::size_t joined = 0;
    for (std::string_view item : kb::SplitList(mask)) joined += item.size() + 1;
    FUZZ_CHECK(joined == mask.size() + 1);
    return 0;
}
