// Folders as one download each: measured by what they hold, judged by every
// file inside, and moved, copied or trashed whole; switched off, a folder is
// an entry like any other, as it always was.
#include "engine/folders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "engine/dryrun.h"
#include "enginetest_util.h"
#include "fakescan.h"
#include "platform/localtime.h"

namespace {

using kbtest::AddService;
using kbtest::CopyTo;
using kbtest::ExtIs;
using kbtest::LaunchOf;
using kbtest::MoveTo;
using kbtest::ReadFile;
using kbtest::Rule;
using kbtest::TempDir;
using kbtest::WriteFile;
using Names = std::vector<std::string>;
namespace fs = std::filesystem;

constexpr std::int64_t kSecond = 1'000'000'000;

// A pass environment with the gate on and folders taken as downloads.
struct FolderEnv : kbtest::FakeScan {
    std::vector<std::string> launched;
    FolderEnv() : FakeScan(Settings{true, 10, kb::WallClockNs()}) {
        env.foldersAsDownloads = true;
        env.now = [] { return 46000.5; };
        env.launch = [this](const std::string&, const std::vector<std::string>& args) {
            launched.push_back(args.empty() ? "" : args[0]);
            return kb::Status{true, {}};
        };
    }
};

void Put(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    WriteFile(path, content);
}

// A pass, then enough quiet passes for anything finished to settle.
std::vector<kb::ActionOutcome> Settle(kb::ServiceStore& store, FolderEnv& g) {
    std::vector<kb::ActionOutcome> all;
    for (int k = 0; k < 4; ++k) {
        g.Advance(6);
        for (auto& o : g.Pass(store).outcomes) all.push_back(o);
    }
    return all;
}

TEST(FoldersAsDownloads, AFolderIsMeasuredByWhatItHolds) {
    TempDir shared;
    Put(shared.Path("Album/01.flac"), std::string(3000, 'a'));
    Put(shared.Path("Album/CD2/02.flac"), std::string(2000, 'b'));
    kbtest::SetMtime(shared.Path("Album/CD2/02.flac"), 1'900'000'000);
    kbtest::SetMtime(shared.Path("Album/01.flac"), 1'800'000'000);
    // The folders themselves are dated now, before the newest file.
    Put(shared / "single.mp3", "xyz");
    std::int64_t total = 0;
    const kb::ServiceListing listed = kb::ListCompletedFiles(shared.str(), "");
    const kb::SharedListing measured = kb::MeasureFolders(listed.files, shared.str(), total);
    EXPECT_EQ(total, 5003);
    for (const kb::filerec& f : measured) {
        if (f.name != "Album") {
            EXPECT_EQ(f.contents, nullptr);
            continue;
        }
        ASSERT_NE(f.contents, nullptr);
        EXPECT_EQ(f.size, 5000);
        EXPECT_EQ(f.mtime, 1'900'000'000 * kSecond);  // the newest thing inside
        EXPECT_EQ(f.date, kb::FileTimeToLocalDays(1'900'000'000));
        EXPECT_EQ(f.contents->files.size(), 2u);
    }
    // Without folders, the listing is handed back as it was.
    TempDir flat;
    Put(flat / "a.mp3", "a");
    const kb::ServiceListing plain = kb::ListCompletedFiles(flat.str(), "");
    EXPECT_TRUE(kb::MeasureFolders(plain.files, flat.str(), total).SameAs(plain.files));
}

TEST(FoldersAsDownloads, AFolderWaitsForEveryFileInItThenMovesWhole) {
    TempDir shared, music;
    std::vector<std::string> targets{music.str()};
    if (kbtest::AcrossFileSystems()) targets.push_back(kbtest::OtherFileSystem());
    for (const std::string& base : targets) {
        SCOPED_TRACE(base);
        TempDir target(base == music.str() ? "" : base);
        kb::ServiceStore store;
        AddService(store, shared.str(), "", {Rule(kb::trgNewFile, {MoveTo(target.str())})});
        FolderEnv g;
        g.Pass(store);
        // A multi-file torrent: one file done, one still named as partial,
        // one held open by its client.
        Put(shared.Path("Album/01.flac"), "one");
        Put(shared.Path("Album/CD2/02.flac.part"), "tw");
        Put(shared.Path("Album/03.flac"), "thr");
        g.writers["Album/03.flac"] = kb::WriterState::Open;
        EXPECT_TRUE(Settle(store, g).empty());
        // Renamed when done, and closed.
        fs::rename(shared.Path("Album/CD2/02.flac.part"), shared.Path("Album/CD2/02.flac"));
        EXPECT_TRUE(Settle(store, g).empty());
        g.writers.clear();
        const auto done = Settle(store, g);
        ASSERT_EQ(done.size(), 1u);
        EXPECT_TRUE(done[0].ok) << done[0].error;
        EXPECT_TRUE(done[0].folder);
        EXPECT_EQ(done[0].size, 8);
        EXPECT_FALSE(kbtest::Exists(shared.Path("Album")));
        EXPECT_EQ(ReadFile(target.Path("Album/CD2/02.flac")), "tw");
        EXPECT_EQ(ReadFile(target.Path("Album/01.flac")), "one");
        EXPECT_EQ(ReadFile(target.Path("Album/03.flac")), "thr");
    }
}

TEST(FoldersAsDownloads, ConditionsLookAtWhatAFolderHolds) {
    TempDir shared;
    kb::ServiceStore store;
    kb::ruleacondrec big;
    big.rcond = kb::condSize;
    big.rnum = kb::cmpGreater;
    big.size = 2;  // KB
    kb::RuleRec rule = Rule(kb::trgFileCount, {LaunchOf("p", "mfile")}, {ExtIs("flac"), big});
    rule.fcnt = 0;
    AddService(store, shared.str(), "", {rule});
    FolderEnv g;
    Put(shared.Path("Album/deep/x.flac"), std::string(2000, 'x'));
    Put(shared.Path("Album/cover.jpg"), std::string(2000, 'c'));
    Put(shared.Path("Pictures/a.jpg"), std::string(5000, 'p'));
    Put(shared.Path("Small/s.flac"), "s");
    Put(shared / "loose.flac", std::string(5000, 'l'));
    Settle(store, g);
    // The album holds a flac file and 3.9 KB in all; the pictures hold no
    // flac, the small folder too little.
    Names got;
    for (const auto& p : g.launched) got.push_back(fs::path(p).filename().string());
    std::sort(got.begin(), got.end());
    got.erase(std::unique(got.begin(), got.end()), got.end());
    EXPECT_EQ(got, (Names{"Album", "loose.flac"}));
}

TEST(FoldersAsDownloads, SwitchedOffAFolderIsAnEntryTheActionsRefuse) {
    TempDir shared, music;
    kb::ServiceStore store;
    kb::RuleRec rule = Rule(kb::trgFileCount, {MoveTo(music.str())});
    rule.fcnt = 0;
    AddService(store, shared.str(), "", {rule});
    FolderEnv g;
    g.env.foldersAsDownloads = false;
    Put(shared.Path("Album/01.flac.part"), "partial");
    const auto r = Settle(store, g);
    ASSERT_FALSE(r.empty());
    EXPECT_FALSE(r[0].ok);
    EXPECT_EQ(r[0].error, "source is a directory");
    EXPECT_TRUE(kbtest::Exists(shared.Path("Album/01.flac.part")));
}

#ifndef _WIN32  // the freedesktop Trash in a private data folder
TEST(FoldersAsDownloads, APermanentDeleteStaysFilesOnlyAndTheTrashTakesAFolderWhole) {
    TempDir shared, data;
    setenv("XDG_DATA_HOME", data.str().c_str(), 1);
    for (const bool trash : {false, true}) {
        SCOPED_TRACE(trash ? "to the Trash" : "for good");
        kb::ServiceStore store;
        kb::RuleRec rule = Rule(kb::trgFileCount, {kbtest::Action(kb::actDelete)});
        rule.fcnt = 0;
        AddService(store, shared.str(), "", {rule});
        FolderEnv g;
        g.env.deleteToTrash = trash;
        Put(shared.Path("Old/a.txt"), "a");
        const auto r = Settle(store, g);
        ASSERT_FALSE(r.empty());
        EXPECT_EQ(r[0].ok, trash) << r[0].error;
        EXPECT_EQ(kbtest::Exists(shared.Path("Old")), !trash);
        if (trash) {
            EXPECT_EQ(ReadFile(r[0].target + "/a.txt"), "a");
        }
    }
}
#endif

TEST(FoldersAsDownloads, ThePreviewSaysWhichFileAFolderWaitsFor) {
    TempDir shared;
    kb::ServiceStore store;
    kb::RuleRec rule = Rule(kb::trgFileCount, {LaunchOf("p", "mfile")});
    rule.fcnt = 0;
    const int at = AddService(store, shared.str(), "", {rule});
    FolderEnv g;
    g.Advance(3600);
    Put(shared.Path("Album/CD1/01.flac.part"), "x");
    Put(shared.Path("Show/e01.mkv"), "x");
    Put(shared.Path("Show/e01.mkv.aria2"), "x");
    Put(shared.Path("Film/film.mkv"), "x");
    g.writers["Film/film.mkv"] = kb::WriterState::Open;
    const kb::RulePreview p = kb::PreviewRule(store.ServiceTable[at], rule, g.env);
    std::map<std::string, std::string> why;
    for (const auto& f : p.files) {
        EXPECT_TRUE(f.folder);
        why[f.name] = f.why;
    }
    EXPECT_EQ(why["Album"], "holds a download in progress: Album/CD1/01.flac.part");
    EXPECT_EQ(why["Show"], "holds a file whose client's file is beside it: Show/e01.mkv");
    EXPECT_EQ(why["Film"], "holds a file still open for writing: Film/film.mkv");
}

}  // namespace
