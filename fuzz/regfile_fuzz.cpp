// The registry file (a registry export's text form): parsing never fails,
// and what was parsed is serialized and parsed back to the same keys and
// values in the same order.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "platform/regfile.h"

namespace {

bool SameKeys(const kb::RegDocument& a, const kb::RegDocument& b) {
    if (a.Keys().size() != b.Keys().size()) return false;
    for (std::size_t i = 0; i < a.Keys().size(); ++i) {
        const kb::RegKey& x = a.Keys()[i];
        const kb::RegKey& y = b.Keys()[i];
        if (x.path != y.path || x.values != y.values) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const kb::RegDocument parsed = kb::RegDocument::Parse(text);
    const std::string written = parsed.Serialize();
    const kb::RegDocument again = kb::RegDocument::Parse(written);
    FUZZ_CHECK(SameKeys(parsed, again));
    FUZZ_CHECK(again.Serialize() == written);
    // Every key can be found again by its own path.
    for (const kb::RegKey& k : parsed.Keys()) FUZZ_CHECK(parsed.Find(k.path) != nullptr);
    return 0;
}
