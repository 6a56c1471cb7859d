#include "shell/headless.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>
#include <exception>
#include <iostream>
#include <memory>

#include "journal/journal.h"
#include "platform/instanceguard.h"
#include "platform/termination.h"
#include "remote/clientdesk.h"
#include "shell/activitypage.h"
#include "shell/scantimer.h"
#include "shell/startup.h"
#include "store/version.h"

namespace kb {

namespace {

int CountRules(const ServiceStore& store, int& services) {
    int rules = 0;
    services = 0;
    for (const rServiceRules& svc : store.ServiceTable) {
        if (!svc.enabled || svc.sharedir.empty()) continue;
        ++services;
        for (const RuleRec& r : svc.rulelist.rules) rules += r.enabled ? 1 : 0;
    }
    return rules;
}

}  // namespace

std::string OutcomeLine(const ActionOutcome& o) {
    const JournalEntry e = JournalEntryFor(o);
    std::string line =
        o.service + " / " + o.rulename + ": " + ActivityModel::ActionText(e).toStdString();
    if (o.raction == actLaunch) {
        line += " " + o.target;
        if (!o.source.empty()) line += " for " + o.source;
    } else {
        line += " " + o.source;
        if (!o.target.empty()) line += " to " + o.target;
    }
    return line + ": " + ActivityModel::ResultText(e).toStdString();
}

int RunHeadless(int argc, char** argv, const CommandLine& command) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppTitle));

    // One copy at a time, with or without a window; a headless copy has
    // nothing to bring forward, so it only says who holds the guard.
    try {
        if (CheckAppAlreadyRunning(kAppTitle, false, false)) {
            std::cerr << AlreadyRunningText(ReadGuardHolder(kAppTitle)).toStdString() << '\n';
            return 0;
        }
    } catch (const std::exception& e) {
        std::cerr << "kestrelbox: " << e.what() << '\n';
        return 1;
    }
    MarkGuardHeadless();

    bool terminating = false;
    const int termFd = WatchTerminationRequests();
    std::unique_ptr<QSocketNotifier> termNotifier;
    if (termFd >= 0) {
        termNotifier = std::make_unique<QSocketNotifier>(termFd, QSocketNotifier::Read);
        QObject::connect(termNotifier.get(), &QSocketNotifier::activated, &app, [&, termFd] {
            while (TakeTerminationRequest(termFd)) {
            }
            terminating = true;
            QCoreApplication::exit(0);
        });
    }

    // What the window would put in a message box goes to standard error
    // and, so that it is still there later, into the journal.
    Journal journal(Journal::DefaultPath());
    auto tell = [&journal](const std::string& text) {
        std::cerr << "kestrelbox: " << text << '\n';
        journal.Append({WarningEntry(text, QDateTime::currentMSecsSinceEpoch())});
    };
    ProgramState state;
    PrepareProgramState(state, command.configFile, journal, {tell, tell});

    ScanTimer scanner(state.store, DefaultScanEnvironment(), &journal);
    scanner.SetOptions(state.options);
    scanner.SetClients(BuildClientDesk(state.store));
    QObject::connect(&scanner, &ScanTimer::PassFinished, &app, [&] {
        for (const std::string& n : scanner.LastNotices()) std::cerr << "kestrelbox: " << n << '\n';
        for (const ActionOutcome& o : scanner.LastOutcomes())
            (o.ok ? std::cout : std::cerr) << OutcomeLine(o) << '\n';
        std::cout.flush();
        std::string problem;
        if (journal.TakeNewProblem(problem))
            std::cerr << "kestrelbox: the activity journal: " << problem << '\n';
    });

    int services = 0;
    const int rules = CountRules(state.store, services);
    std::cout << "Kestrelbox " << kVersionText << " runs headless (process "
              << QCoreApplication::applicationPid() << "): " << services << " service"
              << (services == 1 ? "" : "s") << " with " << rules << " rule"
              << (rules == 1 ? "" : "s") << " switched on, from " << state.ConfigFilePath
              << std::endl;

    int rc = 0;
    if (!terminating) {
        scanner.SetEnabled(true);
        rc = app.exec();
    }
    // A pass still running finishes the file in hand and stops.
    scanner.Stop();
    scanner.WaitForPass();
    termNotifier.reset();
    ReleaseInstanceGuard();
    std::cout << "Kestrelbox ends." << std::endl;
    return rc;
}

}  // namespace kb
