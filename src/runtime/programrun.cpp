#include "runtime/programrun.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <exception>

#include "platform/instanceguard.h"
#include "platform/termination.h"
#include "runtime/session.h"
#include "store/additionaloptions.h"
#include "store/settings.h"

namespace kb {

ProgramRun::ProgramRun() : journal_(Journal::DefaultPath()) {
    termFd_ = WatchTerminationRequests();
    if (termFd_ >= 0) {
        termNotifier_ = std::make_unique<QSocketNotifier>(termFd_, QSocketNotifier::Read);
        connect(termNotifier_.get(), &QSocketNotifier::activated, this, &ProgramRun::takeRequests);
    }
}

ProgramRun::~ProgramRun() {
    End();
    session_.reset();
}

void ProgramRun::End() {
    if (ended_) return;
    ended_ = true;
    if (session_) {
        // A pass still running finishes the file in hand and stops.
        session_->Scheduler().Stop();
        session_->Scheduler().WaitForPass();
    }
    termNotifier_.reset();
    ReleaseInstanceGuard();
}

void ProgramRun::takeRequests() {
    while (TakeTerminationRequest(termFd_)) {
    }
    // Before the loop runs, a start-up box may be open: ending the loop ends
    // its loop too, and `terminating_` keeps any later box from waiting. A
    // log-out never waits on a box.
    terminating_ = true;
    emit TerminationRequested();
    QCoreApplication::exit(0);
}

bool ProgramRun::Prepare(const QString& configFile, const StartupReports& reports) {
    auto quietWhenEnding = [this](const std::function<void(const std::string&)>& report) {
        return [this, report](const std::string& text) {
            if (!terminating_ && report) report(text);
        };
    };
    PrepareProgramState(state_, configFile, journal_,
                        {quietWhenEnding(reports.warn), quietWhenEnding(reports.error)});
    if (terminating_) {
        try {
            SaveAdditionalOptions(state_.additional);
        } catch (const std::exception&) {
            // Nobody is left to tell; what was stored before stays.
        }
        return false;
    }
    session_ = std::make_unique<Session>(state_);
    // kbconf.ini changed behind the program's back (an import, an editor) or
    // SIGHUP: the rules are read again between two passes.
    session_->WatchConfigFile();
    reloadFd_ = WatchReloadRequests();
    if (reloadFd_ >= 0) {
        reloadNotifier_ = std::make_unique<QSocketNotifier>(reloadFd_, QSocketNotifier::Read);
        connect(reloadNotifier_.get(), &QSocketNotifier::activated, this, [this] {
            while (TakeTerminationRequest(reloadFd_)) {
            }
            // The options too: Settings... of another copy, or registry.reg edited.
            LoadSettings(state_.settings);
            session_->ApplySettings();
            session_->ReloadConfig();
        });
    }
    return true;
}

int ProgramRun::Exec() {
    if (terminating_) return 0;
    session_->Scheduler().SetEnabled(true);
    const int rc = QCoreApplication::exec();
    End();
    return rc;
}

}  // namespace kb
