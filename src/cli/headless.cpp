#include "cli/headless.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <exception>
#include <iostream>

#include "cli/configread.h"
#include "journal/journal.h"
#include "platform/instanceguard.h"
#include "runtime/outcometext.h"
#include "runtime/programrun.h"
#include "runtime/scanscheduler.h"
#include "runtime/session.h"
#include "runtime/startup.h"
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

    // A server does not run on what it could make of a damaged file (and
    // save over it later): it ends as the dry run does, with the file as it was.
    {
        ServiceStore probe;
        if (ReadTableForCommand(ConfigPathOf(command), probe, std::cerr) == TableRead::Refused)
            return 1;
    }

    ProgramRun run;
    // What the window would put in a message box goes to standard error
    // and, so that it is still there later, into the journal.
    Journal& journal = run.TheJournal();
    auto tell = [&journal](const std::string& text) {
        std::cerr << "kestrelbox: " << text << '\n';
        // A journal that cannot take it keeps it for its next write.
        static_cast<void>(
            journal.Append({WarningEntry(text, QDateTime::currentMSecsSinceEpoch())}));
    };
    if (!run.Prepare(command.configFile, {tell, tell})) {
        run.End();
        std::cout << "Kestrelbox ends." << std::endl;
        return 0;
    }
    const ProgramState& state = run.State();
    QObject::connect(&run.TheSession(), &Session::ConfigReloaded, &app,
                     [](const QString& text) { std::cout << text.toStdString() << std::endl; });
    QObject::connect(&run.TheSession(), &Session::ReloadRefused, &app,
                     [tell](const QString& text) { tell(text.toStdString()); });
    QObject::connect(&run.TheSession(), &Session::MailFailed, &app,
                     [tell](const QString& text) { tell(text.toStdString()); });
    QObject::connect(&run.TheSession(), &Session::MailDelivered, &app, [](const QString& subject) {
        std::cout << "Mailed \"" << subject.toStdString() << "\"." << std::endl;
    });
    const ScanScheduler& scanner = run.TheSession().Scheduler();
    QObject::connect(&scanner, &ScanScheduler::PassFinished, &app, [&] {
        for (const std::string& n : scanner.LastNotices()) std::cerr << "kestrelbox: " << n << '\n';
        for (const ActionOutcome& o : scanner.LastOutcomes())
            (o.ok ? std::cout : std::cerr) << OutcomeLine(o) << '\n';
        std::cout.flush();
        std::string problem;
        if (journal.TakeNewProblem(problem))
            std::cerr << "kestrelbox: the activity journal: " << problem << '\n';
    });

    // A first start makes the file the window would make, and says how rules get there.
    if (!QFileInfo::exists(QString::fromStdString(state.ConfigFilePath))) {
        run.TheSession().SaveConfig();
        std::cout << "There was no " << state.ConfigFilePath
                  << " yet; it is made now, with no rules. Write rules in a rule file (see "
                     "rules-example.toml among the documentation) and take them in with: "
                     "kestrelbox --import-rules FILE"
                  << std::endl;
    }
    int services = 0;
    const int rules = CountRules(state.store, services);
    std::cout << "Kestrelbox " << kVersionText << " runs headless (process "
              << QCoreApplication::applicationPid() << "): " << services << " service"
              << (services == 1 ? "" : "s") << " with " << rules << " rule"
              << (rules == 1 ? "" : "s") << " switched on, from " << state.ConfigFilePath
              << std::endl;
    if (rules == 0)
        std::cout << "No rule is switched on, so nothing will be done until one is (kestrelbox "
                     "--rules lists them; the rules are read again when the file changes)."
                  << std::endl;

    const int rc = run.Exec();
    std::cout << "Kestrelbox ends." << std::endl;
    return rc;
}

}  // namespace kb
