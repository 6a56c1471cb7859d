#include "engine/scanpass.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>

#include "enginetest_util.h"
#include "fakescan.h"
#include "platform/localtime.h"

namespace {

using kbtest::AddService;
using kbtest::CopyTo;
using kbtest::Exists;
using kbtest::ExtIs;
using kbtest::LaunchOf;
using kbtest::MoveTo;
using kbtest::Rule;
using kbtest::TempDir;
using kbtest::WriteFile;
using Names = std::vector<std::string>;

TEST(ScanPass, WorkedExamplePassByPass) {
    TempDir shared, music;
    kb::ServiceStore store;
    const int at = AddService(store, shared.str(), "kazaa*;*.dat",
                              {Rule(kb::trgNewFile, {MoveTo(music.str())}, {ExtIs("mp3")})});
    kbtest::FakeScan fake;
    WriteFile(shared / "a.mp3", "a");
    WriteFile(shared / "b.avi", "b");
    WriteFile(shared / "kazaa.dat", "k");

    auto r = fake.Pass(store);  // first pass: baseline only
    EXPECT_TRUE(r.outcomes.empty());
    EXPECT_TRUE(fake.Of(store, at).scanned);
    EXPECT_EQ(kbtest::SortedNames(fake.Of(store, at).baseline), (Names{"a.mp3", "b.avi"}));

    WriteFile(shared / "c.mp3", "c");
    WriteFile(shared / "d.txt", "d");
    r = fake.Pass(store);
    ASSERT_EQ(r.outcomes.size(), 1u);
    EXPECT_EQ(r.outcomes[0].file, "c.mp3");
    EXPECT_EQ(r.outcomes[0].raction, kb::actMove);
    EXPECT_TRUE(r.outcomes[0].ok) << r.outcomes[0].error;
    EXPECT_EQ(r.outcomes[0].serviceUid, store.ServiceTable[at].uid);
    EXPECT_TRUE(Exists(music / "c.mp3"));
    EXPECT_FALSE(Exists(shared / "c.mp3"));
    // The baseline is the listing taken before the move.
    EXPECT_EQ(kbtest::SortedNames(fake.Of(store, at).baseline),
              (Names{"a.mp3", "b.avi", "c.mp3", "d.txt"}));

    r = fake.Pass(store);  // count fell from 4 to 3
    EXPECT_TRUE(r.outcomes.empty());
    EXPECT_EQ(static_cast<int>(fake.Of(store, at).baseline.size()), 3);

    WriteFile(shared / "e.mp3", "e");
    r = fake.Pass(store);
    ASSERT_EQ(r.outcomes.size(), 1u);
    EXPECT_EQ(r.outcomes[0].file, "e.mp3");
    EXPECT_TRUE(Exists(music / "e.mp3"));
    EXPECT_EQ(kbtest::SortedNames(fake.Of(store, at).baseline),
              (Names{"a.mp3", "b.avi", "d.txt", "e.mp3"}));
}

TEST(ScanPass, NewFileNeedsAGrownCount) {
    TempDir shared;
    kb::ServiceStore store;
    const kb::ruleactionrec launch = LaunchOf("player", "mfile");
    AddService(store, shared.str(), "", {Rule(kb::trgNewFile, {launch})});
    kbtest::FakeScan fake;
    WriteFile(shared / "one", "");
    fake.Pass(store);
    // One file replaced by another: same count, nothing new.
    std::filesystem::remove(shared / "one");
    WriteFile(shared / "two", "");
    EXPECT_TRUE(fake.Pass(store).outcomes.empty());
#ifndef _WIN32  // a file system where letter case tells names apart
    // Names compare byte for byte: "TWO" is new beside "two".
    WriteFile(shared / "TWO", "");
    fake.Pass(store);
    ASSERT_EQ(fake.launches.size(), 1u);
    EXPECT_EQ(fake.launches[0], (Names{"player", shared / "TWO"}));
#endif
}

TEST(ScanPass, FileCountTriggerNeedsMoreThanThreshold) {
    TempDir shared;
    kb::ServiceStore store;
    kb::RuleRec rule = Rule(kb::trgFileCount, {});
    rule.fcnt = 20;
    const kb::ruleactionrec launch = LaunchOf("p");
    rule.actions = {launch};
    AddService(store, shared.str(), "*.dat", {rule});
    kbtest::FakeScan fake;
    for (int i = 0; i < 20; ++i) WriteFile(shared / ("f" + std::to_string(i)), "");
    WriteFile(shared / "ignored.dat", "");  // excluded: not counted
    fake.Pass(store);
    EXPECT_TRUE(fake.launches.empty());
    WriteFile(shared / "f20", "");
    fake.Pass(store);
    EXPECT_EQ(fake.launches.size(), 1u);
    // Every pass repeats while the count stays above the threshold.
    fake.Pass(store);
    EXPECT_EQ(fake.launches.size(), 2u);
}

TEST(ScanPass, TotalSizeTriggerCountsWholeMegabytesOfItsOwnService) {
    TempDir a, b;
    kb::ServiceStore store;
    kb::RuleRec rule = Rule(kb::trgTotalSize, {});
    rule.fsize = 10;
    const kb::ruleactionrec launch = LaunchOf("p", "mfile");
    rule.actions = {launch};
    AddService(store, a.str(), "", {rule});
    AddService(store, b.str(), "", {rule});
    kbtest::FakeScan fake;
    kbtest::MakeSparse(a / "x", 10'240'000 - 1);
    kbtest::MakeSparse(a / "y", 1);  // exactly 10 MB together
    kbtest::MakeSparse(b / "z", 11'263'999);
    fake.Pass(store);
    EXPECT_TRUE(fake.launches.empty());
    kbtest::MakeSparse(b / "w", 1);  // b reaches 11 MB; a's files do not count for b
    fake.Pass(store);
    ASSERT_EQ(fake.launches.size(), 2u);
    EXPECT_EQ(kbtest::SortedNames(std::vector<kb::filerec>{{fake.launches[0][1], 0, 0},
                                                           {fake.launches[1][1], 0, 0}}),
              (Names{b / "w", b / "z"}));
}

TEST(ScanPass, ACountTriggeredCopyWritesEachFileOnce) {
    TempDir shared, backup;
    kb::ServiceStore store;
    kb::RuleRec rule = Rule(kb::trgFileCount, {CopyTo(backup.str())});
    rule.fcnt = 0;
    AddService(store, shared.str(), "", {rule});
    for (const char* n : {"a", "b", "c"}) {
        WriteFile(shared / n, n);
        kbtest::SetMtime(shared / n, 1700000000);  // whole seconds, which every system can set
    }
    kbtest::FakeScan fake;
    auto r = fake.Pass(store);
    ASSERT_EQ(r.outcomes.size(), 3u);
    for (const auto& o : r.outcomes) {
        EXPECT_TRUE(o.ok && o.note.empty()) << o.file << ": " << o.error;
        // Marked: other bytes of the same length, the date put back.
        const auto when = std::filesystem::last_write_time(backup / o.file);
        WriteFile(backup / o.file, "M");
        std::filesystem::last_write_time(backup / o.file, when);
    }
    // The trigger holds at every pass; the copies made are not made again.
    for (int pass = 0; pass < 3; ++pass) {
        r = fake.Pass(store);
        ASSERT_EQ(r.outcomes.size(), 3u);
        for (const auto& o : r.outcomes) {
            EXPECT_TRUE(o.ok);
            EXPECT_EQ(o.note, kb::kAlreadyThereNote);
            EXPECT_EQ(kbtest::ReadFile(backup / o.file), "M");
        }
    }
}

TEST(ScanPass, TotalsPastTwoGigabytesDoNotWrap) {
    TempDir shared;
    kb::ServiceStore store;
    kb::RuleRec rule = Rule(kb::trgTotalSize, {});
    rule.fsize = 4000;  // 4,096,000,000 bytes
    const kb::ruleactionrec launch = LaunchOf("p");
    rule.actions = {launch};
    AddService(store, shared.str(), "", {rule});
    kbtest::FakeScan fake;
    kbtest::MakeSparse(shared / "big1", 3'000'000'000LL);
    kbtest::MakeSparse(shared / "big2", 3'000'000'000LL);
    auto r = fake.Pass(store);
    EXPECT_EQ(fake.launches.size(), 1u);
    ASSERT_EQ(r.baselines.size(), 1u);
    EXPECT_EQ(r.baselines[0].files[0].size, 3'000'000'000LL);
}

TEST(ScanPass, EmptyOrExcludedOnlyDirectoryEvaluatesNoRuleAndEmptiesBaseline) {
    TempDir shared;
    kb::ServiceStore store;
    kb::RuleRec rule = Rule(kb::trgFileCount, {});
    rule.fcnt = -1;  // would fire on any listing
    const kb::ruleactionrec launch = LaunchOf("p");
    rule.actions = {launch};
    const int at = AddService(store, shared.str(), "kazaa*;*.dat", {rule});
    kbtest::FakeScan fake;
    fake.state.For(store.ServiceTable[at].uid).baseline = kb::SharedListing({{"old", 1, 1.0}});
    WriteFile(shared / "b.dat", "");
    WriteFile(shared / "kazaa.tmp", "");
    fake.Pass(store);
    EXPECT_TRUE(fake.launches.empty());
    EXPECT_TRUE(fake.Of(store, at).scanned);
    EXPECT_EQ(static_cast<int>(fake.Of(store, at).baseline.size()), 0);
}

TEST(ScanPass, ListingHoldsEveryKindOfEntryWithItsMetadata) {
    TempDir shared;
    kb::ServiceStore store;
    const int at = AddService(store, shared.str(), "*.dat", {});
    kbtest::MakeDir(shared / "subdir");
    WriteFile(shared / ".hidden", "12345");
    WriteFile(shared / "noext", "");
    WriteFile(shared / "a.mp3", "abc");
    WriteFile(shared / "skip.DAT", "");
    WriteFile(kb::JoinPath(shared / "subdir", "inner"),
              "");                                   // not listed: only the directory itself
    kbtest::SetMtime(shared / "a.mp3", 1700000001);  // odd second: dates keep two-second steps

    kbtest::FakeScan fake;
    fake.Pass(store);
    const auto& files = fake.Of(store, at).baseline;
    EXPECT_EQ(kbtest::SortedNames(files), (Names{".hidden", "a.mp3", "noext", "subdir"}));
    for (const auto& f : files) {
        if (f.name == "a.mp3") {
            EXPECT_EQ(f.size, 3);
            EXPECT_DOUBLE_EQ(f.date, kb::FileTimeToLocalDays(1700000000));
            EXPECT_EQ(f.mtime, 1700000001LL * 1000000000);
        }
        if (f.name == ".hidden") {
            EXPECT_EQ(f.size, 5);
        }
    }
}

#ifndef _WIN32  // symbolic links and names of 255 bytes as Linux makes them
TEST(ScanPass, ListingHoldsLinksWithTheirTargetsMetadataAndTheLongestNames) {
    TempDir shared;
    kb::ServiceStore store;
    const int at = AddService(store, shared.str(), "", {});
    WriteFile(shared / "a.mp3", "abc");
    std::filesystem::create_symlink(shared / "a.mp3", shared / "link.mp3");
    std::filesystem::create_symlink(shared / "missing", shared / "dangling");
    const std::string longName(255, 'n');  // the longest name Linux allows
    WriteFile(shared / longName, "");
    kbtest::SetMtime(shared / "a.mp3", 1700000001);

    kbtest::FakeScan fake;
    fake.Pass(store);
    const auto& files = fake.Of(store, at).baseline;
    EXPECT_EQ(kbtest::SortedNames(files), (Names{"a.mp3", "dangling", "link.mp3", longName}));
    for (const auto& f : files) {
        if (f.name == "link.mp3") {
            EXPECT_EQ(f.size, 3);
            EXPECT_DOUBLE_EQ(f.date, kb::FileTimeToLocalDays(1700000000));
        }
    }
}
#endif

TEST(ScanPass, MissingDirectoryGivesEmptyListingAndNewFilesLater) {
    TempDir parent;
    const std::string dir = parent / "share";
    kb::ServiceStore store;
    const kb::ruleactionrec launch = LaunchOf("p", "mfile");
    const int at = AddService(store, dir, "", {Rule(kb::trgNewFile, {launch})});
    kbtest::FakeScan fake;
    fake.state.For(store.ServiceTable[at].uid).scanned = true;
    fake.state.For(store.ServiceTable[at].uid).baseline = kb::SharedListing({{"a", 0, 0}});
    fake.Pass(store);
    EXPECT_EQ(static_cast<int>(fake.Of(store, at).baseline.size()), 0);
    kbtest::MakeDir(dir);
    WriteFile(kb::JoinPath(dir, "a"), "");
    fake.Pass(store);
    EXPECT_EQ(fake.launches.size(), 1u);  // "a" is new against the empty baseline
}

TEST(ScanPass, LaterRulesSeeTheSameListingAfterAMove) {
    TempDir shared, moved, copied;
    kb::ServiceStore store;
    AddService(store, shared.str(), "",
               {Rule(kb::trgNewFile, {MoveTo(moved.str())}),
                Rule(kb::trgNewFile, {CopyTo(copied.str())})});
    kbtest::FakeScan fake;
    fake.Pass(store);
    WriteFile(shared / "n1", "1");
    WriteFile(shared / "n2", "2");
    auto r = fake.Pass(store);
    ASSERT_EQ(r.outcomes.size(), 4u);
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(r.outcomes[i].ok);
    for (int i = 2; i < 4; ++i) {
        EXPECT_EQ(r.outcomes[i].raction, kb::actCopy);
        EXPECT_FALSE(r.outcomes[i].ok);
        EXPECT_FALSE(r.outcomes[i].error.empty());
    }
    EXPECT_TRUE(Exists(moved / "n1"));
    EXPECT_FALSE(Exists(copied / "n1"));
}

TEST(ScanPass, DisabledRulesServicesAndNonFiringTriggers) {
    TempDir shared;
    kb::ServiceStore store;
    const kb::ruleactionrec launch = LaunchOf("p");
    kb::RuleRec off = Rule(kb::trgFileCount, {launch});
    off.fcnt = -1;
    off.enabled = false;
    kb::RuleRec exists = Rule(kb::trgFileExists, {launch});
    kb::RuleRec unknown = Rule(static_cast<kb::TriggerKind>(17), {launch});
    const int at = AddService(store, shared.str(), "", {off, exists, unknown});
    WriteFile(shared / "f", "");
    kbtest::FakeScan fake;
    fake.Pass(store);
    fake.Pass(store);
    EXPECT_TRUE(fake.launches.empty());

    // A disabled service is not in the snapshot and keeps its old baseline.
    store.ServiceTable[at].enabled = false;
    store.ServiceTable[at].rulelist.rules = {Rule(kb::trgNewFile, {launch})};
    WriteFile(shared / "g", "");
    EXPECT_TRUE(kb::TakeScanSnapshot(store).empty());
    fake.Pass(store);
    EXPECT_EQ(static_cast<int>(fake.Of(store, at).baseline.size()), 1);
    // Enabled again: the file that arrived meanwhile is new.
    store.ServiceTable[at].enabled = true;
    fake.Pass(store);
    ASSERT_EQ(fake.launches.size(), 1u);
}

TEST(ScanPass, SubdirectoryCanBeACandidateButIsNeitherCopiedNorDeleted) {
    TempDir shared, target;
    kb::ServiceStore store;
    kb::ruleactionrec del;
    del.raction = kb::actDelete;
    AddService(store, shared.str(), "", {Rule(kb::trgNewFile, {CopyTo(target.str()), del})});
    kbtest::FakeScan fake;
    fake.Pass(store);
    kbtest::MakeDir(shared / "album");
    auto r = fake.Pass(store);
    ASSERT_EQ(r.outcomes.size(), 2u);
    EXPECT_FALSE(r.outcomes[0].ok);
    EXPECT_FALSE(r.outcomes[1].ok);
    EXPECT_TRUE(std::filesystem::is_directory(shared / "album"));
    EXPECT_FALSE(Exists(target / "album"));
}

TEST(ScanPass, AStopRequestFinishesTheFileInHandAndNeverReachesTheDeletes) {
    TempDir shared, later;
    kb::ServiceStore store;
    std::atomic<bool> stop{false};
    kb::ruleactionrec upload = kbtest::Action(kb::actFtp);
    upload.ftp.ftpserver = "example.org";
    AddService(store, shared.str(), "",
               {Rule(kb::trgFileCount, {upload, kbtest::Action(kb::actDelete)})});
    AddService(store, later.str(), "", {Rule(kb::trgFileCount, {kbtest::Action(kb::actDelete)})});
    for (const char* n : {"a", "b", "c"}) WriteFile(shared / n, n);
    WriteFile(later / "d", "d");
    kbtest::FakeScan fake;
    Names sent;
    // The owner asks the pass to stop while the second upload runs.
    fake.env.upload = [&](const kb::racftp&, const std::string&, const std::string& name) {
        sent.push_back(name);
        if (sent.size() == 2) stop = true;
        return kb::Status{true, {}};
    };
    fake.env.stop = &stop;

    const kb::ScanResult r = kb::RunScanPass(kb::TakeScanSnapshot(store), fake.state, fake.env);
    EXPECT_EQ(sent.size(), 2u);
    ASSERT_EQ(r.outcomes.size(), 2u);
    for (const kb::ActionOutcome& o : r.outcomes) EXPECT_EQ(o.raction, kb::actFtp);
    // Not one file deleted, the ones sent included: the rule never reached its delete.
    for (const char* n : {"a", "b", "c"}) EXPECT_TRUE(Exists(shared / n)) << n;
    EXPECT_TRUE(Exists(later / "d"));
    // The service not reached keeps its old baseline.
    EXPECT_EQ(r.baselines.size(), 1u);
}

TEST(StoreBaselines, SkipsRecordsDeletedMeanwhileAndMatchesByIdentity) {
    TempDir d1, d2;
    kb::ServiceStore store;
    AddService(store, d1.str(), "", {});
    AddService(store, d2.str(), "", {});
    WriteFile(d2 / "only-in-2", "");
    const auto snapshot = kb::TakeScanSnapshot(store);
    kbtest::FakeScan fake;
    const auto result = kb::RunScanPass(snapshot, fake.state, fake.env);
    // The first service is deleted while the pass runs; the second moves up.
    store.DeleteService(0);
    fake.state.Store(result);
    ASSERT_EQ(store.ServiceCount(), 1);
    EXPECT_TRUE(fake.Of(store, 0).scanned);
    EXPECT_EQ(kbtest::SortedNames(fake.Of(store, 0).baseline), (Names{"only-in-2"}));
}

TEST(TakeScanSnapshot, OnlyEnabledServicesWithADirectory) {
    kb::ServiceStore store;
    AddService(store, "/a", "", {});
    AddService(store, "", "", {});
    AddService(store, "/c", "", {});
    store.ServiceTable[2].enabled = false;
    const auto snap = kb::TakeScanSnapshot(store);
    ASSERT_EQ(snap.size(), 1u);
    EXPECT_EQ(snap[0].sharedir, "/a");
    EXPECT_EQ(snap[0].uid, store.ServiceTable[0].uid);
}

}  // namespace

namespace {

TEST(ScanState, AFilePutBackIsNoNewDownloadAndTheTableHoldsNoRunTimeState) {
    TempDir shared, music;
    kb::ServiceStore store;
    const int at = AddService(store, shared.str(), "",
                              {Rule(kb::trgNewFile, {kbtest::LaunchOf("p", "mfile")})});
    kbtest::FakeScan fake;
    WriteFile(shared / "a.mp3", "a");
    fake.Pass(store);
    const kb::SharedListing before = fake.Of(store, at).baseline;
    // Undo puts a file back between two passes; the baseline is not copied
    // for it there, only noted.
    WriteFile(shared / "back.mp3", "b");
    EXPECT_EQ(fake.state.PutBack(store, shared.str(), "back.mp3", false), 1);
    EXPECT_TRUE(fake.Of(store, at).baseline.SameAs(before));
    ASSERT_EQ(fake.Of(store, at).putBack.size(), 1u);
    // With another new file the count grows; only that one is new.
    WriteFile(shared / "new.mp3", "n");
    fake.Pass(store);
    EXPECT_EQ(fake.Launched(), (Names{"new.mp3"}));
    EXPECT_TRUE(fake.Of(store, at).putBack.empty());
    // Nothing is put back into a service that has no baseline yet, or into
    // another folder's.
    const int later = AddService(store, shared.str(), "", {});
    EXPECT_EQ(fake.state.PutBack(store, shared.str(), "back.mp3", false), 1);
    EXPECT_TRUE(fake.Of(store, later).putBack.empty());
    EXPECT_EQ(fake.state.PutBack(store, music.str(), "back.mp3", false), 0);

    // A service gone from the table takes its state with it.
    const std::uint64_t uid = store.ServiceTable[at].uid;
    store.DeleteService(at);
    fake.state.Keep(store);
    EXPECT_FALSE(fake.state.Of(uid).scanned);
}

TEST(ScanPass, AServiceThatFailsKeepsItsBaselineAndTheOthersOutcomesStand) {
    TempDir good, bad;
    kb::ServiceStore store;
    kb::RuleRec rule = Rule(kb::trgFileCount, {kbtest::LaunchOf("p", "mfile")});
    rule.fcnt = 0;
    AddService(store, good.str(), "", {rule});
    const int broken = AddService(store, bad.str(), "", {rule});
    kbtest::FakeScan fake({true, 10, 0});
    WriteFile(good / "g.bin", "g");
    WriteFile(bad / "b.bin", "b");
    kbtest::SetMtime(good / "g.bin", 1'000'000'000);
    kbtest::SetMtime(bad / "b.bin", 1'000'000'000);
    fake.Pass(store);
    const kb::SharedListing kept = fake.Of(store, broken).baseline;
    // Asking about writers in the second folder fails unexpectedly.
    fake.env.writers = [&](const std::string& path) {
        if (path.rfind(bad.str(), 0) == 0) throw std::runtime_error("probe broke");
        return kb::WriterState::None;
    };
    WriteFile(bad / "c.bin", "c");
    const kb::ScanResult r = fake.Pass(store);
    ASSERT_EQ(r.outcomes.size(), 2u);
    EXPECT_TRUE(r.outcomes[0].ok);
    EXPECT_EQ(r.outcomes[0].file, "g.bin");  // the first service's work was kept
    EXPECT_FALSE(r.outcomes[1].ok);
    EXPECT_EQ(r.outcomes[1].raction, kb::kPassFailure);
    EXPECT_EQ(r.outcomes[1].source, bad.str());
    EXPECT_EQ(r.outcomes[1].error, "the pass could not go through this folder: probe broke");
    // Its baseline is the one from before: c.bin is still new to it.
    EXPECT_TRUE(fake.Of(store, broken).baseline.SameAs(kept));
}

}  // namespace
