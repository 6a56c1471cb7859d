#include "shell/scantimer.h"

#include <QtConcurrent/QtConcurrentRun>
#include <exception>
#include <utility>

namespace kb {

ScanTimer::ScanTimer(ServiceStore& store, ScanEnvironment env, QObject* parent)
    : QObject(parent), store_(store), env_(std::move(env)) {
    setObjectName(QStringLiteral("Timer1"));
    timer_.setObjectName(QStringLiteral("Timer1"));
    timer_.setSingleShot(true);
    timer_.setInterval(kDefaultInterval);
    connect(&timer_, &QTimer::timeout, this, &ScanTimer::Timer1Timer);
    connect(&watcher_, &QFutureWatcher<ScanResult>::finished, this, &ScanTimer::passEnded);
}

ScanTimer::~ScanTimer() {
    // The worker only touches its snapshot, but an interrupted move would
    // leave a half-copied target behind; let it end first.
    watcher_.disconnect(this);
    watcher_.waitForFinished();
}

void ScanTimer::SetEnabled(bool on) {
    enabled_ = on;
    if (!on)
        timer_.stop();
    else if (!busy_)
        timer_.start();
}

void ScanTimer::SetInterval(int ms) { timer_.setInterval(ms); }

void ScanTimer::Timer1Timer() {
    if (busy_) return;
    timer_.stop();
    busy_ = true;
    std::vector<rServiceRules> snapshot = TakeScanSnapshot(store_);
    watcher_.setFuture(QtConcurrent::run([snapshot = std::move(snapshot), env = env_]() {
        try {
            return RunScanPass(snapshot, env);
        } catch (const std::exception&) {
            // The engine reports nothing to the user. A pass that could not
            // complete stores no baselines, so the next pass starts afresh
            // from the old ones rather than from a partial listing.
            return ScanResult{};
        }
    }));
}

void ScanTimer::passEnded() {
    // WaitForPass may have delivered this pass's end already.
    if (!busy_) return;
    StoreBaselines(store_, watcher_.result());
    busy_ = false;
    ++passCount_;
    if (enabled_) timer_.start();
    emit PassFinished();
}

void ScanTimer::WaitForPass() {
    if (!busy_) return;
    watcher_.waitForFinished();
    // The finished signal is queued to this thread; deliver it now so the
    // baselines are stored before the caller goes on.
    if (busy_) passEnded();
}

}  // namespace kb
