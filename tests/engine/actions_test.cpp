#include "engine/actions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "enginetest_util.h"
#include "platform/fileops.h"
#include "platform/process.h"

namespace {

using kbtest::Exists;
using kbtest::ReadFile;
using kbtest::TempDir;
using kbtest::WriteFile;
using Names = std::vector<std::string>;

std::vector<kb::ActionOutcome> RunActions(std::vector<kb::ruleactionrec> actions,
                                          const std::vector<std::string_view>& names,
                                          const std::string& sharedir,
                                          const kb::ScanEnvironment& env = {}) {
    kb::RuleRec rule;
    rule.rulename = "r";
    rule.actions = std::move(actions);
    std::vector<kb::ActionFile> files;
    for (std::string_view n : names) files.push_back(kb::ActionFile{n, 0, 0});
    std::vector<kb::ActionOutcome> out;
    kb::PerformActions(rule, files, kb::ActionSite{sharedir, "Shared", 42}, env, out);
    return out;
}

// An environment whose launcher records each start as program + arguments.
kb::ScanEnvironment RecordingLaunches(std::vector<std::vector<std::string>>& calls) {
    kb::ScanEnvironment env;
    env.launch = [&calls](const std::string& p, const std::vector<std::string>& args) {
        calls.push_back(args);
        calls.back().insert(calls.back().begin(), p);
        return kb::Status{true, {}};
    };
    return env;
}

std::int64_t MtimeOf(const std::string& path) {
    const auto t = std::chrono::file_clock::to_sys(std::filesystem::last_write_time(path));
    return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
}

// `path` as the shared folder "/share" of a launch joins it.
std::string InShare(const std::string& name) { return kb::JoinPath("/share", name); }

TEST(FileOps, CopyReplacesTargetKeepsSourceAndItsDate) {
    TempDir src, dst;
    WriteFile(src / "song.mp3", "new contents");
    kbtest::SetMtime(src / "song.mp3", 1600000000);
    WriteFile(dst / "song.mp3", "old and longer contents");
    const kb::FileOpResult r = kb::FileCopy(src / "song.mp3", dst / "song.mp3");
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(ReadFile(dst / "song.mp3"), "new contents");
    EXPECT_EQ(ReadFile(src / "song.mp3"), "new contents");
    EXPECT_EQ(MtimeOf(dst / "song.mp3"), 1600000000);
    // No temporary file is left beside the target.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dst.str()), {}), 1);
}

TEST(FileOps, FailedCopyLeavesTargetAndNoLeftovers) {
    TempDir src, dst;
    WriteFile(src / "a", "a");
    const kb::FileOpResult missing = kb::FileCopy(src / "a", dst / "missing/a");
    EXPECT_FALSE(missing);
    EXPECT_FALSE(missing.error.empty());
    EXPECT_FALSE(kb::FileCopy(src / "absent", dst / "a"));
    EXPECT_FALSE(Exists(dst / "a"));
    // A directory in the target's place is not replaced.
    kbtest::MakeDir(dst / "a");
    EXPECT_FALSE(kb::FileCopy(src / "a", dst / "a"));
    EXPECT_TRUE(std::filesystem::is_directory(dst / "a"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dst.str()), {}), 1);
}

TEST(FileOps, MoveReplacesTargetAndRefusesDirectories) {
    TempDir src, dst;
    WriteFile(src / "f", "moved");
    WriteFile(dst / "f", "existing");
    const kb::FileOpResult r = kb::FileMove(src / "f", dst / "f");
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(ReadFile(dst / "f"), "moved");
    EXPECT_FALSE(Exists(src / "f"));

    kbtest::MakeDir(src / "d");
    EXPECT_FALSE(kb::FileMove(src / "d", dst / "d"));
    EXPECT_TRUE(std::filesystem::is_directory(src / "d"));
    EXPECT_FALSE(Exists(dst / "d"));
}

TEST(FileOps, MoveWithFailingCopyKeepsSource) {
    TempDir src, dst;
    WriteFile(src / "keep", "data");
    EXPECT_FALSE(kb::FileMove(src / "keep", dst / "no/such/dir/keep"));
    EXPECT_EQ(ReadFile(src / "keep"), "data");
}

