// Undo on real files, from the journal entries real actions produce: each
// kind that can be taken back, and each refusal that keeps a file safe.
#include "journal/undo.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <random>

#include "../engine/enginetest_util.h"
#include "engine/actions.h"
#include "engine/folders.h"

namespace {

namespace fs = std::filesystem;
using kbtest::Exists;
using kbtest::ReadFile;
using kbtest::TempDir;
using kbtest::WriteFile;

// GIO reads the data folder once per process: one private Trash for all.
void PrivateTrash() {
    static const TempDir data;
    static const bool set = (setenv("XDG_DATA_HOME", data.str().c_str(), 1), true);
    (void)set;
}

// What the journal records for one action of `kind` on `name` in `shared`.
kb::JournalEntry Act(const kb::ruleactionrec& a, const std::string& shared, const std::string& name,
                     bool toTrash = false) {
    kb::RuleRec rule = kbtest::Rule(kb::trgNewFile, {a});
    std::error_code ec;
    const std::string path = kb::JoinPath(shared, name);
    const auto size = static_cast<std::int64_t>(fs::file_size(path, ec));
    const auto mtime =
        std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::file_clock::to_sys(fs::last_write_time(path, ec)).time_since_epoch())
            .count();
    kb::ScanEnvironment env;
    env.deleteToTrash = toTrash;
    std::vector<kb::ActionOutcome> out;
    kb::PerformActions(rule, {kb::ActionFile{name, size, mtime}},
                       kb::ActionSite{shared, "Kazaa", 1}, env, out);
    EXPECT_EQ(out.size(), 1u);
    kb::JournalEntry e = kb::JournalEntryFor(out.at(0));
    e.id = 7;
    return e;
}

// What the journal records for one action on the folder `name`, taken as
// one download.
kb::JournalEntry ActOnFolder(const kb::ruleactionrec& a, const std::string& shared,
                             const std::string& name) {
    const std::optional<kb::DirEntryInfo> own = kb::StatEntry(shared, name);
    EXPECT_TRUE(own);
    const kb::FolderContents c = kb::ReadFolder(kb::JoinPath(shared, name), own ? own->mtimeNs : 0);
    kb::ScanEnvironment env;
    env.foldersAsDownloads = true;
    std::vector<kb::ActionOutcome> out;
    kb::PerformActions(kbtest::Rule(kb::trgNewFile, {a}),
                       {kb::ActionFile{name, c.bytes, c.newestNs, true}},
                       kb::ActionSite{shared, "Torrents", 1}, env, out);
    EXPECT_EQ(out.size(), 1u);
    kb::JournalEntry e = kb::JournalEntryFor(out.at(0));
    e.id = 9;
    return e;
}

TEST(Undo, AFolderMovedOrCopiedWholeIsTakenBackWhole) {
    std::vector<std::string> targets{""};
    if (kbtest::AcrossFileSystems()) targets.push_back(kbtest::OtherFileSystem());
    for (const std::string& base : targets) {
        SCOPED_TRACE(base.empty() ? "same file system" : base);
        TempDir shared, music(base);
        fs::create_directories(shared.Path("Album/CD2"));
        WriteFile(shared.Path("Album/01.flac"), "one");
        WriteFile(shared.Path("Album/CD2/02.flac"), "two");
        const kb::JournalEntry moved =
            ActOnFolder(kbtest::MoveTo(music.str()), shared.str(), "Album");
        ASSERT_TRUE(moved.ok) << moved.error;
        ASSERT_TRUE(kb::CanUndo(moved)) << kb::CanUndo(moved).error;
        const kb::JournalEntry back = kb::Undo(moved, 1);
        ASSERT_TRUE(back.ok) << back.error;
        EXPECT_EQ(ReadFile(shared.Path("Album/CD2/02.flac")), "two");
        EXPECT_FALSE(Exists(music.Path("Album")));

        const kb::JournalEntry copied =
            ActOnFolder(kbtest::CopyTo(music.str()), shared.str(), "Album");
        ASSERT_TRUE(copied.ok) << copied.error;
        // A file changed in the copy: it is no longer the copy that was made.
        WriteFile(music.Path("Album/CD2/02.flac"), "changed");
        EXPECT_FALSE(kb::CanUndo(copied));
        // Put back as it was, time and all.
        WriteFile(music.Path("Album/CD2/02.flac"), "two");
        fs::last_write_time(music.Path("Album/CD2/02.flac"),
                            fs::last_write_time(shared.Path("Album/CD2/02.flac")));
        fs::last_write_time(music.Path("Album/CD2"), fs::last_write_time(shared.Path("Album/CD2")));
        ASSERT_TRUE(kb::CanUndo(copied)) << kb::CanUndo(copied).error;
        const kb::JournalEntry removed = kb::Undo(copied, 2);
        ASSERT_TRUE(removed.ok) << removed.error;
        EXPECT_FALSE(Exists(music.Path("Album")));
        EXPECT_EQ(ReadFile(shared.Path("Album/01.flac")), "one");
    }
}

