// The scan timer: every five seconds a scan pass over the enabled services,
// run on a worker thread so a long copy or upload never freezes the window.
// The pass works on a snapshot taken on the GUI thread; its baselines come
// back to the GUI thread and are stored by service identity. The next pass is
// scheduled only when the previous one has ended, so passes never overlap.
#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QTimer>

#include "engine/scanpass.h"
#include "store/servicetable.h"

namespace kb {

class ScanTimer : public QObject {
    Q_OBJECT

public:
    static constexpr int kDefaultInterval = 5000;

    ScanTimer(ServiceStore& store, ScanEnvironment env, QObject* parent = nullptr);
    // Waits for a pass still running: its file operations must not be cut off.
    ~ScanTimer() override;

    // On: the next pass starts one interval from now (or one interval after
    // the running pass ends). Off: no further pass starts; a running pass
    // still finishes and stores its baselines.
    void SetEnabled(bool on);
    bool Enabled() const { return enabled_; }

    void SetInterval(int ms);

    // The completion gate the next pass uses.
    void SetCompletionGate(const CompletionGate& gate) { env_.gate = gate; }
    const CompletionGate& Gate() const { return env_.gate; }
    int Interval() const { return timer_.interval(); }

    // True while a pass runs on the worker.
    bool Busy() const { return busy_; }
    // Passes finished since creation.
    int PassCount() const { return passCount_; }
    // Blocks until the running pass (if any) has ended and been stored.
    void WaitForPass();

    // The timer's handler: starts one pass unless one is running.
    void Timer1Timer();

    // The underlying timer (objectName "Timer1").
    const QTimer& Timer() const { return timer_; }

signals:
    // A pass ended and its baselines are in the table.
    void PassFinished();

private:
    void passEnded();

    ServiceStore& store_;
    ScanEnvironment env_;
    QTimer timer_;
    QFutureWatcher<ScanResult> watcher_;
    bool enabled_ = false;
    bool busy_ = false;
    int passCount_ = 0;
};

}  // namespace kb