TEST(FileOps, MoveAcrossFileSystemsCopiesThenDeletes) {
    if (!kbtest::AcrossFileSystems()) GTEST_SKIP() << "needs a second file system";
    TempDir src, dst(kbtest::OtherFileSystem());
    std::string big(3 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 % 251);
    WriteFile(src / "big.bin", big);
    kbtest::SetMtime(src / "big.bin", 1500000000);
    WriteFile(dst / "big.bin", "to be replaced");
    const kb::FileOpResult r = kb::FileMove(src / "big.bin", dst / "big.bin");
    ASSERT_TRUE(r) << r.error;
    EXPECT_FALSE(Exists(src / "big.bin"));
    EXPECT_TRUE(ReadFile(dst / "big.bin") == big);
    EXPECT_EQ(MtimeOf(dst / "big.bin"), 1500000000);

    // Across file systems a copy that cannot complete leaves the source.
    WriteFile(src / "stay", "x");
    EXPECT_FALSE(kb::FileMove(src / "stay", dst / "missing/stay"));
    EXPECT_EQ(ReadFile(src / "stay"), "x");
}

#ifndef _WIN32  // named pipes and symbolic links as a user makes them: POSIX only
TEST(FileOps, ANamedPipeIsNotCopiedAndDoesNotHangTheCopy) {
    TempDir src, dst;
    ::mkfifo((src / "pipe").c_str(), 0644);
    EXPECT_FALSE(kb::FileCopy(src / "pipe", dst / "pipe"));
    EXPECT_FALSE(kb::FileMove(src / "pipe", dst / "pipe"));
    EXPECT_TRUE(Exists(src / "pipe"));
    EXPECT_TRUE(std::filesystem::is_empty(dst.str()));
}

TEST(FileOps, MoveOfALinkMovesItsContentsAndRemovesTheLink) {
    TempDir src, dst;
    WriteFile(src / "real", "contents");
    std::filesystem::create_symlink(src / "real", src / "link");
    const kb::FileOpResult r = kb::FileMove(src / "link", dst / "link");
    ASSERT_TRUE(r) << r.error;
    EXPECT_FALSE(Exists(src / "link"));
    EXPECT_FALSE(std::filesystem::is_symlink(dst / "link"));
    EXPECT_EQ(ReadFile(dst / "link"), "contents");
    EXPECT_EQ(ReadFile(src / "real"), "contents");
}

TEST(FileOps, DeleteRemovesLinksButNotWhatTheyPointTo) {
    TempDir d;
    WriteFile(d / "target", "t");
    std::filesystem::create_symlink(d / "target", d / "link");
    EXPECT_TRUE(kb::FileDelete(d / "link"));
    EXPECT_FALSE(Exists(d / "link"));
    EXPECT_TRUE(Exists(d / "target"));
}
#endif

// Overwrites `path` with other bytes of the same length and puts its date
// back (in whole seconds: the file must carry a whole-second date): a copy
// that leaves the marker alone did not write the file again.
void Mark(const std::string& path) {
    const std::int64_t when = MtimeOf(path);
    std::string bytes = ReadFile(path);
    for (char& c : bytes) c = 'M';
    WriteFile(path, bytes);
    kbtest::SetMtime(path, when);
}

TEST(FileOps, AnIdenticalTargetIsNotWrittenAgain) {
    TempDir src, dst;
    WriteFile(src / "a.mp3", "contents");
    kbtest::SetMtime(src / "a.mp3", 1700000000);
    ASSERT_EQ(kb::FileCopy(src / "a.mp3", dst / "a.mp3").status, kb::FileOpStatus::Done);
    Mark(dst / "a.mp3");
    // The copy kept the source's time, so size and time say it is the same.
    const kb::FileOpResult again = kb::FileCopy(src / "a.mp3", dst / "a.mp3");
    EXPECT_EQ(again.status, kb::FileOpStatus::AlreadyThere);
    EXPECT_TRUE(again);
    EXPECT_EQ(ReadFile(dst / "a.mp3"), "MMMMMMMM");
    // A different time or size is a different file: replaced.
    kbtest::SetMtime(src / "a.mp3", 1600000000);
    EXPECT_EQ(kb::FileCopy(src / "a.mp3", dst / "a.mp3").status, kb::FileOpStatus::Done);
    EXPECT_EQ(ReadFile(dst / "a.mp3"), "contents");
}