TEST(Undo, AMoveGoesBackAcrossFileSystemsToo) {
    std::vector<std::string> targets{""};  // beside the shared folder
    if (kbtest::AcrossFileSystems()) targets.push_back(kbtest::OtherFileSystem());
    for (const std::string& base : targets) {
        SCOPED_TRACE(base.empty() ? "same file system" : base);
        TempDir shared, music(base);
        WriteFile(shared / "song.mp3", "tune");
        const kb::JournalEntry moved = Act(kbtest::MoveTo(music.str()), shared.str(), "song.mp3");
        ASSERT_TRUE(moved.ok) << moved.error;
        ASSERT_TRUE(kb::CanUndo(moved)) << kb::CanUndo(moved).error;
        const kb::JournalEntry undo = kb::Undo(moved, 5000);
        EXPECT_TRUE(undo.ok) << undo.error;
        EXPECT_EQ(undo.action, "undo move");
        EXPECT_EQ(undo.source, music / "song.mp3");
        EXPECT_EQ(undo.target, shared.str());
        EXPECT_EQ(undo.timeMs, 5000);
        EXPECT_EQ(ReadFile(shared / "song.mp3"), "tune");
        EXPECT_FALSE(Exists(music / "song.mp3"));
    }
}

TEST(Undo, ACopyIsRemovedOnlyWhileTheOriginalIsThere) {
    TempDir shared, backup;
    WriteFile(shared / "a.doc", "text");
    const kb::JournalEntry copied = Act(kbtest::CopyTo(backup.str()), shared.str(), "a.doc");
    ASSERT_TRUE(kb::Undo(copied, 1).ok);
    EXPECT_FALSE(Exists(backup / "a.doc"));
    EXPECT_EQ(ReadFile(shared / "a.doc"), "text");

    // The copy may be all that is left of the file.
    const kb::JournalEntry again = Act(kbtest::CopyTo(backup.str()), shared.str(), "a.doc");
    fs::remove(shared / "a.doc");
    const kb::Status st = kb::CanUndo(again);
    EXPECT_FALSE(st);
    EXPECT_NE(st.error.find("original"), std::string::npos) << st.error;
    EXPECT_FALSE(kb::Undo(again, 1).ok);
    EXPECT_EQ(ReadFile(backup / "a.doc"), "text");
}

TEST(Undo, AFileDeletedToTheTrashComesBack) {
    PrivateTrash();
    TempDir shared;
    WriteFile(shared / "old.avi", "film");
    kb::ruleactionrec del;
    del.raction = kb::actDelete;
    const kb::JournalEntry trashed = Act(del, shared.str(), "old.avi", true);
    ASSERT_TRUE(trashed.ok) << trashed.error;
    EXPECT_EQ(trashed.action, "trash");
    EXPECT_FALSE(Exists(shared / "old.avi"));
    const kb::JournalEntry undo = kb::Undo(trashed, 1);
    ASSERT_TRUE(undo.ok) << undo.error;
    EXPECT_EQ(undo.action, "undo trash");
    EXPECT_EQ(ReadFile(shared / "old.avi"), "film");
    EXPECT_FALSE(Exists(trashed.target));
}

