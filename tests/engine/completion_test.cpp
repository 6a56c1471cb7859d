// The completion gate: which files the rules may act on, on real folders with
// a clock and a writer probe the tests control.
#include "engine/completion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "engine/dryrun.h"
#include "enginetest_util.h"
#include "fakescan.h"
#include "platform/fileops.h"
#include "platform/localtime.h"

namespace {

using kbtest::AddService;
using kbtest::CopyTo;
using kbtest::Exists;
using kbtest::ExtIs;
using kbtest::LaunchOf;
using kbtest::ReadFile;
using kbtest::Rule;
using kbtest::TempDir;
using kbtest::WriteFile;
using Names = std::vector<std::string>;

constexpr std::int64_t kSecond = 1'000'000'000;
constexpr std::int64_t kStart = 1'800'000'000;  // the tests' "now", in seconds

// A pass environment with the gate on, a clock the test moves, a writer
// probe that reports the files the test names as open, and the system's own
// holes and open files.
struct GatedEnv : kbtest::FakeScan {
    Names launched;
    GatedEnv() : FakeScan(Settings{true, 10, kStart * kSecond}) {
        env.now = [] { return 46000.5; };
        env.holes = {};
        env.openForWriting = {};
        env.launch = [this](const std::string&, const std::vector<std::string>& args) {
            launched.push_back(args.empty() ? "" : args[0]);
            return kb::Status{true, {}};
        };
    }
};

// A file whose modification time is `secondsAgo` before the tests' clock.
void Put(const std::string& path, const std::string& content, const GatedEnv& g, int secondsAgo) {
    WriteFile(path, content);
    kbtest::SetMtime(path, g.now / kSecond - secondsAgo);
}

std::vector<std::string> BaseNames(const Names& paths) {
    Names out;
    for (const auto& p : paths) out.push_back(p.substr(p.find_last_of("/\\") + 1));
    std::sort(out.begin(), out.end());
    return out;
}

TEST(MatchBaseline, AgreesWithANameLookupWhateverHappenedBetweenPasses) {
    std::mt19937 rng(7);
    auto records = [](const Names& names) {
        std::vector<kb::filerec> v;
        for (const auto& n : names) v.push_back(kb::filerec{n, 0, 0.0, 0});
        return v;
    };
    for (int round = 0; round < 300; ++round) {
        Names before;
        const int n = static_cast<int>(rng() % 40);
        for (int i = 0; i < n; ++i) before.push_back("f" + std::to_string(rng() % 60));
        std::sort(before.begin(), before.end());
        before.erase(std::unique(before.begin(), before.end()), before.end());
        std::shuffle(before.begin(), before.end(), rng);
        // The next listing: mostly the same order, with removals, additions
        // (at the end, the front or anywhere), and now and then a new order.
        Names after;
        for (const auto& name : before)
            if (rng() % 5) after.push_back(name);
        for (int k = static_cast<int>(rng() % 4); k > 0; --k) {
            const std::string fresh = "g" + std::to_string(rng() % 100);
            if (std::find(after.begin(), after.end(), fresh) != after.end()) continue;
            const std::size_t at = rng() % 3 == 0 ? after.size() : rng() % (after.size() + 1);
            after.insert(after.begin() + static_cast<std::ptrdiff_t>(at), fresh);
        }
        if (rng() % 6 == 0) std::shuffle(after.begin(), after.end(), rng);

        const auto match = kb::MatchBaseline(records(after), records(before));
        ASSERT_EQ(match.size(), after.size());
        for (std::size_t i = 0; i < after.size(); ++i) {
            const auto it = std::find(before.begin(), before.end(), after[i]);
            const std::int32_t want =
                it == before.end() ? -1 : static_cast<std::int32_t>(it - before.begin());
            ASSERT_EQ(match[i], want) << "round " << round << ", " << after[i];
        }
    }
}

TEST(CompletionGate, ANewFileWaitsUntilItHasSettledThenIsActedOnWithoutAGrownCount) {
    TempDir shared;
    kb::ServiceStore store;
    const int at =
        AddService(store, shared.str(), "", {Rule(kb::trgNewFile, {LaunchOf("player", "mfile")})});
    GatedEnv g;
    g.Pass(store);  // the baseline: an empty folder

    Put(shared / "song.mp3", "part", g, 0);
    g.Advance(5);
    EXPECT_TRUE(g.Pass(store).outcomes.empty());  // new: it cannot have settled yet
    EXPECT_EQ(g.Of(store, at).pending, Names{"song.mp3"});

    g.Advance(4);  // unchanged, but written only 9 seconds ago
    EXPECT_TRUE(g.Pass(store).outcomes.empty());
    // It grew: a download still in progress.
    Put(shared / "song.mp3", "part and more", g, 0);
    g.Advance(5);
    EXPECT_TRUE(g.Pass(store).outcomes.empty());

    // Unchanged for ten seconds: acted on, though the count has not grown
    // since the pass that found it.
    g.Advance(10);
    const auto r = g.Pass(store);
    ASSERT_EQ(r.outcomes.size(), 1u);
    EXPECT_EQ(r.outcomes[0].file, "song.mp3");
    EXPECT_EQ(BaseNames(g.launched), Names{"song.mp3"});
    EXPECT_TRUE(g.Of(store, at).pending.empty());
    // Once only.
    g.Advance(10);
    EXPECT_TRUE(g.Pass(store).outcomes.empty());
}

TEST(CompletionGate, AFileStillOpenForWritingWaitsAndAnUnknownAnswerFallsBackOnTime) {
    TempDir shared;
    kb::ServiceStore store;
    AddService(store, shared.str(), "", {Rule(kb::trgNewFile, {LaunchOf("player", "mfile")})});
    GatedEnv g;
    g.Pass(store);
    // A stalled download: old, unchanged, but its client still holds it open.
    Put(shared / "stalled.bin", "x", g, 3600);
    // Another user's file on a network share: the system cannot tell.
    Put(shared / "remote.bin", "y", g, 3600);
    g.writers["stalled.bin"] = kb::WriterState::Open;
    g.writers["remote.bin"] = kb::WriterState::Unknown;
    g.Pass(store);
    g.Advance(5);
    g.Pass(store);
    EXPECT_EQ(BaseNames(g.launched), Names{"remote.bin"});

    g.writers.erase("stalled.bin");  // the client closed it
    g.Advance(5);
    g.Pass(store);
    EXPECT_EQ(BaseNames(g.launched), (Names{"remote.bin", "stalled.bin"}));
}

TEST(CompletionGate, CountTriggersCountEveryFileButActOnlyOnSettledOnes) {
    TempDir shared;
    kb::ServiceStore store;
    kb::RuleRec rule = Rule(kb::trgFileCount, {LaunchOf("p", "mfile")});
    rule.fcnt = 1;
    AddService(store, shared.str(), "", {rule});
    GatedEnv g;
    Put(shared / "done.avi", "d", g, 600);
    Put(shared / "loading.avi", "l", g, 0);
    // No baseline yet: nothing has been seen unchanged, so nothing is acted on.
    g.Pass(store);
    EXPECT_TRUE(g.launched.empty());
    g.Advance(5);
    // Two files make the count exceed one, though only one has settled.
    g.Pass(store);
    EXPECT_EQ(BaseNames(g.launched), Names{"done.avi"});
    g.Advance(5);
    g.launched.clear();
    g.Pass(store);
    EXPECT_EQ(BaseNames(g.launched), (Names{"done.avi", "loading.avi"}));
}

TEST(CompletionGate, NewestAndOldestRankOnlyTheSettledFiles) {
    TempDir shared;
    kb::ServiceStore store;
    kb::ruleacondrec newest;
    newest.rcond = kb::condNewest;
    newest.newestcnt = 1;
    kb::RuleRec rule = Rule(kb::trgFileCount, {LaunchOf("p", "mfile")}, {newest});
    rule.fcnt = 0;
    AddService(store, shared.str(), "", {rule});
    GatedEnv g;
    Put(shared / "older.mp3", "o", g, 3 * 86400);
    Put(shared / "newer.mp3", "n", g, 2 * 86400);
    Put(shared / "newest.mp3", "w", g, 86400);
    g.writers["newest.mp3"] = kb::WriterState::Open;
    g.Pass(store);
    g.Advance(5);
    g.Pass(store);
    // The newest file is still being written; the newest finished one is chosen.
    EXPECT_EQ(BaseNames(g.launched), Names{"newer.mp3"});
}

TEST(CompletionGate, APendingFileLeavesTheSetWhenGoneOrOnceItsRuleHasSeenIt) {
    TempDir shared;
    kb::ServiceStore store;
    const int at = AddService(store, shared.str(), "",
                              {Rule(kb::trgNewFile, {LaunchOf("p", "mfile")}, {ExtIs("mp3")})});
    GatedEnv g;
    g.Pass(store);
    Put(shared / "gone.mp3", "g", g, 0);
    Put(shared / "clip.avi", "c", g, 0);
    g.Advance(5);
    g.Pass(store);
    Names pending = g.Of(store, at).pending;
    std::sort(pending.begin(), pending.end());
    EXPECT_EQ(pending, (Names{"clip.avi", "gone.mp3"}));
    std::filesystem::remove(shared / "gone.mp3");
    g.Advance(20);
    g.Pass(store);
    // The avi settled and its rule's condition turned it down: like any new
    // file, it is judged once, not again at every pass.
    EXPECT_TRUE(g.launched.empty());
    EXPECT_TRUE(g.Of(store, at).pending.empty());
}

TEST(CompletionGate, AFileThatChangesWhileItIsCopiedIsKeptAndTriedAgain) {
    TempDir shared, backup;
    kb::ServiceStore store;
    const int at =
        AddService(store, shared.str(), "", {Rule(kb::trgNewFile, {CopyTo(backup.str())})});
    GatedEnv g;
    g.Pass(store);
    Put(shared / "album.zip", "first part", g, 0);
    g.Advance(5);
    g.Pass(store);
    g.Advance(10);
    // The client appends in the middle of the copy.
    int calls = 0;
    kb::SetCopyCheckHookForTests([&](const std::string& src) {
        if (calls++ == 0) std::ofstream(src, std::ios::app) << " and the rest";
    });
    auto r = g.Pass(store);
    kb::SetCopyCheckHookForTests({});
    ASSERT_EQ(r.outcomes.size(), 1u);
    EXPECT_FALSE(r.outcomes[0].ok);
    EXPECT_TRUE(r.outcomes[0].sourceChanged);
    EXPECT_EQ(r.outcomes[0].error, "source changed while it was copied");
    EXPECT_FALSE(Exists(backup / "album.zip"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(backup.str()), {}), 0);
    EXPECT_EQ(g.Of(store, at).pending, Names{"album.zip"});

    // It settles again and is copied whole.
    kbtest::SetMtime(shared / "album.zip", g.now / kSecond);
    g.Advance(5);
    g.Pass(store);
    g.Advance(10);
    r = g.Pass(store);
    ASSERT_EQ(r.outcomes.size(), 1u);
    EXPECT_TRUE(r.outcomes[0].ok) << r.outcomes[0].error;
    EXPECT_EQ(ReadFile(backup / "album.zip"), "first part and the rest");
    EXPECT_TRUE(g.Of(store, at).pending.empty());
}

TEST(CompletionGate, AFileDatedFarInTheFutureIsNotTakenForAWriteInProgress) {
    TempDir shared;
    kb::ServiceStore store;
    AddService(store, shared.str(), "", {Rule(kb::trgNewFile, {LaunchOf("p", "mfile")})});
    GatedEnv g;
    g.Pass(store);
    Put(shared / "unpacked.txt", "u", g, -86400);  // dated tomorrow
    Put(shared / "skewed.txt", "s", g, -3);        // a writer's clock a little ahead
    g.Advance(5);
    g.Pass(store);
    g.Advance(5);
    g.Pass(store);
    EXPECT_EQ(BaseNames(g.launched), Names{"unpacked.txt"});
}

TEST(CompletionGate, SwitchedOffTheRulesActInThePassThatFirstListsAFile) {
    TempDir shared, backup;
    for (const bool gated : {false, true}) {
        SCOPED_TRACE(gated ? "gate on" : "gate off");
        kb::ServiceStore store;
        AddService(store, shared.str(), "", {Rule(kb::trgNewFile, {CopyTo(backup.str())})});
        GatedEnv g;
        g.env.gate.enabled = gated;
        g.Pass(store);
        Put(shared / "partial.bin", "first chunk", g, 0);
        const auto r = g.Pass(store);
        // Off, a download in progress is copied as it stands, as before the
        // gate existed; on, it is left alone.
        EXPECT_EQ(r.outcomes.size(), gated ? 0u : 1u);
        EXPECT_EQ(Exists(backup / "partial.bin"), !gated);
        std::filesystem::remove(shared / "partial.bin");
        std::filesystem::remove(backup / "partial.bin");
    }
}

}  // namespace

