// The activity journal over real SQLite files: what a pass appends comes back
// whole; paging, filters, pruning; a damaged, unreachable or locked journal
// never loses what waits and never holds the caller up; readers alongside a
// writer; a kill in the middle of a write loses at most that write.
#include "journal/journal.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <thread>

namespace {

namespace fs = std::filesystem;
using kb::Journal;
using kb::JournalEntry;
using kb::JournalQuery;

class JournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kbjournal-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
        path_ = (dir_ / "state" / "activity.sqlite3").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    static JournalEntry Entry(const std::string& file, bool ok = true, std::int64_t timeMs = 1000) {
        JournalEntry e;
        e.timeMs = timeMs;
        e.service = "Kazaa";
        e.rule = "Move music";
        e.action = "move";
        e.source = "/share/" + file;
        e.target = "/music";
        e.size = 1234;
        e.ok = ok;
        e.error = ok ? "" : "No space left on device";
        e.mtimeNs = 1700000000123456789LL;
        return e;
    }

    fs::path dir_;
    std::string path_;
};

TEST_F(JournalTest, APassComesBackWholeNewestFirstAndTheHistoryNewestLast) {
    Journal j(path_);
    ASSERT_TRUE(j.Append({Entry("a.mp3"), Entry("b.mp3", false)}));
    ASSERT_TRUE(j.Append({Entry("c.mp3")}));
    EXPECT_TRUE(fs::exists(path_));

    const auto rows = j.Read(JournalQuery{});
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].source, "/share/c.mp3");
    EXPECT_EQ(rows[2].source, "/share/a.mp3");
    const JournalEntry& failed = rows[1];
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.error, "No space left on device");
    EXPECT_EQ(failed.service, "Kazaa");
    EXPECT_EQ(failed.rule, "Move music");
    EXPECT_EQ(failed.action, "move");
    EXPECT_EQ(failed.target, "/music");
    EXPECT_EQ(failed.size, 1234);
    EXPECT_EQ(failed.mtimeNs, 1700000000123456789LL);
    EXPECT_EQ(failed.timeMs, 1000);

    const auto last = j.Last(2);
    ASSERT_EQ(last.size(), 2u);
    EXPECT_EQ(last[0].source, "/share/b.mp3");
    EXPECT_EQ(last[1].source, "/share/c.mp3");
    ASSERT_TRUE(j.Get(rows[0].id).has_value());
    EXPECT_EQ(j.Get(rows[0].id)->source, "/share/c.mp3");
    EXPECT_FALSE(j.Get(9999).has_value());
}

TEST_F(JournalTest, PagesFiltersAndFailuresOnly) {
    Journal j(path_);
    std::vector<JournalEntry> pass;
    for (int i = 0; i < 50; ++i) pass.push_back(Entry("song " + std::to_string(i) + ".mp3", i % 5));
    pass.push_back(Entry("100%_done.mp3"));
    ASSERT_TRUE(j.Append(pass));

    JournalQuery q;
    q.limit = 20;
    const auto first = j.Read(q);
    ASSERT_EQ(first.size(), 20u);
    q.beforeId = first.back().id;
    const auto second = j.Read(q);
    ASSERT_EQ(second.size(), 20u);
    EXPECT_LT(second.front().id, first.back().id);

    JournalQuery failures;
    failures.failuresOnly = true;
    EXPECT_EQ(j.Read(failures).size(), 10u);
    // Text is matched anywhere, without regard to letter case; "%" and "_"
    // are plain characters.
    JournalQuery text;
    text.text = "SONG 1";
    EXPECT_EQ(j.Read(text).size(), 11u);  // 1, 10..19
    text.text = "0%_";
    ASSERT_EQ(j.Read(text).size(), 1u);
    text.text = "space left";
    EXPECT_EQ(j.Read(text).size(), 10u);
    // Newer than what a view already shows.
    ASSERT_TRUE(j.Append({Entry("late.mp3")}));
    JournalQuery newer;
    newer.afterId = first.front().id;
    ASSERT_EQ(j.Read(newer).size(), 1u);
    EXPECT_EQ(j.Read(newer)[0].source, "/share/late.mp3");
}

TEST_F(JournalTest, PruningDropsWhatIsTooOldAndTheOldestBeyondTheLimit) {
    Journal j(path_);
    const std::int64_t day = 86400000, now = 400 * day;
    ASSERT_TRUE(
        j.Append({Entry("ancient", true, now - 181 * day), Entry("old", true, now - 179 * day),
                  Entry("a", true, now), Entry("b", true, now), Entry("c", true, now)}));
    ASSERT_TRUE(j.Prune(now, 180, 3));
    const auto last = j.Last(10);
    ASSERT_EQ(last.size(), 3u);
    EXPECT_EQ(last[0].source, "/share/a");
    ASSERT_TRUE(j.Prune(now, 180, 1000000));
    EXPECT_EQ(j.Last(10).size(), 3u);
}

TEST_F(JournalTest, ADamagedFileIsSetAsideAndANewJournalBegun) {
    fs::create_directories(fs::path(path_).parent_path());
    std::ofstream(path_, std::ios::binary) << std::string(4096, 'x');
    Journal j(path_);
    ASSERT_TRUE(j.Append({Entry("a")}));
    EXPECT_TRUE(fs::exists(path_ + ".damaged"));
    EXPECT_EQ(j.Last(5).size(), 1u);
    std::string told;
    ASSERT_TRUE(j.TakeNewProblem(told));
    EXPECT_NE(told.find("damaged"), std::string::npos) << told;
    EXPECT_FALSE(j.TakeNewProblem(told));  // told once
}

