// Copies and moves made as a batch: nothing takes a target name or loses a
// source before the batch is committed, results come back in the order the
// files were added, and a batch that ends without a commit, or a process
// killed in the middle of one, leaves nothing half-made under any name.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "engine/actions.h"
#include "enginetest_util.h"
#include "platform/fileops.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using kbtest::Exists;
using kbtest::ReadFile;
using kbtest::TempDir;
using kbtest::WriteFile;
namespace fs = std::filesystem;

int CopyTemporariesIn(const std::string& dir) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(dir))
        n += kb::IsCopyTemporaryName(e.path().filename().string());
    return n;
}

TEST(CopyBatch, NothingTakesItsNameOrLeavesItsPlaceBeforeTheCommit) {
    const std::string other = kbtest::OtherFileSystem();
    TempDir src, dst, far(other);
    WriteFile(src / "a", "alpha");
    WriteFile(src / "b", "bravo");
    WriteFile(src / "c", "charlie");
    WriteFile(dst / "a", "an older a");

    kb::CopyBatch batch;
    EXPECT_TRUE(batch.Empty());
    batch.Add(src / "a", dst / "a", false);
    batch.Add(src / "b", dst / "b", false);
    if (!other.empty()) batch.Add(src / "c", far / "c", true);  // a move that must copy
    EXPECT_FALSE(batch.Empty());
    // The data are written, beside their targets, under temporary names.
    EXPECT_EQ(CopyTemporariesIn(dst.str()), 2);
    EXPECT_EQ(ReadFile(dst / "a"), "an older a");
    EXPECT_FALSE(Exists(dst / "b"));
    EXPECT_TRUE(Exists(src / "c"));

    const std::vector<kb::FileOpResult> results = batch.Commit();
    ASSERT_EQ(results.size(), other.empty() ? 2u : 3u);
    for (const kb::FileOpResult& r : results)
        EXPECT_EQ(r.status, kb::FileOpStatus::Done) << r.error;
    EXPECT_EQ(ReadFile(dst / "a"), "alpha");
    EXPECT_EQ(ReadFile(dst / "b"), "bravo");
    EXPECT_EQ(CopyTemporariesIn(dst.str()), 0);
    if (!other.empty()) {
        EXPECT_EQ(ReadFile(far / "c"), "charlie");
        EXPECT_FALSE(Exists(src / "c"));
    }
    EXPECT_TRUE(batch.Empty());
    EXPECT_TRUE(batch.Commit().empty());
}

TEST(CopyBatch, ResultsComeInTheOrderAddedWhateverEachOneCameTo) {
    TempDir src, dst;
    WriteFile(src / "same", "kept");
    ASSERT_TRUE(kb::FileCopy(src / "same", dst / "same"));
    WriteFile(src / "grows", "first half");
    WriteFile(src / "plain", "plain");
    WriteFile(src / "renamed", "renamed");

    kb::SetCopyCheckHookForTests([&](const std::string& p) {
        if (p == src / "grows") std::ofstream(p, std::ios::app) << " and more";
    });
    kb::CopyBatch batch;
    batch.Add(src / "missing", dst / "missing", false);
    batch.Add(src / "grows", dst / "grows", false);
    batch.Add(src / "same", dst / "same", false);
    batch.Add(src / "renamed", dst / "renamed", true);  // one file system: a rename
    batch.Add(src / "plain", dst / "plain", false);
    // The rename is done at once; it needs no flush.
    EXPECT_TRUE(Exists(dst / "renamed"));
    const std::vector<kb::FileOpResult> r = batch.Commit();
    kb::SetCopyCheckHookForTests({});

    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0].status, kb::FileOpStatus::Failed);
    EXPECT_EQ(r[1].status, kb::FileOpStatus::SourceChanged);
    EXPECT_EQ(r[2].status, kb::FileOpStatus::AlreadyThere);
    EXPECT_EQ(r[3].status, kb::FileOpStatus::Done);
    EXPECT_EQ(r[4].status, kb::FileOpStatus::Done);
    EXPECT_FALSE(Exists(dst / "grows"));  // a copy of half a file never takes the name
    EXPECT_EQ(ReadFile(dst / "plain"), "plain");
    EXPECT_EQ(CopyTemporariesIn(dst.str()), 0);
}

TEST(CopyBatch, ABatchThatEndsUncommittedLeavesNoTemporaryAndEverySource) {
    const std::string other = kbtest::OtherFileSystem();
    TempDir src, dst, far(other);
    WriteFile(src / "a", "alpha");
    WriteFile(src / "m", "moved?");
    WriteFile(dst / "a", "old");
    {
        kb::CopyBatch batch;
        batch.Add(src / "a", dst / "a", false);
        if (!other.empty()) batch.Add(src / "m", far / "m", true);
        EXPECT_EQ(CopyTemporariesIn(dst.str()), 1);
    }
    EXPECT_EQ(CopyTemporariesIn(dst.str()), 0);
    EXPECT_EQ(ReadFile(dst / "a"), "old");
    EXPECT_EQ(ReadFile(src / "m"), "moved?");
    if (!other.empty()) {
        EXPECT_EQ(CopyTemporariesIn(far.str()), 0);
    }
}

