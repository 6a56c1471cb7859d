// Rules that sort, rename and never clobber: templates filled per file, the
// choices made when a target exists, name patterns, and the holds and waits
// that keep a rule from taking a file again and again.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "engine/actions.h"
#include "engine/conditions.h"
#include "engine/dryrun.h"
#include "engine/namepattern.h"
#include "engine/nametemplate.h"
#include "engine/placement.h"
#include "enginetest_util.h"
#include "fakescan.h"
#include "platform/dirlist.h"
#include "platform/localtime.h"

namespace {

using kbtest::Exists;
using kbtest::ReadFile;
using kbtest::TempDir;
using kbtest::WriteFile;

constexpr std::int64_t kMarch2026 = 1772841600;  // 2026-03-07 00:00 UTC

TEST(Templates, FillEveryFieldAndNeverReachOutOfTheirFolder) {
    const double date = kb::EncodeDays(2026, 3, 7, 14, 0, 0);
    const kb::TemplateFile f{"Live Set.mp3", date, "My/Service", ".."};
    EXPECT_EQ(kb::FillTemplate("/m/{year}/{month}/{day}/{ext}", f).text, "/m/2026/03/07/mp3");
    EXPECT_EQ(kb::FillTemplate("{name} - {counter}.{ext}", f, 3).text, "Live Set - 3.mp3");
    EXPECT_EQ(kb::FillTemplate("/m/{service}/{rule}/{file}", f).text,
              "/m/My_Service/_/Live Set.mp3");
    EXPECT_EQ(kb::FillTemplate("{{year}}", f).text, "{year}");
    EXPECT_EQ(kb::FillTemplate("{name}.{ext}", kb::TemplateFile{"README", date, "", ""}).text,
              "README.");

    EXPECT_NE(kb::TemplateError("/m/{yaer}", false).find("no field {yaer}"), std::string::npos);
    EXPECT_NE(kb::TemplateError("/m/{year", false).find("never closed"), std::string::npos);
    EXPECT_NE(kb::TemplateError("/m/}", false), "");
    EXPECT_NE(kb::TemplateError("/m/{counter}", false), "") << "a folder has no counter";
    EXPECT_EQ(kb::TemplateError("{name} ({counter})", true), "");

    EXPECT_EQ(kb::FixedPart("/music/{year}/{month}"), "/music");
    EXPECT_EQ(kb::FixedPart("/music/y{year}"), "/music");
    EXPECT_EQ(kb::FixedPart("/music/plain"), "/music/plain");
    EXPECT_EQ(kb::FixedPart("{year}/x"), "");
}

TEST(Templates, CivilDatesAcrossLeapYearsAndCenturies) {
    for (auto [y, m, d] : {std::tuple{1899, 12, 30},
                           {1900, 3, 1},
                           {2000, 2, 29},
                           {2024, 12, 31},
                           {2100, 3, 1},
                           {1970, 1, 1}}) {
        int yy = 0, mm = 0, dd = 0;
        kb::CivilDate(kb::EncodeDays(y, m, d, 23, 59, 59), yy, mm, dd);
        EXPECT_EQ(std::tie(yy, mm, dd), std::tie(y, m, d));
    }
}

kb::ruleacondrec Cond(kb::ConditionKind kind, std::string pattern, bool matchCase = false) {
    kb::ruleacondrec c;
    c.rcond = kind;
    c.pattern = std::move(pattern);
    c.matchCase = matchCase;
    return c;
}

std::vector<std::string> Selected(const kb::ruleacondrec& cond, std::vector<std::string> names) {
    std::vector<kb::filerec> listing;
    for (const std::string& n : names) listing.push_back(kb::filerec{n});
    std::vector<std::uint32_t> candidates;
    for (std::uint32_t i = 0; i < listing.size(); ++i) candidates.push_back(i);
    kb::ApplyCondition(cond, candidates, listing, 0.0, {});
    std::vector<std::string> out;
    for (std::uint32_t i : candidates) out.push_back(listing[i].name);
    return out;
}

// The cross-built Windows core has no RE2 to link.
#define SKIP_WITHOUT_PATTERNS() \
    if (!kb::NamePatternsAvailable()) GTEST_SKIP() << "this build has no RE2"

TEST(NamePatterns, WildcardsAndRegularExpressionsMatchTheWholeName) {
    SKIP_WITHOUT_PATTERNS();
    const std::vector<std::string> names = {"Live at Home.MP3", "live.txt", "studio.mp3",
                                            "a+b (1).mp3",      "x]y",      "Été.flac"};
    using V = std::vector<std::string>;
    EXPECT_EQ(Selected(Cond(kb::condNameWildcard, "*live*"), names),
              (V{"Live at Home.MP3", "live.txt"}));
    EXPECT_EQ(Selected(Cond(kb::condNameWildcard, "*live*", true), names), (V{"live.txt"}));
    EXPECT_EQ(Selected(Cond(kb::condNameWildcard, "?????.mp3"), names), V{});
    EXPECT_EQ(Selected(Cond(kb::condNameWildcard, "[!l]*.mp3"), names),
              (V{"studio.mp3", "a+b (1).mp3"}));
    EXPECT_EQ(Selected(Cond(kb::condNameWildcard, "a+b (?).mp3"), names), (V{"a+b (1).mp3"}));
    EXPECT_EQ(Selected(Cond(kb::condNameWildcard, "x[]]y"), names), (V{"x]y"}));
    EXPECT_EQ(Selected(Cond(kb::condNameWildcard, "été.*"), names), (V{"Été.flac"}));
    EXPECT_EQ(Selected(Cond(kb::condNameRegex, R"(.*\.mp3)"), names),
              (V{"Live at Home.MP3", "studio.mp3", "a+b (1).mp3"}));
    EXPECT_EQ(Selected(Cond(kb::condNameRegex, "live"), names), V{}) << "the whole name must match";
}

TEST(NamePatterns, ABadPatternSaysWhyAndSelectsNothing) {
    SKIP_WITHOUT_PATTERNS();
    const kb::ruleacondrec bad = Cond(kb::condNameRegex, "(unclosed");
    EXPECT_NE(kb::PatternError(bad).find("missing )"), std::string::npos) << kb::PatternError(bad);
    EXPECT_TRUE(Selected(bad, {"(unclosed"}).empty());
    EXPECT_NE(kb::PatternError(Cond(kb::condNameRegex, "")), "");
    EXPECT_EQ(kb::PatternError(Cond(kb::condNameRegex, "(a+)+$")), "");
}

TEST(NamePatterns, APatternThatBacktracksForEverElsewhereRunsInLinearTime) {
    SKIP_WITHOUT_PATTERNS();
    // A backtracking matcher needs 2^n steps for this pair; with n = 5,000
    // it would never end.
    const kb::NamePattern p(Cond(kb::condNameRegex, "(a|aa)+(a+)+b"));
    ASSERT_EQ(p.Error(), "");
    EXPECT_FALSE(p.Matches(std::string(5000, 'a')));
    EXPECT_TRUE(p.Matches(std::string(5000, 'a') + "b"));
}

// ---- the actions ------------------------------------------------------------

kb::ruleactionrec MoveTo(std::string dir, kb::ConflictMode m, std::string newname = {},
                         kb::ActionKind kind = kb::actMove) {
    kb::ruleactionrec a;
    a.raction = kind;
    a.move.filepath = dir;
    a.copy.filepath = dir;
    a.newname = std::move(newname);
    a.conflict = m;
    return a;
}

// Runs `actions` on the files `names` of `dir` as the pass would hand them over.
std::vector<kb::ActionOutcome> RunRule(const std::vector<kb::ruleactionrec>& actions,
                                       const std::string& dir,
                                       const std::vector<std::string>& names,
                                       kb::ScanEnvironment env = {}) {
    kb::RuleRec rule;
    rule.rulename = "Sort";
    rule.actions = actions;
    std::vector<kb::ActionFile> files;
    for (const std::string& n : names) {
        const std::optional<kb::DirEntryInfo> e = kb::StatEntry(dir, n);
        if (!e) throw std::runtime_error("no " + n);
        files.push_back(kb::ActionFile{n, e->size, e->mtimeNs, false, e->date});
    }
    std::vector<kb::ActionOutcome> out;
    kb::PerformActions(rule, files, kb::ActionSite{dir, "Music", 1}, env, out);
    return out;
}

TEST(Sorting, DatedFoldersAreMadeAndKeepBothNeverOverwrites) {
    TempDir share, music;
    WriteFile(share / "a.mp3", "first");
    kbtest::SetMtime(share / "a.mp3", kMarch2026 + 43200);
    const std::string tmpl = music.str() + "/{year}/{month}";
    const auto a = MoveTo(tmpl, kb::ConflictMode::KeepBoth);
    auto out = RunRule({a}, share.str(), {"a.mp3"});
    ASSERT_TRUE(out[0].ok) << out[0].error;
    EXPECT_EQ(ReadFile(music.Path("2026/03/a.mp3")), "first");
    EXPECT_TRUE(std::filesystem::equivalent(out[0].target, music.Path("2026/03")));

    // The same name again, other contents: kept beside it, twice.
    for (const char* text : {"second", "third"}) {
        WriteFile(share / "a.mp3", text);
        kbtest::SetMtime(share / "a.mp3", kMarch2026 + 50000);
        out = RunRule({a}, share.str(), {"a.mp3"});
        ASSERT_TRUE(out[0].ok) << out[0].error;
    }
    EXPECT_EQ(ReadFile(music.Path("2026/03/a.mp3")), "first");
    EXPECT_EQ(ReadFile(music.Path("2026/03/a (2).mp3")), "second");
    EXPECT_EQ(ReadFile(music.Path("2026/03/a (3).mp3")), "third");
    EXPECT_EQ(out[0].targetName, "a (3).mp3");
    EXPECT_EQ(out[0].note, "kept both: saved as a (3).mp3");
}

TEST(Sorting, ATemplateNeverRecreatesAMissingFixedFolder) {
    TempDir share;
    WriteFile(share / "a.mp3", "x");
    const std::string gone = share.str() + "-unplugged-drive";
    const auto out =
        RunRule({MoveTo(gone + "/{year}", kb::ConflictMode::TrashOld)}, share.str(), {"a.mp3"});
    EXPECT_FALSE(out[0].ok);
    EXPECT_EQ(out[0].error, "the folder " + gone + " does not exist");
    EXPECT_FALSE(Exists(gone));
    EXPECT_TRUE(Exists(share / "a.mp3"));
}

struct ConflictCase {
    kb::ConflictMode mode;
    std::int64_t sourceAge;  // seconds older than the file there (negative: newer)
    const char* target;      // what the target name holds afterwards
    bool sourceKept;
    const char* note;
};

TEST(Sorting, EachConflictModeDoesWhatItSays) {
    const ConflictCase cases[] = {
        {kb::ConflictMode::Replace, 100, "incoming", false, kb::kReplacedNote},
        {kb::ConflictMode::Skip, -100, "there", true, kb::kSkippedNote},
        {kb::ConflictMode::ReplaceOlder, 100, "there", true, kb::kKeptNewerNote},
        {kb::ConflictMode::ReplaceOlder, -100, "incoming", false, kb::kReplacedNote},
        {kb::ConflictMode::KeepBoth, 0, "there", false, "kept both: saved as s (2).mp3"},
        {kb::ConflictMode::TrashOld, 0, "incoming", false, kb::kTrashedOldNote},
    };
    for (const ConflictCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        TempDir share, dst;
        WriteFile(dst / "s.mp3", "there");
        kbtest::SetMtime(dst / "s.mp3", kMarch2026);
        WriteFile(share / "s.mp3", "incoming");
        kbtest::SetMtime(share / "s.mp3", kMarch2026 - c.sourceAge);
        kb::ScanEnvironment env;
        const auto out = RunRule({MoveTo(dst.str(), c.mode)}, share.str(), {"s.mp3"}, env);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_TRUE(out[0].ok) << out[0].error;
        EXPECT_EQ(out[0].note, c.note);
        EXPECT_EQ(ReadFile(dst / "s.mp3"), c.target);
        EXPECT_EQ(Exists(share / "s.mp3"), c.sourceKept);
        EXPECT_EQ(out[0].skipped, c.sourceKept);
#ifndef _WIN32  // the Recycle Bin does not say where a file went
        if (c.mode == kb::ConflictMode::TrashOld) {
            ASSERT_FALSE(out[0].replacedTrash.empty());
            EXPECT_EQ(ReadFile(out[0].replacedTrash), "there");
        }
#endif
    }
}

TEST(Sorting, AnIdenticalCopyIsNeverRewrittenAndASkipKeepsTheFileFromALaterDelete) {
    TempDir share, dst;
    WriteFile(share / "s.mp3", "same");
    WriteFile(dst / "s.mp3", "same");
    kbtest::SetMtime(share / "s.mp3", kMarch2026);
    kbtest::SetMtime(dst / "s.mp3", kMarch2026);
    auto copy = MoveTo(dst.str(), kb::ConflictMode::KeepBoth, {}, kb::actCopy);
    auto out = RunRule({copy}, share.str(), {"s.mp3"});
    EXPECT_EQ(out[0].note, kb::kAlreadyThereNote);
    EXPECT_FALSE(Exists(dst / "s (2).mp3"));

    WriteFile(share / "s.mp3", "different");
    kb::ruleactionrec del;
    del.raction = kb::actDelete;
    out = RunRule({MoveTo(dst.str(), kb::ConflictMode::Skip, {}, kb::actCopy), del}, share.str(),
                  {"s.mp3"});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_TRUE(out[0].skipped);
    EXPECT_FALSE(out[1].ok) << "never handed on, so never deleted";
    EXPECT_EQ(ReadFile(share / "s.mp3"), "different");
}

TEST(Sorting, RenameInPlaceWithACounterAndLaterActionsFollowTheNewName) {
    TempDir share, backup;
    WriteFile(share / "take.wav", "t");
    kbtest::SetMtime(share / "take.wav", kMarch2026 + 3600);
    WriteFile(share / "take-1.wav", "taken");
    std::vector<std::vector<std::string>> launched;
    kb::ScanEnvironment env;
    env.launch = [&](const std::string& p, const std::vector<std::string>& args) {
        launched.push_back({p});
        launched.back().insert(launched.back().end(), args.begin(), args.end());
        return kb::Status{true, {}};
    };
    kb::ruleactionrec launch;
    launch.raction = kb::actLaunch;
    launch.launch.fprogram = "player";
    launch.launch.fparams = "mfile";
    const auto out = RunRule(
        {MoveTo("", kb::ConflictMode::TrashOld, "{name}-{counter}.{ext}", kb::actRename),
         MoveTo(backup.str(), kb::ConflictMode::TrashOld, "{year}{month}{day}-{file}", kb::actCopy),
         launch},
        share.str(), {"take.wav"}, env);
    ASSERT_EQ(out.size(), 3u);
    ASSERT_TRUE(out[0].ok) << out[0].error;
    EXPECT_EQ(out[0].targetName, "take-2.wav");
    EXPECT_EQ(ReadFile(share / "take-2.wav"), "t");
    EXPECT_EQ(ReadFile(share / "take-1.wav"), "taken");
    ASSERT_TRUE(out[1].ok) << out[1].error;
    EXPECT_EQ(ReadFile(backup / "20260307-take-2.wav"), "t");
    ASSERT_EQ(launched.size(), 1u);
    EXPECT_EQ(launched[0][1], share / "take-2.wav");
}

// ---- between passes ---------------------------------------------------------

TEST(Passes, AFileUndonePutBackStaysWithItsRuleUntilItChanges) {
    TempDir share, dst;
    WriteFile(share / "keep.txt", "k");
    kbtest::FakeScan scan;
    kb::ServiceStore store = kbtest::StoreWithEveryPassRule(
        share.str(), "All", {MoveTo(dst.str(), kb::ConflictMode::Replace)});
    ASSERT_EQ(scan.Pass(store).outcomes.size(), 1u);
    std::filesystem::rename(dst / "keep.txt", share / "keep.txt");  // as undo puts it back
    scan.state.PutBack(store, share.str(), "keep.txt", false, "All");
    EXPECT_EQ(scan.Pass(store).outcomes.size(), 0u) << "the rule does not take it again";
    EXPECT_TRUE(Exists(share / "keep.txt"));

    kbtest::SetMtime(share / "keep.txt", kMarch2026);  // the user changed it
    auto r = scan.Pass(store);
    ASSERT_EQ(r.outcomes.size(), 1u);
    EXPECT_TRUE(r.outcomes[0].ok);
}

TEST(Passes, ARuleFailingOnAFileBacksOffAndTriesAtOnceWhenTheRuleChanges) {
    TempDir share;
    WriteFile(share / "f.txt", "x");
    kbtest::FakeScan scan;
    const std::string missing = share.str() + "-nowhere";
    kb::ServiceStore store = kbtest::StoreWithEveryPassRule(
        share.str(), "All", {MoveTo(missing, kb::ConflictMode::Replace)});
    std::vector<int> triedAt;
    for (int second = 0; second <= 80; second += 5) {
        scan.now = 1'800'000'000 * kbtest::FakeScan::kSecond + second * kbtest::FakeScan::kSecond;
        if (!scan.Pass(store).outcomes.empty()) triedAt.push_back(second);
    }
    EXPECT_EQ(triedAt, (std::vector<int>{0, 5, 15, 35, 75}));
    EXPECT_EQ(kb::RetryDelayNs(100), 600 * kbtest::FakeScan::kSecond);

    // A mended rule is tried in the very next pass.
    ASSERT_TRUE(kb::MakeFolders(missing));
    store.ServiceTable[0].rulelist.rules[0].actions[0].move.filepath = missing;
    store.ServiceTable[0].rulelist.rules[0].rulename = "All";
    store.ServiceTable[0].rulelist.rules[0].actions[0].conflict = kb::ConflictMode::Skip;
    scan.now += kbtest::FakeScan::kSecond;
    const auto r = scan.Pass(store);
    ASSERT_EQ(r.outcomes.size(), 1u);
    EXPECT_TRUE(r.outcomes[0].ok) << r.outcomes[0].error;
    std::filesystem::remove_all(missing);
}

TEST(Sorting, ThePreviewShowsEachFilesTargetItsConflictAndThePatternThatChoseIt) {
    SKIP_WITHOUT_PATTERNS();
    TempDir share, music;
    WriteFile(share / "Live.mp3", "new");
    kbtest::SetMtime(share / "Live.mp3", kMarch2026 + 43200);
    WriteFile(share / "studio.mp3", "s");
    ASSERT_TRUE(kb::MakeFolders(music.Path("2026/03")));
    WriteFile(music.Path("2026/03/Live.mp3"), "older");
    kb::rServiceRules svc;
    svc.sharedir = share.str();
    svc.enabled = true;
    kb::RuleRec rule;
    rule.rulename = "Sort";
    rule.mcond = kb::trgFileCount;
    rule.conds = {Cond(kb::condNameWildcard, "live*")};
    rule.actions = {MoveTo(music.str() + "/{year}/{month}", kb::ConflictMode::KeepBoth)};
    const kb::RulePreview p = kb::PreviewRule(svc, rule, kbtest::WithoutGate({}));
    ASSERT_EQ(p.files.size(), 1u);
    EXPECT_EQ(p.files[0].matched, std::vector<std::string>{"wildcards live*"});
    ASSERT_EQ(p.files[0].placements.size(), 1u);
    EXPECT_EQ(p.files[0].placements[0], "move to " + music.str() + "/2026/03/Live (2).mp3" +
                                            " (kept both: saved as Live (2).mp3)");
    EXPECT_FALSE(Exists(music.Path("2026/03/Live (2).mp3"))) << "a preview does nothing";
}

}  // namespace
