// The one pass environment the engine tests build on: a clock the test moves,
// launches and uploads recorded instead of made, writers, holes and open
// files as the test says, and the passes' state kept between passes as the
// scheduler keeps it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/scanpass.h"
#include "platform/localtime.h"
#include "store/servicetable.h"

namespace kbtest {

class FakeScan {
public:
    static constexpr std::int64_t kSecond = 1'000'000'000;

    struct Settings {
        bool gate = false;  // the completion gate; off pins the rules' own behaviour
        std::int32_t settleSeconds = 10;
        // The clock starts here (ns since 1970); 0: now.
        std::int64_t startNs = 1'800'000'000 * kSecond;
    };

    FakeScan() : FakeScan(Settings{}) {}
    explicit FakeScan(Settings o) : now(o.startNs ? o.startNs : kb::WallClockNs()) {
        env.gate.enabled = o.gate;
        env.gate.settleSeconds = o.settleSeconds;
        env.now = [] { return kb::EncodeDays(2026, 6, 1, 12, 0, 0); };
        env.clock = [this] { return now; };
        env.writers = [this](const std::string& path) {
            for (const auto& [end, state] : writers)
                if (path.size() >= end.size() &&
                    path.compare(path.size() - end.size(), end.size(), end) == 0)
                    return state;
            return kb::WriterState::None;
        };
        env.holes = [](const std::string&) { return kb::Holes::None; };
        env.openForWriting = [] { return std::vector<kb::FileId>{}; };
        env.launch = [this](const std::string& program, const std::vector<std::string>& args) {
            std::vector<std::string> call{program};
            call.insert(call.end(), args.begin(), args.end());
            launches.push_back(call);
            return kb::Status{true, {}};
        };
        env.upload = [](const kb::racftp&, const std::string&, const std::string&) {
            return kb::Status{false, "no network in this test"};
        };
    }

    // One pass over `store`'s switched-on services, its baselines kept.
    kb::ScanResult Pass(const kb::ServiceStore& store) {
        kb::ScanResult r = kb::RunScanPass(kb::TakeScanSnapshot(store), state, env);
        state.Store(r);
        return r;
    }
    void Advance(int seconds) { now += seconds * kSecond; }

    // What the passes keep of the service at `at` in `store`.
    const kb::ServiceState& Of(const kb::ServiceStore& store, int at) const {
        return state.Of(store.ServiceTable.at(static_cast<std::size_t>(at)).uid);
    }
    // The bare names of the files launched with, in order.
    std::vector<std::string> Launched() const {
        std::vector<std::string> out;
        for (const auto& call : launches) {
            const std::string& last = call.size() > 1 ? call[1] : std::string();
            out.push_back(last.substr(last.find_last_of("/\\") + 1));
        }
        return out;
    }

    std::int64_t now;
    std::map<std::string, kb::WriterState> writers;  // by the end of the path
    std::vector<std::vector<std::string>> launches;  // program, then its arguments
    kb::ScanEnvironment env;
    kb::ScanState state;
};

}  // namespace kbtest