TEST(CopyBatch, IsFullAtEitherBound) {
    TempDir src, dst;
    WriteFile(src / "small", "x");
    WriteFile(src / "big", std::string(1000, 'b'));
    kb::CopyBatch byCount(kb::CopyBatch::Bounds{2, 1 << 20});
    byCount.Add(src / "small", dst / "s1", false);
    EXPECT_FALSE(byCount.Full());
    byCount.Add(src / "small", dst / "s2", false);
    EXPECT_TRUE(byCount.Full());
    EXPECT_EQ(byCount.Commit().size(), 2u);
    EXPECT_FALSE(byCount.Full());

    kb::CopyBatch byBytes(kb::CopyBatch::Bounds{100, 1000});
    byBytes.Add(src / "small", dst / "s3", false);
    EXPECT_FALSE(byBytes.Full());
    byBytes.Add(src / "big", dst / "b1", false);
    EXPECT_TRUE(byBytes.Full());
    // A failed copy and one already there hold no data back.
    kb::CopyBatch settled(kb::CopyBatch::Bounds{1, 1 << 20});
    settled.Add(src / "missing", dst / "x", false);
    settled.Add(src / "small", dst / "s1", false);
    EXPECT_FALSE(settled.Full());
}

TEST(CopyBatch, ACopyRuleRecordsEveryFileInListingOrderAcrossSeveralFlushes) {
    // More files than one batch takes, one of them unreadable halfway.
    TempDir src, dst;
    std::vector<std::string> names;
    for (int i = 0; i < 2500; ++i) {
        names.push_back("f" + std::to_string(i));
        if (i != 1234) WriteFile(src / names.back(), names.back());
    }
    kb::RuleRec rule;
    rule.rulename = "r";
    kb::ruleactionrec copy;
    copy.raction = kb::actCopy;
    copy.copy.filepath = dst.str();
    kb::ruleactionrec del;
    del.raction = kb::actDelete;
    rule.actions = {copy, del};
    std::vector<kb::ActionFile> files;
    for (const std::string& n : names) files.push_back(kb::ActionFile{n, 0, 0});
    std::vector<kb::ActionOutcome> out;
    kb::PerformActions(rule, files, kb::ActionSite{src.str(), "Shared", 1}, {}, out);

    ASSERT_EQ(out.size(), 2 * names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(out[i].file, names[i]);
        EXPECT_EQ(out[i].raction, kb::actCopy);
        EXPECT_EQ(out[i].ok, i != 1234) << names[i] << ": " << out[i].error;
    }
    EXPECT_EQ(ReadFile(dst / "f2499"), "f2499");
    EXPECT_EQ(CopyTemporariesIn(dst.str()), 0);
    // The delete after it took only the files that were copied.
    EXPECT_FALSE(out[names.size() + 1234].ok);
    EXPECT_FALSE(Exists(src / "f0"));
}

#ifndef _WIN32
// A process copying and moving in batches is killed at a random moment, again
// and again. Afterwards every file is whole somewhere: each target name holds
// the whole source or nothing, a moved file is at its source or whole at its
// target (never neither), and the next copy into the folder removes what the
// killed process left.
TEST(CopyBatch, AProcessKilledAtAnyMomentLosesNothingAndLeavesNothingHalfMade) {
    const std::string other = kbtest::OtherFileSystem();
    std::mt19937 random(20261210);
    const int files = 120;
    auto content = [](int i) {
        return std::string(static_cast<std::size_t>(4096 + i * 97),
                           'a' + static_cast<char>(i % 26));
    };
    int killedBefore = 0, killedDuring = 0;
    for (int round = 0; round < 25; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        TempDir src, dst, far(other);
        const std::string& moveTo = other.empty() ? dst.str() : far.str();
        for (int i = 0; i < files; ++i) WriteFile(src / ("f" + std::to_string(i)), content(i));
        // An older, shorter version of a few targets, which must stay whole.
        for (int i = 0; i < files; i += 10) WriteFile(dst / ("f" + std::to_string(i)), "older");

        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            kb::CopyBatch batch(kb::CopyBatch::Bounds{16, 1 << 20});
            for (int i = 0; i < files; ++i) {
                const std::string name = "f" + std::to_string(i);
                // Even files are copied, odd ones moved.
                if (i % 2)
                    batch.Add(src / name, kb::JoinPath(moveTo, name), true);
                else
                    batch.Add(src / name, dst / name, false);
                if (batch.Full()) (void)batch.Commit();
            }
            (void)batch.Commit();
            _exit(0);
        }
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(0, 40000)(random)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        if (WIFSIGNALED(status))
            ++killedDuring;
        else
            ++killedBefore;

        for (int i = 0; i < files; ++i) {
            const std::string name = "f" + std::to_string(i);
            const std::string target = i % 2 ? kb::JoinPath(moveTo, name) : dst / name;
            const bool there = Exists(target);
            if (there && !(i % 10 == 0 && ReadFile(target) == "older")) {
                EXPECT_EQ(ReadFile(target), content(i)) << target;
            }
            if (Exists(src / name))
                EXPECT_EQ(ReadFile(src / name), content(i)) << name;
            else
                EXPECT_TRUE(i % 2 && there) << name << " is gone from both places";
        }
        // The next copy into each folder clears what the killed process left.
        WriteFile(src / "next", "next");
        ASSERT_TRUE(kb::FileCopy(src / "next", dst / "next"));
        EXPECT_EQ(CopyTemporariesIn(dst.str()), 0);
        if (!other.empty()) {
            ASSERT_TRUE(kb::FileCopy(src / "next", far / "next"));
            EXPECT_EQ(CopyTemporariesIn(far.str()), 0);
        }
    }
    // The random moments fell inside the copying most of the time.
    EXPECT_GT(killedDuring, 5) << killedBefore << " runs ended before the kill";
}
#endif

}  // namespace
