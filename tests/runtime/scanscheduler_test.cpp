// The scheduler's threads: passes run on a worker while this thread goes on,
// work queued between passes never meets one, the journal is written by the
// worker while it is read here, and a stop lets the file in hand finish.
// These tests are what the ThreadSanitizer build (make test-tsan) watches.
#include "runtime/scanscheduler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "builders.h"
#include "engine/fakescan.h"
#include "journal/journal.h"
#include "platform/xdg_sandbox.h"

namespace {

using namespace kb;
namespace fs = std::filesystem;

class SchedulerTest : public ::testing::Test {
protected:
    void SetUp() override {
        store_.InitServiceTable(nullptr);
        share_ = sandbox_.Root() + "/share";
        fs::create_directories(share_);
        scan_.env.clock = [] { return WallClockNs(); };  // read on the worker
    }

    // Kazaa switched on over the share with this rule.
    void serve(RuleRec rule) {
        store_.ServiceTable[0].enabled = true;
        store_.ServiceTable[0].sharedir = share_;
        store_.ServiceTable[0].rulelist.rules = {std::move(rule)};
    }
    void files(int n) {
        for (int i = 0; i < n; ++i) std::ofstream(share_ + "/f" + std::to_string(i) + ".bin") << i;
    }
    // A launch that records its calls and waits while `hold` is set.
    void holdingLaunch() {
        scan_.env.launch = [this](const std::string&, const std::vector<std::string>&) {
            {
                std::lock_guard lock(mutex_);
                events_.push_back("launch");
            }
            launched_ = launched_ + 1;
            while (hold_) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            return Status{true, {}};
        };
    }
    void waitUntil(const std::function<bool()>& ready) {
        QElapsedTimer clock;
        clock.start();
        while (!ready() && clock.elapsed() < 10000) QCoreApplication::processEvents();
        ASSERT_TRUE(ready());
    }
    RuleRec everyPassLaunch() {
        RuleRec r = kbtest::Rule(trgFileCount, {kbtest::LaunchOf("/bin/true", "mfile")});
        r.fcnt = 0;
        return r;
    }

    test::XdgSandbox sandbox_;
    std::string share_;
    ServiceStore store_;
    kbtest::FakeScan scan_;
    std::mutex mutex_;
    std::vector<std::string> events_;
    std::atomic<int> launched_{0};
    std::atomic<bool> hold_{false};
};

TEST_F(SchedulerTest, WorkQueuedDuringAPassRunsAfterItAndItsEndOnThisThread) {
    files(1);
    serve(everyPassLaunch());
    holdingLaunch();
    ScanScheduler scheduler(store_, scan_.env);
    hold_ = true;
    scheduler.StartPass();
    ASSERT_TRUE(scheduler.Busy());
    waitUntil([&] { return launched_ > 0; });

    QThread* here = QThread::currentThread();
    bool doneHere = false;
    scheduler.RunBetweenPasses(
        [this] {
            std::lock_guard lock(mutex_);
            events_.push_back("job");
        },
        [&] { doneHere = QThread::currentThread() == here; });
    // A pass asked for while the job waits does not start.
    scheduler.StartPass();
    hold_ = false;
    scheduler.WaitForPass();
    EXPECT_TRUE(doneHere);
    EXPECT_FALSE(scheduler.Busy());
    {
        std::lock_guard lock(mutex_);
        EXPECT_EQ(events_, (std::vector<std::string>{"launch", "job"}));
    }
    EXPECT_EQ(scheduler.PassCount(), 1);

    // With no pass running the job starts at once, and a pass waits for it.
    hold_ = true;
    std::atomic<bool> inJob{false};
    scheduler.RunBetweenPasses([&] {
        inJob = true;
        while (hold_) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    waitUntil([&] { return inJob.load(); });
    scheduler.StartPass();
    EXPECT_FALSE(scheduler.Busy());
    hold_ = false;
    scheduler.WaitForPass();
    EXPECT_EQ(scheduler.PassCount(), 1);
}

TEST_F(SchedulerTest, TheWorkerWritesTheJournalWhileThisThreadReadsIt) {
    const std::string backup = sandbox_.Root() + "/backup";
    fs::create_directories(backup);
    serve(kbtest::Rule(trgNewFile, {kbtest::CopyTo(backup)}));
    Journal journal(sandbox_.Root() + "/state/activity.sqlite3");
    ScanScheduler scheduler(store_, scan_.env, &journal);
    scheduler.StartPass();  // the baseline
    scheduler.WaitForPass();
    files(40);
    QSignalSpy finished(&scheduler, &ScanScheduler::PassFinished);
    scheduler.StartPass();
    int reads = 0;
    while (scheduler.Busy() && finished.isEmpty()) {
        (void)journal.Last(10);
        ++reads;
        QCoreApplication::processEvents();
    }
    scheduler.WaitForPass();
    EXPECT_GT(reads, 0);
    EXPECT_EQ(scheduler.LastOutcomes().size(), 40u);
    EXPECT_EQ(journal.Last(100).size(), 40u);
    EXPECT_EQ(std::distance(fs::directory_iterator(backup), fs::directory_iterator()), 40);
}

TEST_F(SchedulerTest, AStopDuringAPassFinishesTheFileInHandAndStartsNoOther) {
    files(5);
    RuleRec each = kbtest::Rule(trgFileCount, {kbtest::LaunchOf("/bin/true", "file")});
    each.fcnt = 0;
    serve(each);
    holdingLaunch();
    hold_ = true;
    {
        ScanScheduler scheduler(store_, scan_.env);
        scheduler.SetEnabled(true);
        scheduler.StartPass();
        waitUntil([&] { return launched_ > 0; });
        scheduler.Stop();
        EXPECT_FALSE(scheduler.Enabled());
        hold_ = false;
        // The destructor waits for the pass.
    }
    EXPECT_EQ(launched_, 1);
}

TEST_F(SchedulerTest, PassesComeOneIntervalApartAndNeverOverlap) {
    files(1);
    serve(everyPassLaunch());
    std::atomic<int> running{0}, most{0};
    scan_.env.launch = [&](const std::string&, const std::vector<std::string>&) {
        const int now = ++running;
        most = std::max(most.load(), now);
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
        --running;
        return Status{true, {}};
    };
    ScanScheduler scheduler(store_, scan_.env);
    scheduler.SetInterval(1);
    QSignalSpy finished(&scheduler, &ScanScheduler::PassFinished);
    scheduler.SetEnabled(true);
    waitUntil([&] { return finished.size() >= 5; });
    scheduler.SetEnabled(false);
    scheduler.WaitForPass();
    EXPECT_EQ(most, 1);
    EXPECT_FALSE(scheduler.Timer().isActive());
}

}  // namespace
