// Copies made by a copy rule against `cp -pR SRC/. DST/ && sync` on the same
// files, interleaved in one run: many small files, a few big ones, many
// empty ones, one 2 GB file, and 200,000 empty files. Each iteration starts
// from an empty target with nothing left to write back (a `sync` first,
// untimed), and each side's time runs until its copies are on the disk: the
// rule's copies are durable when the action returns, cp's once sync does.
// The counters give both sides' median times and their ratio; the
// benchmark's own time is the rule's mean. The files live under $KB_BENCH_DIR (default /tmp).
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/actions.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Shape {
    int files;
    std::int64_t bytes;
};

fs::path Base() {
    const char* dir = std::getenv("KB_BENCH_DIR");  // NOLINT(concurrency-mt-unsafe): one thread
    return fs::path(dir && *dir ? dir : "/tmp") / ("kb-copy-bench-" + std::to_string(getpid()));
}

// The source folder of a shape, made once and removed at exit.
const fs::path& Source(const Shape& s) {
    static std::vector<std::pair<std::string, fs::path>> made;
    const std::string key = std::to_string(s.files) + "x" + std::to_string(s.bytes);
    for (const auto& [k, p] : made)
        if (k == key) return p;
    const fs::path dir = Base() / ("src-" + key);
    fs::create_directories(dir);
    std::vector<char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + 7);
    for (int i = 0; i < s.files; ++i) {
        std::ofstream out(dir / ("f" + std::to_string(i) + ".bin"), std::ios::binary);
        for (std::int64_t left = s.bytes; left > 0;) {
            const auto n = static_cast<std::streamsize>(
                std::min<std::int64_t>(left, static_cast<std::int64_t>(block.size())));
            out.write(block.data(), n);
            left -= n;
        }
    }
    made.emplace_back(key, dir);
    return made.back().second;
}

struct Cleanup {
    ~Cleanup() {
        std::error_code ec;
        fs::remove_all(Base(), ec);
    }
} cleanup;

void Run(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) std::abort();
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
}

// An empty target folder with nothing of earlier runs left to write back.
fs::path FreshTarget() {
    const fs::path dst = Base() / "dst";
    std::error_code ec;
    fs::remove_all(dst, ec);
    fs::create_directories(dst);
    Run({"sync"});
    return dst;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double RuleCopy(const fs::path& src, const std::vector<std::string>& names) {
    const fs::path dst = FreshTarget();
    kb::RuleRec rule;
    rule.rulename = "copy";
    rule.enabled = true;
    kb::ruleactionrec copy;
    copy.raction = kb::actCopy;
    copy.copy.filepath = dst.string();
    rule.actions.push_back(copy);
    std::vector<kb::ActionFile> files;
    for (const std::string& n : names) files.push_back(kb::ActionFile{n, 0, 0});
    kb::ScanEnvironment env;
    std::vector<kb::ActionOutcome> out;
    const auto start = std::chrono::steady_clock::now();
    kb::PerformActions(rule, files, kb::ActionSite{src.string(), "bench", 1}, env, out);
    const double s = Seconds(start);
    for (const kb::ActionOutcome& o : out)
        if (!o.ok) std::abort();
    return s;
}

double CpAndSync(const fs::path& src) {
    const fs::path dst = FreshTarget();
    const auto start = std::chrono::steady_clock::now();
    // "SRC/." copies what the folder holds: no glob to outgrow the argument list.
    Run({"/bin/sh", "-c", "cp -pR \"$0\"/. \"$1\"/ && sync", src.string(), dst.string()});
    return Seconds(start);
}

void BM_CopyAgainstCp(benchmark::State& state) {
    const Shape shape{static_cast<int>(state.range(0)), state.range(1)};
    const fs::path& src = Source(shape);
    std::vector<std::string> names;
    for (int i = 0; i < shape.files; ++i) names.push_back("f" + std::to_string(i) + ".bin");
    std::vector<double> rule, cp;
    bool ruleFirst = true;  // the two take turns going first
    for (auto _ : state) {
        if (ruleFirst) {
            rule.push_back(RuleCopy(src, names));
            cp.push_back(CpAndSync(src));
        } else {
            cp.push_back(CpAndSync(src));
            rule.push_back(RuleCopy(src, names));
        }
        ruleFirst = !ruleFirst;
        state.SetIterationTime(rule.back());
    }
    // Medians: the disk of a shared machine has slow moments of its own.
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    };
    state.counters["rule_s"] = median(rule);
    state.counters["cp_sync_s"] = median(cp);
    state.counters["ratio"] = median(rule) / median(cp);
}

}  // namespace

BENCHMARK(BM_CopyAgainstCp)
    ->ArgNames({"files", "bytes"})
    ->Args({2000, 4096})
    ->Args({20, 50 << 20})
    ->Args({20000, 0})
    ->Args({1, 2LL << 30})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(8);
BENCHMARK(BM_CopyAgainstCp)
    ->ArgNames({"files", "bytes"})
    ->Args({200000, 0})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

BENCHMARK_MAIN();