TEST(FileOps, AMoveAcrossFileSystemsOntoAnIdenticalCopyOnlyRemovesTheSource) {
    if (!kbtest::AcrossFileSystems()) GTEST_SKIP() << "needs a second file system";
    TempDir src, dst(kbtest::OtherFileSystem());
    WriteFile(src / "f.bin", "payload");
    kbtest::SetMtime(src / "f.bin", 1700000000);
    ASSERT_TRUE(kb::FileCopy(src / "f.bin", dst / "f.bin"));
    Mark(dst / "f.bin");
    const kb::FileOpResult r = kb::FileMove(src / "f.bin", dst / "f.bin");
    EXPECT_EQ(r.status, kb::FileOpStatus::AlreadyThere);
    EXPECT_FALSE(Exists(src / "f.bin"));
    EXPECT_EQ(ReadFile(dst / "f.bin"), "MMMMMMM");
}

TEST(FileOps, ASourceChangedDuringTheCopyIsKeptAndTheTargetLeftAsItWas) {
    // Once on one file system (copy) and once across two (move).
    const bool across = kbtest::AcrossFileSystems();
    for (const bool move : {false, true}) {
        if (move && !across) continue;
        SCOPED_TRACE(move ? "move" : "copy");
        TempDir src, dst(move ? kbtest::OtherFileSystem() : "");
        std::vector<std::function<void(const std::string&)>> changes{
            // grown by the writer
            [](const std::string& p) { std::ofstream(p, std::ios::app) << "+"; }};
#ifndef _WIN32  // Windows keeps the name of a file open elsewhere until it is closed
        // replaced under its name by a new file of the same size
        changes.push_back([](const std::string& p) {
            std::filesystem::remove(p);
            WriteFile(p, "first half");
        });
#endif
        for (const auto& change : changes) {
            WriteFile(src / "dl.bin", "first half");
            WriteFile(dst / "dl.bin", "an older copy");
            kb::SetCopyCheckHookForTests(change);
            const kb::FileOpResult r = move ? kb::FileMove(src / "dl.bin", dst / "dl.bin")
                                            : kb::FileCopy(src / "dl.bin", dst / "dl.bin");
            kb::SetCopyCheckHookForTests({});
            EXPECT_EQ(r.status, kb::FileOpStatus::SourceChanged);
            EXPECT_TRUE(Exists(src / "dl.bin"));
            EXPECT_EQ(ReadFile(dst / "dl.bin"), "an older copy");
            // No temporary file is left behind.
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dst.str()), {}), 1);
        }
    }
}

TEST(FileOps, TheFirstCopyIntoAFolderRemovesWhatCrashedCopiesLeft) {
    TempDir src, dst;
    WriteFile(src / "a", "a");
    // A process that cannot be running (the id is beyond any system's
    // range), this one, and a file that only looks similar.
    const long gone = 999999999;
    const std::string dead = ".kbcopy-" + std::to_string(gone) + "-abcdefghij.tmp";
    const std::string live =
        ".kbcopy-" + std::to_string(kb::CurrentProcessId()) + "-abcdefghij.tmp";
    WriteFile(dst / dead, "half a copy");
    WriteFile(dst / live, "in flight");
    WriteFile(dst / ".kbcopy-notes.txt", "mine");
    kbtest::MakeDir(dst / (".kbcopy-" + std::to_string(gone) + "-dir.tmp"));
    EXPECT_TRUE(kb::IsCopyTemporaryName(dead));
    EXPECT_FALSE(kb::IsCopyTemporaryName(".kbcopy-notes.txt"));

    ASSERT_TRUE(kb::FileCopy(src / "a", dst / "a"));
    EXPECT_FALSE(Exists(dst / dead));
    EXPECT_TRUE(Exists(dst / live));
    EXPECT_TRUE(Exists(dst / ".kbcopy-notes.txt"));
    EXPECT_TRUE(Exists(dst / (".kbcopy-" + std::to_string(gone) + "-dir.tmp")));
}