namespace {

// What the gate asks besides the lease, answered as the tests say: no holes
// and no visible writer unless a test names one.
void QuietSystem(GatedEnv& g) {
    g.env.holes = [](const std::string&) { return kb::Holes::None; };
    g.env.openForWriting = [] { return std::vector<kb::FileId>{}; };
}

TEST(CompletionGate, ANameThatAppearsWithoutTheCountGrowingIsNewOnceItSettles) {
    TempDir shared;
    for (const bool gated : {true, false}) {
        SCOPED_TRACE(gated ? "gate on" : "gate off");
        kb::ServiceStore store;
        AddService(store, shared.str(), "", {Rule(kb::trgNewFile, {LaunchOf("p", "mfile")})});
        GatedEnv g;
        QuietSystem(g);
        g.env.gate.enabled = gated;
        g.Pass(store);
        Put(shared / "film.mkv.part", "partial", g, 0);
        g.Advance(5);
        g.Pass(store);
        g.Advance(30);
        g.Pass(store);
        // Renamed when done: one file before, one after.
        std::filesystem::rename(shared / "film.mkv.part", shared / "film.mkv");
        g.Advance(5);
        g.Pass(store);
        g.Advance(10);
        g.Pass(store);
        if (gated) {
            // The partial name was never acted on; the finished file was, once.
            EXPECT_EQ(BaseNames(g.launched), Names{"film.mkv"});
        } else {
            // Switched off, a file is new only when the count grew.
            EXPECT_EQ(BaseNames(g.launched), Names{"film.mkv.part"});
        }
        std::filesystem::remove(shared / "film.mkv");
    }
}

TEST(CompletionGate, AFileThatChangesAfterItWasActedOnArrivesAgainAndItsCopyIsReplaced) {
    TempDir shared, backup;
    kb::ServiceStore store;
    AddService(store, shared.str(), "", {Rule(kb::trgNewFile, {CopyTo(backup.str())})});
    GatedEnv g;
    QuietSystem(g);
    g.Pass(store);
    // A transfer that gave up: closed, quiet, and not whole.
    Put(shared / "report.pdf", "the first half", g, 0);
    g.Advance(5);
    g.Pass(store);
    g.Advance(10);
    g.Pass(store);
    ASSERT_EQ(ReadFile(backup / "report.pdf"), "the first half");
    g.Advance(60);
    EXPECT_TRUE(g.Pass(store).outcomes.empty());
    // Resumed and finished: it arrives again once settled.
    Put(shared / "report.pdf", "the first half and the second", g, 0);
    g.Advance(5);
    EXPECT_TRUE(g.Pass(store).outcomes.empty());
    g.Advance(10);
    const auto r = g.Pass(store);
    ASSERT_EQ(r.outcomes.size(), 1u);
    EXPECT_TRUE(r.outcomes[0].ok) << r.outcomes[0].error;
    EXPECT_EQ(ReadFile(backup / "report.pdf"), "the first half and the second");
}

TEST(CompletionGate, PartialNamesAndControlFilesKeepADownloadWaiting) {
    TempDir shared;
    kb::ServiceStore store;
    kb::RuleRec rule = Rule(kb::trgFileCount, {LaunchOf("p", "mfile")});
    rule.fcnt = 0;
    // The user keeps aria2's control files out of the rules' sight.
    AddService(store, shared.str(), "*.aria2", {rule});
    GatedEnv g;
    QuietSystem(g);
    for (const char* name :
         {"show.MKV.PART", "iso.img", "iso.img.aria2", "disk.img", "disk.img.aria2", "page.html",
          "page.html.crdownload", "001.part.met", "done.ogg", "plain.part.txt"})
        Put(shared / name, "x", g, 3600);
    g.Pass(store);
    g.Advance(5);
    g.Pass(store);
    // The endings count in any letter case, a control file keeps its
    // download waiting whether listed or masked, and ".part" inside a name
    // is no ending.
    EXPECT_EQ(BaseNames(g.launched), (Names{"done.ogg", "plain.part.txt"}));

    std::filesystem::remove(shared / "disk.img.aria2");
    g.launched.clear();
    g.Advance(5);
    g.Pass(store);
    EXPECT_EQ(BaseNames(g.launched), (Names{"disk.img", "done.ogg", "plain.part.txt"}));

    // An empty list of endings leaves the names to the other tests.
    g.env.gate.partialSuffixes.clear();
    g.launched.clear();
    g.Advance(5);
    g.Pass(store);
    EXPECT_EQ(g.launched.size(), 8u);
}

TEST(CompletionGate, EndingsAreReadFromTheSettingAndTheLongestThatFitsCounts) {
    EXPECT_EQ(kb::ParsePartialSuffixes(" .part ;;.part.met; .!qB"),
              (Names{".part", ".part.met", ".!qB"}));
    EXPECT_EQ(kb::JoinPartialSuffixes({".a", ".b"}), ".a;.b");
    const Names defaults = kb::DefaultPartialSuffixes();
    EXPECT_EQ(kb::PartialSuffixOf("x.part.met", defaults), ".part.met");
    EXPECT_EQ(kb::PartialSuffixOf("Movie.!QB", defaults), ".!qB");
    EXPECT_EQ(kb::PartialSuffixOf(".part", defaults), "");  // a name is more than its ending
    for (const char* s : {".part", ".!qB", ".crdownload", ".download", ".partial", ".aria2"})
        EXPECT_NE(std::find(defaults.begin(), defaults.end(), s), defaults.end()) << s;
}

#ifndef _WIN32
TEST(CompletionGate, ChangeNotificationTellsOfWritersTheSystemWillNotName) {
    TempDir shared;
    kb::ServiceStore store;
    kb::RuleRec rule = Rule(kb::trgFileCount, {LaunchOf("p", "mfile")});
    rule.fcnt = 0;
    AddService(store, shared.str(), "", {rule});
    GatedEnv g;
    QuietSystem(g);
    g.env.keeper = std::make_shared<kb::ListingKeeper>();
    // Another user's files: the lease is refused for every one. The files
    // keep the times their writes gave them (setting a time alone is
    // reported as a write), so the clock is the real one.
    g.env.writers = [](const std::string&) { return kb::WriterState::Unknown; };
    g.now = kb::WallClockNs();
    Put(shared / "old.iso", "o", g, 7200);  // there before the folder was watched
    g.Pass(store);

    // A download that stalls: written, then held open without a write.
    const std::string stalled = shared / "stalled.bin";
    std::ofstream writer(stalled, std::ios::binary);
    writer << "some data" << std::flush;
    // One finished the way clients finish: closed, then renamed.
    { std::ofstream(shared / "done.bin.part") << "all of it"; }
    std::filesystem::rename(shared / "done.bin.part", shared / "done.bin");
    // One written where nobody watched, then moved in.
    TempDir elsewhere;
    WriteFile(elsewhere / "unseen.bin", "u");
    std::filesystem::rename(elsewhere / "unseen.bin", shared / "unseen.bin");

    g.Advance(5);
    g.Pass(store);
    EXPECT_EQ(BaseNames(g.launched), Names{"old.iso"});
    g.launched.clear();
    g.Advance(10);
    g.Pass(store);
    // Closed after its last write: the settle time is enough.
    EXPECT_EQ(BaseNames(g.launched), (Names{"done.bin", "old.iso"}));

    // Half an hour of a stalled transfer: still open, still waiting; the
    // one nothing is known of waited its long quiet time.
    g.launched.clear();
    g.Advance(1800);
    g.Pass(store);
    EXPECT_EQ(BaseNames(g.launched), (Names{"done.bin", "old.iso", "unseen.bin"}));

    writer.close();  // the client gives up
    g.launched.clear();
    g.Advance(5);
    g.Pass(store);
    EXPECT_EQ(BaseNames(g.launched), (Names{"done.bin", "old.iso", "stalled.bin", "unseen.bin"}));
}

TEST(CompletionGate, AVisibleProcessHoldingAFileForWritingKeepsItWaiting) {
    TempDir shared;
    kb::ServiceStore store;
    kb::RuleRec rule = Rule(kb::trgFileCount, {LaunchOf("p", "mfile")});
    rule.fcnt = 0;
    AddService(store, shared.str(), "", {rule});
    GatedEnv g;
    g.env.holes = [](const std::string&) { return kb::Holes::None; };
    g.env.writers = [](const std::string&) { return kb::WriterState::Unknown; };
    Put(shared / "held.bin", "h", g, 3600);
    Put(shared / "free.bin", "f", g, 3600);
    // Opened for writing by this process (which /proc shows), for reading only.
    std::ofstream held(shared / "held.bin", std::ios::app);
    std::ifstream reader(shared / "free.bin");
    g.Pass(store);
    g.Advance(5);
    g.Pass(store);
    EXPECT_EQ(BaseNames(g.launched), Names{"free.bin"});
    held.close();
    g.launched.clear();
    g.Advance(5);
    g.Pass(store);
    EXPECT_EQ(BaseNames(g.launched), (Names{"free.bin", "held.bin"}));
}

TEST(CompletionGate, AFileWithPartsNeverWrittenWaits) {
    TempDir shared;
    const std::string probe = shared / "probe";
    kbtest::MakeSparse(probe, 1 << 22);
    { std::ofstream(probe, std::ios::in | std::ios::out | std::ios::ate) << "end"; }
    if (kb::FindHoles(probe) != kb::Holes::Some) GTEST_SKIP() << "this file system keeps no holes";
    std::filesystem::remove(probe);

    kb::ServiceStore store;
    kb::RuleRec rule = Rule(kb::trgFileCount, {LaunchOf("p", "mfile")});
    rule.fcnt = 0;
    AddService(store, shared.str(), "", {rule});
    GatedEnv g;
    g.env.openForWriting = [] { return std::vector<kb::FileId>{}; };
    // A torrent's file, paused: full size, closed, quiet, pieces missing.
    const std::string paused = shared / "paused.iso";
    kbtest::MakeSparse(paused, 1 << 22);
    {
        std::fstream f(paused, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp((1 << 22) - 4);
        f << "tail";
    }
    kbtest::SetMtime(paused, g.now / kSecond - 3600);
    g.Pass(store);
    g.Advance(5);
    g.Pass(store);
    EXPECT_TRUE(g.launched.empty());
    // Every piece written.
    { std::ofstream(paused, std::ios::binary | std::ios::trunc) << std::string(1 << 22, 'd'); }
    kbtest::SetMtime(paused, g.now / kSecond - 3600);
    g.Advance(5);
    g.Pass(store);
    g.Advance(5);
    g.Pass(store);
    EXPECT_EQ(BaseNames(g.launched), Names{"paused.iso"});
}
#endif

TEST(CompletionGate, ThePreviewSaysWhyEachFileWaits) {
    TempDir shared;
    kb::ServiceStore store;
    kb::RuleRec rule = Rule(kb::trgFileCount, {LaunchOf("p", "mfile")});
    rule.fcnt = 0;
    const int at = AddService(store, shared.str(), "", {rule});
    GatedEnv g;
    QuietSystem(g);
    Put(shared / "a.part", "x", g, 3600);
    Put(shared / "b.img", "x", g, 3600);
    Put(shared / "b.img.aria2", "x", g, 3600);
    Put(shared / "c.avi", "x", g, 3);
    Put(shared / "d.avi", "x", g, 3600);
    Put(shared / "e.avi", "x", g, 60);
    Put(shared / "f.avi", "x", g, 3600);
    g.writers["d.avi"] = kb::WriterState::Open;
    g.writers["e.avi"] = kb::WriterState::Unknown;
    g.env.holes = [](const std::string& path) {
        return path.find("f.avi") != std::string::npos ? kb::Holes::Some : kb::Holes::None;
    };
    const kb::RulePreview p = kb::PreviewRule(store.ServiceTable[at], rule, g.env);
    std::map<std::string, std::string> why;
    for (const auto& f : p.files) why[f.name] = f.waiting ? f.why : "ready";
    EXPECT_EQ(why["a.part"], "named as a download in progress (.part)");
    EXPECT_EQ(why["b.img"], "its client's file b.img.aria2 is beside it");
    EXPECT_EQ(why["c.avi"], "written less than 10 seconds ago");
    EXPECT_EQ(why["d.avi"], "still open for writing");
    EXPECT_EQ(why["e.avi"],
              "no way to tell whether a program still writes it: waits until it has not changed "
              "for 10 minutes");
    EXPECT_EQ(why["f.avi"], "parts of it were never written");
}

}  // namespace
