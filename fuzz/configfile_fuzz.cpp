// kbconf.ini as a hand edit or a crash may leave it: the reader never fails
// badly, and whatever it took from the file is written and read back the
// same (a complete read, no line passed over, the same bytes again).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "store/configfile.h"

namespace {

kb::ServiceStore StartingTable() {
    kb::ServiceStore store;
    store.InitServiceTable({});
    return store;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const kb::ConfigWarning ignore = [](const std::string&) {};

    kb::ServiceStore read = StartingTable();
    const int rc = kb::ReadConfigText(text, read, ignore);
    FUZZ_CHECK(rc == 0 || rc == -1);
    FUZZ_CHECK(read.ServiceCount() >= 6);

    const std::string written = kb::FormatConfigFile(read);
    kb::ServiceStore again = StartingTable();
    bool skipped = true;
    FUZZ_CHECK(kb::ReadConfigText(written, again, ignore, &skipped) == 0);
    FUZZ_CHECK(!skipped);
    FUZZ_CHECK(kb::FormatConfigFile(again) == written);
    return 0;
}