TEST(FileOps, DeleteRemovesFilesButNeverDirectories) {
    TempDir d;
    WriteFile(d / "f", "");
    kbtest::MakeDir(d / "empty");
    EXPECT_TRUE(kb::FileDelete(d / "f"));
    EXPECT_FALSE(Exists(d / "f"));
    EXPECT_FALSE(kb::FileDelete(d / "empty"));
    EXPECT_TRUE(std::filesystem::is_directory(d / "empty"));
    EXPECT_FALSE(kb::FileDelete(d / "gone"));
}

TEST(Actions, CopyThenDeleteCopiesEveryFileBeforeDeletingAny) {
    TempDir shared, backup;
    WriteFile(shared / "a", "A");
    WriteFile(shared / "b", "B");
    const auto out =
        RunActions({kbtest::Action(kb::actCopy, backup.str()), kbtest::Action(kb::actDelete)},
                   {"a", "b"}, shared.str());
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0].file, "a");
    EXPECT_EQ(out[0].raction, kb::actCopy);
    EXPECT_EQ(out[1].file, "b");
    EXPECT_EQ(out[2].raction, kb::actDelete);
    for (const auto& o : out) {
        EXPECT_TRUE(o.ok) << o.error;
        EXPECT_EQ(o.serviceUid, 42u);
        EXPECT_EQ(o.rulename, "r");
    }
    EXPECT_EQ(ReadFile(backup / "a"), "A");
    EXPECT_EQ(ReadFile(backup / "b"), "B");
    EXPECT_FALSE(Exists(shared / "a"));
}

TEST(Actions, MoveWithEmptyTargetIsRefused) {
    TempDir shared;
    WriteFile(shared / "a", "A");
    const auto out = RunActions({kbtest::Action(kb::actMove, "")}, {"a"}, shared.str());
    ASSERT_EQ(out.size(), 1u);
    EXPECT_FALSE(out[0].ok);
    EXPECT_TRUE(Exists(shared / "a"));
}

TEST(Actions, ActionsAfterAMoveFollowTheFileAndADeleteNeverTakesIt) {
    TempDir shared, music, backup;
    WriteFile(shared / "a.mp3", "A");
    WriteFile(shared / "b.mp3", "B");
    std::filesystem::create_directory(music / "b.mp3");  // b's move fails
    std::vector<std::vector<std::string>> calls;
    const kb::ScanEnvironment env = RecordingLaunches(calls);
    kb::ruleactionrec launch = kbtest::Action(kb::actLaunch);
    launch.launch.fprogram = "player";
    launch.launch.fparams = "/add mfile";
    const auto out = RunActions({kbtest::MoveTo(music.str()), kbtest::Action(kb::actDelete),
                                 kbtest::CopyTo(backup.str()), launch},
                                {"a.mp3", "b.mp3"}, shared.str(), env);
    ASSERT_EQ(out.size(), 8u);
    EXPECT_TRUE(out[0].ok);
    EXPECT_FALSE(out[1].ok);  // b.mp3 stayed
    // The delete names the shared folder's a.mp3, which is gone; the moved
    // file is untouched. b.mp3, not handed on, is kept.
    EXPECT_FALSE(out[2].ok);
    EXPECT_FALSE(out[3].ok);
    EXPECT_EQ(ReadFile(music / "a.mp3"), "A");
    EXPECT_EQ(ReadFile(shared / "b.mp3"), "B");
    // The copy takes a.mp3 from where the move put it, b.mp3 from its place.
    EXPECT_TRUE(out[4].ok) << out[4].error;
    EXPECT_EQ(out[4].source, music / "a.mp3");
    EXPECT_EQ(ReadFile(backup / "a.mp3"), "A");
    EXPECT_TRUE(out[5].ok) << out[5].error;
    EXPECT_EQ(ReadFile(backup / "b.mp3"), "B");
    // So does the launch.
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], (Names{"player", "/add", music / "a.mp3"}));
    EXPECT_EQ(calls[1], (Names{"player", "/add", shared / "b.mp3"}));
}

