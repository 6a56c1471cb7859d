#include "runtime/scanscheduler.h"

#include <QtConcurrent/QtConcurrentRun>
#include <exception>
#include <utility>

#include "journal/journal.h"
#include "platform/localtime.h"

namespace kb {

ScanScheduler::ScanScheduler(ServiceStore& store, ScanEnvironment env, Journal* journal,
                             QObject* parent)
    : QObject(parent), store_(store), env_(std::move(env)), journal_(journal) {
    env_.stop = &stop_;
    // Passes never overlap, so they can share one keeper of the folders' listings.
    if (!env_.keeper) env_.keeper = std::make_shared<ListingKeeper>();
    setObjectName(QStringLiteral("Timer1"));
    timer_.setObjectName(QStringLiteral("Timer1"));
    timer_.setSingleShot(true);
    timer_.setInterval(kDefaultInterval);
    connect(&timer_, &QTimer::timeout, this, &ScanScheduler::StartPass);
    connect(&watcher_, &QFutureWatcher<ScanResult>::finished, this, &ScanScheduler::passEnded);
    connect(&jobWatcher_, &QFutureWatcher<void>::finished, this, &ScanScheduler::jobEnded);
}

ScanScheduler::~ScanScheduler() {
    // The worker only touches its snapshot, but an interrupted move would
    // leave a half-copied target behind: the file in hand is finished, and
    // nothing after it is started.
    stop_ = true;
    watcher_.disconnect(this);
    jobWatcher_.disconnect(this);
    watcher_.waitForFinished();
    jobWatcher_.waitForFinished();
}

void ScanScheduler::SetEnabled(bool on) {
    enabled_ = on;
    if (!on)
        timer_.stop();
    else if (!busy_ && !jobRunning_)
        timer_.start();
}

void ScanScheduler::Stop() {
    stop_ = true;
    SetEnabled(false);
}

void ScanScheduler::SetInterval(int ms) { timer_.setInterval(ms); }

void ScanScheduler::StartPass() {
    if (busy_ || jobRunning_) return;
    timer_.stop();
    busy_ = true;
    std::vector<rServiceRules> snapshot = TakeScanSnapshot(store_);
    // The services gone from the table take their state with them.
    state_.Keep(store_);
    watcher_.setFuture(
        QtConcurrent::run([snapshot = std::move(snapshot), state = state_, env = env_,
                           journal = journal_, replaced = std::move(replaced_)]() mutable {
            // Baselines the last pass replaced, freed here rather than on the GUI thread.
            replaced.clear();
            ScanResult result;
            try {
                result = RunScanPass(snapshot, state, env);
            } catch (const std::exception&) {
                // Only running out of memory gets here (a service's own
                // failure is an outcome): no baselines are stored, so the
                // next pass starts from the old ones.
                return ScanResult{};
            }
            if (journal && (!result.outcomes.empty() || !result.notices.empty())) {
                std::vector<JournalEntry> entries;
                entries.reserve(result.outcomes.size() + result.notices.size());
                for (const std::string& n : result.notices)
                    entries.push_back(WarningEntry(n, WallClockNs() / 1000000));
                for (const ActionOutcome& o : result.outcomes)
                    entries.push_back(JournalEntryFor(o));
                // A journal that cannot take them keeps them for the next pass.
                static_cast<void>(journal->Append(std::move(entries)));
            }
            return result;
        }));
    replaced_.clear();
}

void ScanScheduler::passEnded() {
    // WaitForPass may have delivered this pass's end already.
    if (!busy_) return;
    ScanResult result = watcher_.result();
    state_.Store(result, &replaced_);
    lastOutcomes_ = std::move(result.outcomes);
    lastNotices_ = std::move(result.notices);
    busy_ = false;
    ++passCount_;
    emit PassFinished();
    if (!jobs_.empty())
        startNextJob();
    else
        resume();
}

int ScanScheduler::PutBack(const std::string& folder, const std::string& name,
                           const std::string& rule) {
    return state_.PutBack(store_, folder, name, env_.foldersAsDownloads, rule);
}

int ScanScheduler::Release(const std::string& folder, const std::string& name,
                           const std::string& rule) {
    return state_.Release(store_, folder, name, rule);
}

void ScanScheduler::resume() {
    if (enabled_ && !busy_ && !jobRunning_) timer_.start();
}

void ScanScheduler::RunBetweenPasses(std::function<void()> job, std::function<void()> done) {
    jobs_.push_back(Job{std::move(job), std::move(done)});
    if (!busy_ && !jobRunning_) startNextJob();
}

void ScanScheduler::startNextJob() {
    if (jobs_.empty()) return;
    jobRunning_ = true;
    timer_.stop();
    std::function<void()> work = jobs_.front().work;
    jobWatcher_.setFuture(QtConcurrent::run([work = std::move(work)] {
        try {
            if (work) work();
        } catch (const std::exception&) {
            // A job reports through its own results; it must not end the worker.
        }
    }));
}

void ScanScheduler::jobEnded() {
    if (!jobRunning_) return;
    Job finished = std::move(jobs_.front());
    jobs_.pop_front();
    jobRunning_ = false;
    if (finished.done) finished.done();
    if (!jobs_.empty())
        startNextJob();
    else
        resume();
}

void ScanScheduler::WaitForPass() {
    if (busy_) {
        watcher_.waitForFinished();
        // The finished signal is queued to this thread; deliver it now so the
        // baselines are stored before the caller goes on.
        if (busy_) passEnded();
    }
    while (jobRunning_) {
        jobWatcher_.waitForFinished();
        if (jobRunning_) jobEnded();
    }
}

}  // namespace kb