TEST(Undo, RefusesWhateverCouldLoseOrOverwriteAFile) {
    TempDir shared, music;
    WriteFile(shared / "a.mp3", "aaaa");
    WriteFile(shared / "b.mp3", "bbbb");
    const kb::JournalEntry a = Act(kbtest::MoveTo(music.str()), shared.str(), "a.mp3");
    const kb::JournalEntry b = Act(kbtest::MoveTo(music.str()), shared.str(), "b.mp3");

    // Changed since: the moved file was written to.
    WriteFile(music / "a.mp3", "changed");
    const kb::Status changed = kb::CanUndo(a);
    EXPECT_FALSE(changed);
    EXPECT_NE(changed.error.find("changed since"), std::string::npos) << changed.error;
    EXPECT_FALSE(kb::Undo(a, 1).ok);
    EXPECT_EQ(ReadFile(music / "a.mp3"), "changed");

    // Something else stands at the old place.
    WriteFile(shared / "b.mp3", "a new download of the same name");
    const kb::JournalEntry refused = kb::Undo(b, 1);
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.error.find("something else"), std::string::npos) << refused.error;
    EXPECT_EQ(ReadFile(shared / "b.mp3"), "a new download of the same name");
    EXPECT_EQ(ReadFile(music / "b.mp3"), "bbbb");

    // What cannot be taken back at all.
    kb::JournalEntry e = b;
    for (const char* action : {"ftp", "launch", "delete", "undo move"}) {
        e.action = action;
        EXPECT_FALSE(kb::CanUndo(e)) << action;
    }
    e = b;
    e.ok = false;
    EXPECT_FALSE(kb::CanUndo(e));
    e = b;
    e.undoneBy = 9;
    EXPECT_FALSE(kb::CanUndo(e));
    // A copy that found the same file already there made nothing to remove.
    TempDir backup;
    WriteFile(shared / "c.mp3", "cccc");
    Act(kbtest::CopyTo(backup.str()), shared.str(), "c.mp3");
    const kb::JournalEntry second = Act(kbtest::CopyTo(backup.str()), shared.str(), "c.mp3");
    EXPECT_EQ(second.error, kb::kAlreadyThereNote);
    EXPECT_FALSE(kb::CanUndo(second));
    EXPECT_TRUE(Exists(backup / "c.mp3"));
}

}  // namespace

namespace {

TEST(Undo, AReplaceThatTrashedTheOldFileBringsBothBackAndARenameIsTakenBack) {
    PrivateTrash();
    TempDir shared, music;
    WriteFile(shared / "song.mp3", "new take");
    WriteFile(music / "song.mp3", "the old take");  // not of the same size: no copy of it
    kb::ruleactionrec move = kbtest::MoveTo(music.str());
    move.conflict = kb::ConflictMode::TrashOld;
    const kb::JournalEntry moved = Act(move, shared.str(), "song.mp3");
    ASSERT_TRUE(moved.ok) << moved.error;
    ASSERT_FALSE(moved.replacedTrash.empty()) << moved.error;
    EXPECT_EQ(ReadFile(music / "song.mp3"), "new take");
    const kb::JournalEntry back = kb::Undo(moved, 1);
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_EQ(ReadFile(shared / "song.mp3"), "new take");
    EXPECT_EQ(ReadFile(music / "song.mp3"), "the old take");
    EXPECT_FALSE(Exists(moved.replacedTrash));

    kb::ruleactionrec rename;
    rename.raction = kb::actRename;
    rename.newname = "{name} (live).{ext}";
    const kb::JournalEntry renamed = Act(rename, shared.str(), "song.mp3");
    ASSERT_TRUE(renamed.ok) << renamed.error;
    EXPECT_EQ(renamed.action, "rename");
    EXPECT_EQ(renamed.targetName, "song (live).mp3");
    ASSERT_TRUE(kb::Undo(renamed, 2).ok);
    EXPECT_EQ(ReadFile(shared / "song.mp3"), "new take");
    EXPECT_FALSE(Exists(shared / "song (live).mp3"));

    // A skip did nothing, so there is nothing to take back (and undoing it
    // must not delete the file that was there).
    kb::ruleactionrec skip = kbtest::CopyTo(music.str());
    skip.conflict = kb::ConflictMode::Skip;
    const kb::JournalEntry skipped = Act(skip, shared.str(), "song.mp3");
    EXPECT_FALSE(kb::CanUndo(skipped));
    EXPECT_FALSE(kb::Undo(skipped, 3).ok);
    EXPECT_EQ(ReadFile(music / "song.mp3"), "the old take");
}

}  // namespace