TEST(Actions, LaunchOncePerFileOrOnceForAll) {
    std::vector<std::vector<std::string>> calls;
    const kb::ScanEnvironment env = RecordingLaunches(calls);
    kb::ruleactionrec a = kbtest::Action(kb::actLaunch);
    a.launch.fprogram = "prog";
    a.launch.fparams = "-a mfile -b mfile";
    auto out = RunActions({a}, {"x.mp3", "y mfile.mp3"}, "/share", env);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], (Names{"prog", "-a", InShare("x.mp3"), "-b", InShare("x.mp3")}));
    // The name's own "mfile" is not substituted again.
    EXPECT_EQ(calls[1],
              (Names{"prog", "-a", InShare("y mfile.mp3"), "-b", InShare("y mfile.mp3")}));
    EXPECT_EQ(out[1].file, "y mfile.mp3");

    calls.clear();
    a.launch.fparams = "--enqueue";
    out = RunActions({a}, {"x", "y", "z"}, "/share", env);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], (Names{"prog", "--enqueue"}));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].file, "");

    calls.clear();
    a.launch.fparams = "";
    RunActions({a}, {"x"}, "/share", env);
    EXPECT_EQ(calls, (std::vector<Names>{{"prog"}}));
}

TEST(Actions, FtpBetweenCopyAndDeleteSendsBeforeTheDelete) {
    TempDir shared, backup;
    WriteFile(shared / "a", "A");
    WriteFile(shared / "b", "B");
    std::vector<std::string> sent;
    kb::ScanEnvironment env;
    env.upload = [&](const kb::racftp& p, const std::string& local, const std::string& remote) {
        EXPECT_EQ(p.ftpserver, "host");
        // The file is still in place when it is sent.
        sent.push_back(remote + "=" + ReadFile(local));
        if (remote == "b") throw std::runtime_error("connection reset");
        return kb::Status{true, {}};
    };
    kb::ruleactionrec ftp = kbtest::Action(kb::actFtp);
    ftp.ftp.ftpserver = "host";
    const auto out =
        RunActions({kbtest::Action(kb::actCopy, backup.str()), ftp, kbtest::Action(kb::actDelete)},
                   {"a", "b"}, shared.str(), env);
    EXPECT_EQ(sent, (Names{"a=A", "b=B"}));
    ASSERT_EQ(out.size(), 6u);
    EXPECT_TRUE(out[2].ok);
    EXPECT_FALSE(out[3].ok);
    EXPECT_EQ(out[3].error, "connection reset");
    EXPECT_TRUE(out[4].ok);
    EXPECT_FALSE(Exists(shared / "a"));
    // The file the server never received is not deleted.
    EXPECT_FALSE(out[5].ok);
    EXPECT_EQ(ReadFile(shared / "b"), "B");
}

TEST(Actions, DeleteKeepsFilesWhoseCopyOrMoveFailedInTheSameRule) {
    TempDir shared, backup;
    WriteFile(shared / "a", "A");
    WriteFile(shared / "b", "B");
    // "b" cannot be copied: a directory of that name stands in the target.
    std::filesystem::create_directory(backup / "b");
    auto out =
        RunActions({kbtest::Action(kb::actCopy, backup.str()), kbtest::Action(kb::actDelete)},
                   {"a", "b"}, shared.str());
    ASSERT_EQ(out.size(), 4u);
    EXPECT_TRUE(out[0].ok);
    EXPECT_FALSE(out[1].ok);
    EXPECT_TRUE(out[2].ok);
    EXPECT_FALSE(out[3].ok);
    EXPECT_FALSE(Exists(shared / "a"));
    EXPECT_EQ(ReadFile(shared / "b"), "B");

    // The same for a move to a folder that does not exist, followed by a delete.
    out =
        RunActions({kbtest::Action(kb::actMove, backup / "missing"), kbtest::Action(kb::actDelete)},
                   {"b"}, shared.str());
    ASSERT_EQ(out.size(), 2u);
    EXPECT_FALSE(out[0].ok);
    EXPECT_FALSE(out[1].ok);
    EXPECT_EQ(ReadFile(shared / "b"), "B");
}

}  // namespace
