// The other download clients' configuration files, as any version, a crash
// or a hand edit may leave them: each reader takes any bytes, offers a
// folder only when one is named, and the JSON readers read back what they
// found once it is written in their format again.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "fuzz_check.h"
#include "store/clientconfig.h"

namespace {

using nlohmann::json;

void CheckFound(const std::optional<kb::ClientFolders>& f) {
    if (f) FUZZ_CHECK(!f->save.empty());
}

std::string Dumped(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const int reader = in.ConsumeIntegralInRange(0, 5);
    const std::string text = in.ConsumeRemainingBytesAsString();
    switch (reader) {
        case 0:
            CheckFound(kb::ReadQBittorrentConf(text));
            break;
        case 1: {
            const auto found = kb::ReadTransmissionSettings(text);
            CheckFound(found);
            if (found) {
                json again = {{"download-dir", found->save},
                              {"incomplete-dir-enabled", !found->incomplete.empty()},
                              {"incomplete-dir", found->incomplete}};
                const auto back = kb::ReadTransmissionSettings(Dumped(again));
                FUZZ_CHECK(back && back->save == found->save &&
                           back->incomplete == found->incomplete);
            }
            break;
        }
        case 2: {
            const auto found = kb::ReadDelugeCore(text);
            CheckFound(found);
            if (found && found->incomplete.empty()) {
                const json header = {{"file", 1}, {"format", 1}};
                const json settings = {{"download_location", found->save}};
                const auto back = kb::ReadDelugeCore(Dumped(header) + Dumped(settings));
                FUZZ_CHECK(back && back->save == found->save && back->incomplete.empty());
            }
            break;
        }
        case 3:
            CheckFound(kb::ReadNicotineConfig(text));
            break;
        case 4:
            CheckFound(kb::ReadAria2Conf(text));
            break;
        default:
            CheckFound(kb::ReadAmuleConf(text));
            break;
    }
    return 0;
}
