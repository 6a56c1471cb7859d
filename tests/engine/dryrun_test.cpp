#include "engine/dryrun.h"

#include <gtest/gtest.h>

#include "engine/listing.h"
#include "enginetest_util.h"
#include "platform/localtime.h"

namespace {

using kbtest::AddService;
using kbtest::ExtIs;
using kbtest::LaunchOf;
using kbtest::MoveTo;
using kbtest::Rule;
using kbtest::TempDir;
using kbtest::WriteFile;
using Names = std::vector<std::string>;

constexpr std::int64_t kSecond = 1'000'000'000;
constexpr std::int64_t kNow = 1'800'000'000;  // seconds since 1970

// An environment in which nothing may be started or sent: a preview that
// tried would fail the test. The clock stands at kNow.
kb::ScanEnvironment NoActions() {
    kb::ScanEnvironment env;
    env.now = [] { return kb::EncodeDays(2027, 1, 15, 12, 0, 0); };
    env.clock = [] { return kNow * kSecond; };
    env.writers = [](const std::string&) { return kb::WriterState::None; };
    env.launch = [](const std::string& p, const std::vector<std::string>&) {
        ADD_FAILURE() << "a preview launched " << p;
        return kb::Status{false, "no"};
    };
    env.upload = [](const kb::racftp&, const std::string& local, const std::string&) {
        ADD_FAILURE() << "a preview uploaded " << local;
        return kb::Status{false, "no"};
    };
    return env;
}

Names FileNames(const kb::RulePreview& p) {
    Names n;
    for (const kb::FilePreview& f : p.files) n.push_back(f.name);
    return n;
}

// Files settled long ago, named in listing order of creation.
void Settled(const TempDir& dir, const Names& names, std::int64_t bytes = 10) {
    for (const std::string& n : names) {
        WriteFile(dir / n, std::string(static_cast<std::size_t>(bytes), 'x'));
        kbtest::SetMtime(dir / n, kNow - 3600);
    }
}

kb::ruleacondrec Oldest(int n) {
    kb::ruleacondrec c;
    c.rcond = kb::condOldest;
    c.oldestcnt = n;
    return c;
}

kb::ruleactionrec Ftp(const std::string& server, const std::string& dir) {
    kb::ruleactionrec a = kbtest::Action(kb::actFtp);
    a.ftp.ftpserver = server;
    a.ftp.ftppath = dir;
    a.ftp.ftpuser = "me";
    a.ftp.ftppass = "secret";
    return a;
}

TEST(DryRun, EachTriggerOnARealFolderLeavesTheFolderAsItWas) {
    TempDir share, music;
    Settled(share, {"a.mp3", "b.avi", "c.mp3", "kazaa.dat"});
    kb::RuleRec onArrival = Rule(kb::trgNewFile, {MoveTo(music.str())}, {ExtIs("mp3")});
    onArrival.rulename = "music";
    kb::RuleRec count = Rule(kb::trgFileCount, {kbtest::Action(kb::actDelete)}, {Oldest(1)});
    count.rulename = "tidy";
    count.fcnt = 2;
    kb::RuleRec size = Rule(kb::trgTotalSize, {kbtest::Action(kb::actDelete)});
    size.rulename = "big";
    size.fsize = 1;
    kb::RuleRec off = Rule(kb::trgFileCount, {kbtest::Action(kb::actDelete)});
    off.enabled = false;
    kb::ServiceStore store;
    AddService(store, share.str(), "kazaa*;*.dat", {onArrival, count, size, off});

    const auto before = kbtest::SortedNames(kb::ListCompletedFiles(share.str(), "").files);
    const std::vector<kb::RulePreview> out = kb::DryRun(kb::TakeScanSnapshot(store), NoActions());
    ASSERT_EQ(out.size(), 3u);  // the switched-off rule is not run

    EXPECT_EQ(out[0].rule, "music");
    EXPECT_TRUE(out[0].onArrival);
    EXPECT_TRUE(out[0].holds);
    EXPECT_EQ(out[0].listed, 3);  // the mask keeps kazaa.dat out
    EXPECT_EQ(out[0].total, 30);
    EXPECT_EQ(FileNames(out[0]).size(), 2u);
    EXPECT_EQ(out[0].actions, (Names{"move to " + music.str()}));
    EXPECT_EQ(out[0].triggerText, "a new file is present");

    EXPECT_TRUE(out[1].holds);  // 3 files, more than 2
    EXPECT_EQ(out[1].files.size(), 1u);
    EXPECT_EQ(out[1].actions, (Names{"delete"}));
    EXPECT_EQ(out[1].triggerText, "more than 2 files");
    EXPECT_EQ(out[1].threshold, 2);

    EXPECT_FALSE(out[2].holds);  // 30 bytes are not more than 1 MB
    EXPECT_TRUE(out[2].files.empty());
    EXPECT_EQ(out[2].triggerText, "more than 1 MB");

    // Nothing moved, nothing deleted.
    EXPECT_EQ(kbtest::SortedNames(kb::ListCompletedFiles(share.str(), "").files), before);
    EXPECT_FALSE(kbtest::Exists(music / "a.mp3"));
}

TEST(DryRun, AFileStillBeingWrittenIsShownWaitingAndKeptOutOfTheRanking) {
    TempDir share;
    Settled(share, {"old.bin", "older.bin"});
    kbtest::SetMtime(share / "older.bin", kNow - 7200);
    WriteFile(share / "fresh.bin", "new");  // changed two seconds ago
    kbtest::SetMtime(share / "fresh.bin", kNow - 2);
    WriteFile(share / "open.bin", "downloading");  // old, but a client writes to it
    kbtest::SetMtime(share / "open.bin", kNow - 86400);
    kb::ScanEnvironment env = NoActions();
    env.writers = [](const std::string& path) {
        return path.ends_with("open.bin") ? kb::WriterState::Open : kb::WriterState::None;
    };
    kb::rServiceRules svc;
    svc.sharedir = share.str();

    // Every present file is shown, the unfinished ones as waiting.
    kb::RulePreview all =
        kb::PreviewRule(svc, Rule(kb::trgNewFile, {kbtest::Action(kb::actDelete)}), env);
    ASSERT_EQ(all.files.size(), 4u);
    for (const kb::FilePreview& f : all.files)
        EXPECT_EQ(f.waiting, f.name == "fresh.bin" || f.name == "open.bin") << f.name;

    // The oldest finished file is acted on, not the download that is older
    // still; that one is shown as left out of the ranking, with why.
    kb::RulePreview oldest = kb::PreviewRule(
        svc, Rule(kb::trgFileCount, {kbtest::Action(kb::actDelete)}, {Oldest(1)}), env);
    EXPECT_EQ(FileNames(oldest), (Names{"older.bin", "open.bin"}));
    EXPECT_EQ(oldest.ActingNow(), 1);
    ASSERT_EQ(oldest.files.size(), 2u);
    EXPECT_FALSE(oldest.files[0].leftOut);
    EXPECT_TRUE(oldest.files[1].waiting);
    EXPECT_TRUE(oldest.files[1].leftOut);
    EXPECT_TRUE(
        oldest.files[1].why.starts_with("left out of the oldest 1 file while it downloads ("))
        << oldest.files[1].why;
    // Without a ranking condition nothing is "left out": waiting is enough.
    for (const kb::FilePreview& f : all.files) EXPECT_FALSE(f.leftOut) << f.name;

    // With the gate off nothing waits, and the open download ranks first.
    env.gate.enabled = false;
    oldest = kb::PreviewRule(
        svc, Rule(kb::trgFileCount, {kbtest::Action(kb::actDelete)}, {Oldest(1)}), env);
    EXPECT_EQ(FileNames(oldest), (Names{"open.bin"}));
    EXPECT_FALSE(oldest.files[0].waiting);
}

TEST(DryRun, ASwitchedOffRuleCanBePreviewedAndAMissingFolderIsSaid) {
    TempDir share;
    Settled(share, {"x.mp3"});
    kb::rServiceRules svc;
    svc.sharedir = share.str();
    kb::RuleRec off = Rule(kb::trgNewFile, {kbtest::Action(kb::actDelete)}, {ExtIs("mp3")});
    off.enabled = false;
    EXPECT_EQ(FileNames(kb::PreviewRule(svc, off, NoActions())), (Names{"x.mp3"}));

    svc.sharedir = share / "gone";
    const kb::RulePreview missing = kb::PreviewRule(svc, off, NoActions());
    EXPECT_TRUE(missing.folderMissing);
    EXPECT_EQ(missing.folderProblem, "does not exist");
    EXPECT_FALSE(missing.holds);
    EXPECT_TRUE(missing.files.empty());
    EXPECT_EQ(missing.actions, (Names{"delete"}));  // still told

    svc.sharedir = share / "x.mp3";
    EXPECT_EQ(kb::PreviewRule(svc, off, NoActions()).folderProblem, "is not a folder");

    // An empty folder: the new-file rule waits for the first arrival.
    TempDir empty;
    svc.sharedir = empty.str();
    EXPECT_FALSE(kb::PreviewRule(svc, off, NoActions()).holds);
    EXPECT_FALSE(kb::PreviewRule(svc, off, NoActions()).folderMissing);
}

TEST(DryRun, AStoppedPreviewSelectsNothingFromAPartialListing) {
    TempDir share;
    for (int i = 0; i < 5000; ++i) WriteFile(share / ("f" + std::to_string(i)), "");
    kb::rServiceRules svc;
    svc.sharedir = share.str();
    std::vector<std::size_t> told;
    const kb::RulePreview p =
        kb::PreviewRule(svc, Rule(kb::trgFileCount, {kbtest::Action(kb::actDelete)}), NoActions(),
                        [&](std::size_t seen) {
                            told.push_back(seen);
                            return told.size() < 2;  // stop at the second report
                        });
    // Asked no more once it said stop.
    EXPECT_EQ(told, (std::vector<std::size_t>{1024, 2048}));
    EXPECT_FALSE(p.holds);
    EXPECT_TRUE(p.files.empty());
}

TEST(DescribeActions, TellEachKindAsTheUserWouldSayIt) {
    kb::RuleRec r =
        Rule(kb::trgNewFile,
             {MoveTo("/music"), kbtest::CopyTo("/backup"), kbtest::Action(kb::actDelete),
              Ftp("example.org", "/up"), Ftp("bad host!", "/up"),
              LaunchOf("/usr/bin/player", "--queue \"mfile\""), LaunchOf("/usr/bin/tidy", "--all"),
              kbtest::Action(static_cast<kb::ActionKind>(9))});
    kb::ScanEnvironment env;
    EXPECT_EQ(
        kb::DescribeActions(r, env),
        (Names{
            "move to /music", "copy to /backup", "delete", "upload to ftp://me@example.org:21/up/",
            "upload to \"bad host!\" (not a usable address: the upload would fail)",
            "launch /usr/bin/player --queue \"<file>\"",
            "launch /usr/bin/tidy --all (once for all files)", "unknown action 9 (does nothing)"}));
    env.deleteToTrash = true;
    EXPECT_EQ(kb::DescribeActions(r, env)[2], "move to the Trash");
    // The password is never shown.
    for (const std::string& a : kb::DescribeActions(r, env))
        EXPECT_EQ(a.find("secret"), std::string::npos) << a;
}

}  // namespace