TEST_F(JournalTest, AnUnreachableJournalKeepsTheEntriesUntilItCanTakeThem) {
    // The state folder cannot be made: a regular file stands in its way.
    std::ofstream((dir_ / "state").string()) << "x";
    Journal j(path_);
    const auto start = std::chrono::steady_clock::now();
    const kb::Status st = j.Append({Entry("a"), Entry("b")});
    EXPECT_FALSE(st);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(j.Waiting(), 2u);
    EXPECT_TRUE(j.Read(JournalQuery{}).empty());
    std::string told;
    EXPECT_TRUE(j.TakeNewProblem(told));
    EXPECT_NE(told.find(path_), std::string::npos) << told;
    EXPECT_FALSE(j.Append({Entry("c")}));
    EXPECT_FALSE(j.TakeNewProblem(told));  // the same problem is not told again

    fs::remove(dir_ / "state");
    ASSERT_TRUE(j.Append({Entry("d")}));
    EXPECT_EQ(j.Waiting(), 0u);
    EXPECT_EQ(j.Last(10).size(), 4u);
    EXPECT_TRUE(j.Problem().empty());
}

TEST_F(JournalTest, ALockedJournalDoesNotHoldThePassUp) {
    Journal j(path_);
    ASSERT_TRUE(j.Append({Entry("a")}));
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(j.Append({Entry("b")}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_NE(j.Problem().find("in use"), std::string::npos) << j.Problem();
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    ASSERT_TRUE(j.Append({Entry("c")}));
    EXPECT_EQ(j.Last(10).size(), 3u);
}

TEST_F(JournalTest, ReadersSeeWholePassesWhileAPassIsWritten) {
    Journal writer(path_);
    ASSERT_TRUE(writer.Append({Entry("first")}));
    std::atomic<bool> done{false};
    std::thread passes([&] {
        for (int p = 0; p < 200; ++p) {
            std::vector<JournalEntry> pass(10, Entry("p" + std::to_string(p)));
            EXPECT_TRUE(writer.Append(std::move(pass)));
        }
        done = true;
    });
    Journal reader(path_, Journal::Mode::ReadOnly);
    std::size_t seen = 0;
    while (!done) {
        JournalQuery q;
        q.limit = 100000;
        const std::size_t n = reader.Read(q).size();
        EXPECT_EQ((n - 1) % 10, 0u) << "a pass was seen half written";
        EXPECT_GE(n, seen);
        seen = n;
    }
    passes.join();
    EXPECT_EQ(reader.Last(5000).size(), 2001u);
}

TEST_F(JournalTest, AKillInTheMiddleLosesAtMostThePassInFlight) {
    for (int round = 0; round < 3; ++round) {
        const pid_t child = fork();
        if (child == 0) {
            Journal j(path_);
            for (int p = 0;; ++p) {
                std::vector<JournalEntry> pass(50, Entry("pass " + std::to_string(p)));
                static_cast<void>(j.Append(std::move(pass)));
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + 70 * round));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    Journal j(path_, Journal::Mode::ReadOnly);
    JournalQuery q;
    q.limit = 10000000;
    std::map<std::string, int> perPass;
    for (const JournalEntry& e : j.Read(q)) ++perPass[e.source];
    ASSERT_FALSE(perPass.empty());
    for (const auto& [pass, n] : perPass) EXPECT_EQ(n % 50, 0) << pass << " is cut";
}

TEST_F(JournalTest, FiguresPerRuleAndUndoneEntries) {
    Journal j(path_);
    JournalEntry other = Entry("x");
    other.rule = "Other rule";
    ASSERT_TRUE(
        j.Append({Entry("a", true, 100), Entry("b", false, 200), Entry("c", true, 300), other}));
    const kb::RuleFigures f = j.Figures("Kazaa", "Move music");
    EXPECT_EQ(f.lastTimeMs, 300);
    EXPECT_EQ(f.files, 2);
    EXPECT_EQ(f.lastError, "No space left on device");
    EXPECT_EQ(j.Figures("Kazaa", "Nothing").files, 0);

    const std::int64_t moved = j.Last(4)[2].id;
    JournalEntry undo = Entry("c", true, 400);
    undo.action = "undo move";
    std::int64_t undoId = 0;
    ASSERT_TRUE(j.Append({undo}, &undoId));
    ASSERT_TRUE(j.MarkUndone(moved, undoId));
    EXPECT_EQ(j.Get(moved)->undoneBy, undoId);
    // An undo is not an action of the rule.
    EXPECT_EQ(j.Figures("Kazaa", "Move music").files, 2);
}

}  // namespace

namespace {

TEST_F(JournalTest, TheSameFailureOverAndOverIsOneRowThatCounts) {
    Journal j(path_);
    ASSERT_TRUE(j.Append({Entry("a.mp3", false, 1000), Entry("a.mp3", false, 6000)}));
    ASSERT_TRUE(j.Append({Entry("a.mp3", false, 16000)}));
    std::vector<JournalEntry> rows = j.Last(10);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].repeats, 3);
    EXPECT_EQ(rows[0].lastMs, 16000);
    EXPECT_EQ(rows[0].timeMs, 1000);

    // Another reason, another file, or a success in between each start a row.
    JournalEntry other = Entry("a.mp3", false, 20000);
    other.error = "disk full";
    ASSERT_TRUE(j.Append({other, Entry("b.mp3", false, 21000), Entry("a.mp3", true, 22000),
                          Entry("a.mp3", false, 23000)}));
    rows = j.Last(10);
    ASSERT_EQ(rows.size(), 5u);
    for (std::size_t k = 1; k < rows.size(); ++k) EXPECT_EQ(rows[k].repeats, 1) << k;
}

}  // namespace
