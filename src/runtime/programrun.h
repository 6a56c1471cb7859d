// One run of the program that acts, with or without a window: from holding
// the single-instance guard to its release. It watches for termination
// requests from the start (SIGTERM, Ctrl+C, the session ending), prepares
// the program state and the journal, makes the session, runs the event loop
// with scanning switched on, and on the way out lets a running pass finish
// the file in hand before the guard is released. The window and the
// headless run differ only in what they put around it.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "journal/journal.h"
#include "runtime/startup.h"

class QSocketNotifier;

namespace kb {

class Session;

class ProgramRun : public QObject {
    Q_OBJECT

public:
    // Call once the guard is held and the application object exists.
    ProgramRun();
    // Ends the run (End) if it has not ended.
    ~ProgramRun() override;

    // True once a termination request came.
    bool Terminating() const { return terminating_; }

    // Opens the journal, reads the settings, options and configuration
    // (`configFile` when given; problems through `reports`) and makes the
    // session. False when a termination request came meanwhile: the
    // settings read so far are saved and the run should end at once.
    bool Prepare(const QString& configFile, const StartupReports& reports);

    ProgramState& State() { return state_; }
    Journal& TheJournal() { return journal_; }
    // Made by Prepare.
    Session& TheSession() { return *session_; }

    // Switches scanning on and runs the event loop until the program is
    // asked to end; returns its exit status. The run has ended then (End).
    int Exec();
    // Stops scanning (a running pass finishes the file in hand first), stops
    // watching for termination requests and releases the guard: a copy
    // started from now on runs.
    void End();

signals:
    // A termination request arrived (the loop is then ended right after the
    // receivers ran): whoever holds settings not yet written saves them now.
    void TerminationRequested();

private:
    void takeRequests();

    bool terminating_ = false;
    bool ended_ = false;
    int termFd_ = -1;
    std::unique_ptr<QSocketNotifier> termNotifier_;
    int reloadFd_ = -1;
    std::unique_ptr<QSocketNotifier> reloadNotifier_;
    Journal journal_;
    ProgramState state_;
    std::unique_ptr<Session> session_;
};

}  // namespace kb
