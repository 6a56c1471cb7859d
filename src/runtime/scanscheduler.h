// The scan timer: every five seconds a scan pass over the enabled services,
// run on a worker thread so a long copy or upload never freezes the window.
// The pass works on a snapshot taken on the GUI thread; its baselines come
// back to the GUI thread and are stored by service identity, and its
// outcomes go to the journal from the worker. The next pass is scheduled
// only when the previous one has ended, so passes never overlap; work that
// must not meet a pass (undo) runs between two.
#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <deque>
#include <functional>

#include "engine/scanpass.h"
#include "store/servicetable.h"

namespace kb {

class Journal;

class ScanScheduler : public QObject {
    Q_OBJECT

public:
    static constexpr int kDefaultInterval = 5000;

    // `journal` may be null: nothing is recorded.
    ScanScheduler(ServiceStore& store, ScanEnvironment env, Journal* journal = nullptr,
                  QObject* parent = nullptr);
    // Waits for a pass still running: its file operations must not be cut off.
    ~ScanScheduler() override;

    // On: the next pass starts one interval from now (or one interval after
    // the running pass ends). Off: no further pass starts; a running pass
    // still finishes and stores its baselines.
    void SetEnabled(bool on);
    bool Enabled() const { return enabled_; }

    // Ends scanning for good: no further pass starts, and a running one
    // ends once the file in hand is finished.
    void Stop();

    void SetInterval(int ms);
    int Interval() const { return timer_.interval(); }

    // What the program's options decide for the next pass (gate, Trash,
    // folders as downloads).
    void SetSettings(const Settings& options) { ApplySettings(env_, options); }
    bool FoldersAsDownloads() const { return env_.foldersAsDownloads; }
    // The download clients the next passes ask (none: null).
    void SetClients(std::shared_ptr<ClientDesk> clients) { env_.clients = std::move(clients); }
    const std::shared_ptr<ClientDesk>& Clients() const { return env_.clients; }
    // The completion gate and the delete the next pass uses.
    void SetCompletionGate(const CompletionGate& gate) { env_.gate = gate; }
    const CompletionGate& Gate() const { return env_.gate; }
    void SetDeleteToTrash(bool on) { env_.deleteToTrash = on; }
    bool DeleteToTrash() const { return env_.deleteToTrash; }

    // True while a pass runs on the worker.
    bool Busy() const { return busy_; }
    // Passes finished since creation.
    int PassCount() const { return passCount_; }
    // What the last pass did, and what it had to tell besides.
    const std::vector<ActionOutcome>& LastOutcomes() const { return lastOutcomes_; }
    const std::vector<std::string>& LastNotices() const { return lastNotices_; }
    // Blocks until the running pass (if any) has ended and been stored, and
    // the work queued behind it has run.
    void WaitForPass();

    // Runs `job` on the worker while no pass runs (after the running one,
    // before the next), then `done` on this thread. Jobs run one at a time,
    // in the order given.
    void RunBetweenPasses(std::function<void()> job, std::function<void()> done = {});

    // Starts one pass now unless a pass or a job runs (what the timer does
    // each interval).
    void StartPass();

    // What the passes keep of each service between passes (baselines,
    // files waiting to settle). Read and changed only while no pass runs:
    // on this thread between passes.
    const ScanState& State() const { return state_; }
    // A file put back into a shared folder (by undo) is no new download,
    // and the rule `rule` (when given) leaves it alone until it changes.
    int PutBack(const std::string& folder, const std::string& name, const std::string& rule = {});
    // Lets `rule` take the file again at the next pass: an undo's hold or a
    // failure's wait ends.
    int Release(const std::string& folder, const std::string& name, const std::string& rule);

    // The underlying timer (objectName "Timer1").
    const QTimer& Timer() const { return timer_; }

signals:
    // A pass ended: its baselines are in the table, its outcomes in the journal.
    void PassFinished();

private:
    struct Job {
        std::function<void()> work;
        std::function<void()> done;
    };
    void passEnded();
    void startNextJob();
    void jobEnded();
    void resume();

    ServiceStore& store_;
    ScanEnvironment env_;
    Journal* journal_;
    QTimer timer_;
    QFutureWatcher<ScanResult> watcher_;
    QFutureWatcher<void> jobWatcher_;
    std::deque<Job> jobs_;
    bool jobRunning_ = false;
    std::atomic<bool> stop_{false};
    bool enabled_ = false;
    bool busy_ = false;
    int passCount_ = 0;
    std::vector<ActionOutcome> lastOutcomes_;
    std::vector<std::string> lastNotices_;
    std::vector<SharedListing> replaced_;  // freed by the next pass, on the worker
    ScanState state_;
};

}  // namespace kb
