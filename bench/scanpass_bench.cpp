// Cost of one scan pass against the floor set by the file system: listing the
// same folder with opendir/readdir and one fstatat per entry. The pass with
// listings kept from change notification over an unchanged folder, after
// 100 changes, and when the folder must be listed in full. Also the memory a
// pass holds beyond its listing, and the mask matcher on a mask that makes
// naive backtracking explode.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <new>
#include <string>

#include "engine/listingkeeper.h"
#include "engine/matchmask.h"
#include "engine/scanpass.h"
#include "platform/writers.h"

// Allocation accounting for the memory figures: bytes live now and the peak.
namespace {
std::atomic<long long> g_live{0};
std::atomic<long long> g_peak{0};

void Track(long long delta) {
    const long long now = g_live.fetch_add(delta, std::memory_order_relaxed) + delta;
    long long peak = g_peak.load(std::memory_order_relaxed);
    while (now > peak && !g_peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
}
}  // namespace

void* operator new(std::size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    Track(static_cast<long long>(malloc_usable_size(p)));
    return p;
}
void operator delete(void* p) noexcept {
    if (!p) return;
    Track(-static_cast<long long>(malloc_usable_size(p)));
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

// A folder of `n` downloads (some of them excluded by the masks), made once
// per size and removed at exit.
const std::string& Folder(int n) {
    static std::map<int, std::string> made;
    static struct Cleanup {
        ~Cleanup() {
            for (auto& [_, dir] : made) {
                std::error_code ec;
                std::filesystem::remove_all(dir, ec);
            }
        }
    } cleanup;
    auto it = made.find(n);
    if (it != made.end()) return it->second;
    std::string dir = "/tmp/kbbench-" + std::to_string(n) + "-XXXXXX";
    if (!mkdtemp(dir.data())) std::abort();
    static const char* ext[] = {".mp3", ".avi", ".txt", ".mp3", ".dat", ".ogg", ".mp3", ".jpg"};
    for (int i = 0; i < n; ++i) {
        const std::string name =
            (i % 97 == 0 ? "kazaa " : "Some Artist - Track ") + std::to_string(i) + ext[i % 8];
        const int fd = ::open((dir + "/" + name).c_str(), O_WRONLY | O_CREAT, 0644);
        if (fd < 0) std::abort();
        ::close(fd);
    }
    return made.emplace(n, dir).first->second;
}

long BareListing(const std::string& dir) {
    DIR* d = opendir(dir.c_str());
    long entries = 0;
    struct stat st;
    while (const dirent* e = readdir(d)) {
        if (fstatat(dirfd(d), e->d_name, &st, 0) == 0) ++entries;
    }
    closedir(d);
    return entries;
}

// One enabled service on the folder: two masks, one new-file rule with an
// extension condition. The baseline lacks the last 1% of the files, so the
// trigger fires and every name is looked up in it.
// The service as the pass sees it, and what the passes keep of it between
// passes: a baseline that lacks 1% of the folder.
struct Scene {
    std::vector<kb::rServiceRules> snapshot;
    kb::ScanState state;
    const kb::SharedListing& Baseline() const { return state.Of(1).baseline; }
    void SetBaseline(kb::SharedListing files) {
        kb::ServiceState& s = state.For(1);
        s.scanned = true;
        s.baseline = std::move(files);
    }
};

Scene Snapshot(const std::string& dir) {
    kb::rServiceRules svc;
    svc.uid = 1;
    svc.enabled = true;
    svc.sharedir = dir;
    svc.excludefiles = "kazaa*;*.dat";
    kb::RuleRec rule;
    rule.rulename = "new mp3";
    rule.enabled = true;
    rule.mcond = kb::trgNewFile;
    kb::ruleacondrec cond;
    cond.rcond = kb::condExtension;
    cond.fileext.ext = "mp3";
    rule.conds = {cond};
    kb::ruleactionrec launch;
    launch.raction = kb::actLaunch;
    launch.launch.fprogram = "player";
    launch.launch.fparams = "mfile";
    rule.actions = {launch};
    svc.rulelist.rules = {rule};

    std::vector<kb::filerec> full =
        kb::RunScanPass({svc}, kb::ScanState{}, kb::ScanEnvironment{}).baselines.at(0).files.get();
    full.resize(full.size() - full.size() / 100);
    Scene scene{{svc}, {}};
    scene.SetBaseline(kb::SharedListing(std::move(full)));
    return scene;
}

kb::ScanEnvironment QuietEnvironment() {
    kb::ScanEnvironment env;
    env.gate.enabled = false;  // the pass as it was before the completion gate
    env.now = [] { return 46000.0; };
    env.launch = [](const std::string&, const std::vector<std::string>&) {
        return kb::Status{true, {}};
    };
    return env;
}

long long ListingBytes(const std::vector<kb::filerec>& files) {
    long long bytes = static_cast<long long>(files.capacity() * sizeof(kb::filerec));
    for (const auto& f : files) {
        if (f.name.capacity() > 15) bytes += static_cast<long long>(f.name.capacity() + 1);
    }
    return bytes;
}

void BM_BareListing(benchmark::State& state) {
    const std::string& dir = Folder(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(BareListing(dir));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ScanPass(benchmark::State& state) {
    const std::string& dir = Folder(static_cast<int>(state.range(0)));
    const Scene scene = Snapshot(dir);
    const auto env = QuietEnvironment();
    for (auto _ : state)
        benchmark::DoNotOptimize(kb::RunScanPass(scene.snapshot, scene.state, env));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

double CpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Both, interleaved in one run, so the ratio is not skewed by drift between
// separate runs. The CPU-time ratio (user + system) is the steadier figure on
// a shared machine; the wall-clock one is reported beside it. Also the peak
// memory a pass holds beyond the listing it returns.
void BM_PassOverBareRatio(benchmark::State& state) {
    const std::string& dir = Folder(static_cast<int>(state.range(0)));
    const Scene scene = Snapshot(dir);
    const auto env = QuietEnvironment();
    using clock = std::chrono::steady_clock;
    clock::duration bareWall{}, passWall{};
    double bareCpu = 0, passCpu = 0;
    long long beyond = 0;
    for (auto _ : state) {
        const double c0 = CpuSeconds();
        const auto t0 = clock::now();
        benchmark::DoNotOptimize(BareListing(dir));
        const auto t1 = clock::now();
        const double c1 = CpuSeconds();
        const long long before = g_live.load();
        g_peak.store(before);
        kb::ScanResult r = kb::RunScanPass(scene.snapshot, scene.state, env);
        const auto t2 = clock::now();
        const double c2 = CpuSeconds();
        beyond =
            std::max(beyond, g_peak.load() - before - ListingBytes(r.baselines.at(0).files.get()));
        benchmark::DoNotOptimize(r);
        bareWall += t1 - t0;
        passWall += t2 - t1;
        bareCpu += c1 - c0;
        passCpu += c2 - c1;
    }
    state.counters["ratio_cpu"] = passCpu / bareCpu;
    state.counters["ratio_wall"] = std::chrono::duration<double>(passWall).count() /
                                   std::chrono::duration<double>(bareWall).count();
    state.counters["extra_MiB"] = static_cast<double>(beyond) / (1 << 20);
}

// The same folder under a count rule: every file is a candidate at every
// pass, the extension condition keeps the mp3 files (three in eight) and a
// launch (not really started) acts on them. The baseline is the whole folder,
// so with the gate on every file has settled and each survivor of the
// condition is asked about writers.
Scene CountRuleSnapshot(const std::string& dir) {
    Scene scene = Snapshot(dir);
    kb::rServiceRules& svc = scene.snapshot[0];
    svc.rulelist.rules[0].mcond = kb::trgFileCount;
    svc.rulelist.rules[0].fcnt = 0;
    scene.SetBaseline(
        kb::RunScanPass({svc}, scene.state, QuietEnvironment()).baselines.at(0).files);
    return scene;
}

// The pass with the completion gate on against the pass with it off,
// interleaved in one run. The gate's clock is a day ahead so that every file
// counts as old enough: the dearest case, where nothing is held back early.
void GateRatio(benchmark::State& state, const Scene& scene) {
    kb::ScanEnvironment off = QuietEnvironment();
    kb::ScanEnvironment on = off;
    on.gate = kb::CompletionGate{true, 10};
    const std::int64_t tomorrow =
        std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::system_clock::now().time_since_epoch() + std::chrono::hours(24))
            .count();
    on.clock = [tomorrow] { return tomorrow; };
    on.writers = kb::ProbeWriters;
    double offCpu = 0, onCpu = 0;
    for (auto _ : state) {
        const double c0 = CpuSeconds();
        benchmark::DoNotOptimize(kb::RunScanPass(scene.snapshot, scene.state, off));
        const double c1 = CpuSeconds();
        benchmark::DoNotOptimize(kb::RunScanPass(scene.snapshot, scene.state, on));
        const double c2 = CpuSeconds();
        offCpu += c1 - c0;
        onCpu += c2 - c1;
    }
    state.counters["gate_on_over_off_cpu"] = onCpu / offCpu;
}

// The pass measured above (a new-file rule, 1% of the files new).
void BM_GateNewFileRule(benchmark::State& state) {
    GateRatio(state, Snapshot(Folder(static_cast<int>(state.range(0)))));
}

void BM_GateCountRule(benchmark::State& state) {
    GateRatio(state, CountRuleSnapshot(Folder(static_cast<int>(state.range(0)))));
}

// Kept listings. The pass and the bare listing are timed in turn in every
// iteration, as above; between iterations the baseline becomes what the pass
// returned, as it does in the program.
struct KeptRun {
    Scene scene;
    kb::ScanEnvironment env;
    double bareCpu = 0, passCpu = 0;
    long long peakBeyond = 0;  // the most a pass held beyond the listing it returned

    KeptRun(const std::string& dir, std::shared_ptr<kb::ListingKeeper> keeper)
        : scene(Snapshot(dir)), env(QuietEnvironment()) {
        env.keeper = std::move(keeper);
        Pass();  // the first listing, in full
    }
    kb::ScanResult Pass() {
        kb::ScanResult r = kb::RunScanPass(scene.snapshot, scene.state, env);
        scene.SetBaseline(r.baselines.at(0).files);
        return r;
    }
    void Step(const std::string& dir) {
        const double c0 = CpuSeconds();
        benchmark::DoNotOptimize(BareListing(dir));
        const double c1 = CpuSeconds();
        const long long before = g_live.load();
        g_peak.store(before);
        kb::ScanResult r = kb::RunScanPass(scene.snapshot, scene.state, env);
        const double c2 = CpuSeconds();
        const long long listing = r.baselines.at(0).files.SameAs(scene.Baseline())
                                      ? 0
                                      : ListingBytes(r.baselines.at(0).files.get());
        peakBeyond = std::max(peakBeyond, g_peak.load() - before - listing);
        scene.SetBaseline(r.baselines.at(0).files);
        bareCpu += c1 - c0;
        passCpu += c2 - c1;
    }
    void Report(benchmark::State& state) const {
        state.counters["ratio_cpu"] = passCpu / bareCpu;
        state.counters["pass_peak_extra_MiB"] = static_cast<double>(peakBeyond) / (1 << 20);
    }
};

// What the keeper holds for a folder beyond the listing, which it shares with
// the baseline: measured from before the keeper was made to after its first
// two passes.
double KeptMiB(const std::string& dir) {
    const long long before = g_live.load();
    long long held = 0;
    {
        KeptRun run(dir, std::make_shared<kb::ListingKeeper>());
        run.Pass();
        held = g_live.load() - before - ListingBytes(run.scene.Baseline().get());
    }
    return static_cast<double>(held) / (1 << 20);
}

void BM_KeptUnchanged(benchmark::State& state) {
    const std::string& dir = Folder(static_cast<int>(state.range(0)));
    const double kept = KeptMiB(dir);
    KeptRun run(dir, std::make_shared<kb::ListingKeeper>());
    for (auto _ : state) run.Step(dir);
    run.Report(state);
    state.counters["kept_extra_MiB"] = kept;
}

// 100 changes between two passes: a third of them appended to, a third
// touched, a third renamed (and back again the next time).
void BM_KeptAfter100Changes(benchmark::State& state) {
    const std::string& dir = Folder(static_cast<int>(state.range(0)));
    KeptRun run(dir, std::make_shared<kb::ListingKeeper>());
    std::vector<std::string> names;
    for (const kb::filerec& f : run.scene.Baseline().get()) names.push_back(f.name);
    std::size_t next = 0;
    bool renamed = false;
    for (auto _ : state) {
        for (int k = 0; k < 100; ++k) {
            const std::string path =
                dir + "/" + names[(next + static_cast<std::size_t>(k) * 997) % names.size()];
            if (k % 3 == 0) {
                const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
                if (fd >= 0 && ::write(fd, "x", 1) == 1) ::close(fd);
            } else if (k % 3 == 1) {
                ::utimensat(AT_FDCWD, path.c_str(), nullptr, 0);
            } else {
                const std::string moved = path + ".moved";
                if (renamed)
                    std::rename(moved.c_str(), path.c_str());
                else
                    std::rename(path.c_str(), moved.c_str());
            }
        }
        renamed = !renamed;
        if (!renamed) ++next;
        run.Step(dir);
    }
    run.Report(state);
}

// A folder the keeper must list in full at every pass (here: as if it were on
// a network file system).
void BM_KeptFallback(benchmark::State& state) {
    const std::string& dir = Folder(static_cast<int>(state.range(0)));
    kb::ListingKeeper::Options untrusted;
    untrusted.changesReported = [](const std::string&, std::string* fs) {
        if (fs) *fs = "NFS";
        return false;
    };
    KeptRun run(dir, std::make_shared<kb::ListingKeeper>(untrusted));
    for (auto _ : state) run.Step(dir);
    run.Report(state);
}

void BM_MatchMaskAdversarial(benchmark::State& state) {
    const std::string name(static_cast<size_t>(state.range(0)), 'a');
    for (auto _ : state) benchmark::DoNotOptimize(kb::MatchMask(name, "*a*a*a*a*a*a*b"));
}

void BM_MatchMaskTypical(benchmark::State& state) {
    const std::string name = "Some Artist - Track 12345.mp3";
    for (auto _ : state) {
        benchmark::DoNotOptimize(kb::MatchMask(name, "kazaa*"));
        benchmark::DoNotOptimize(kb::MatchMask(name, "*.dat"));
    }
}

}  // namespace

BENCHMARK(BM_BareListing)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanPass)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PassOverBareRatio)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GateNewFileRule)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GateCountRule)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeptUnchanged)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeptAfter100Changes)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeptFallback)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatchMaskAdversarial)->Arg(40)->Arg(255)->Arg(4000);
BENCHMARK(BM_MatchMaskTypical);

BENCHMARK_MAIN();
