// The start-up sequence: the command line first (a query of the journal
// needs neither a display nor the single-instance guard), then the guard,
// the stores, the window and the message loop.
#include <QApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <QSessionManager>
#include <exception>
#include <iostream>

#include "cli/commandline.h"
#include "cli/dryrunreport.h"
#include "cli/headless.h"
#include "cli/rulefilecommands.h"
#include "journal/journal.h"
#include "platform/display.h"
#include "platform/instanceguard.h"
#include "runtime/programrun.h"
#include "runtime/startup.h"
#include "shell/application.h"
#include "shell/mainwindow.h"
#include "shell/windowlifecycle.h"
#include "store/version.h"
#include "ui/msgbox.h"
#include "ui/programstyle.h"

namespace {

// What a usage error ends with, in the manner of the GNU tools.
constexpr char kHelpHint[] = "Try 'kestrelbox --help'.\n";

QStringList Arguments(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    return args;
}

int RunWindow(int argc, char** argv, const kb::CommandLine& command);

}  // namespace

int main(int argc, char** argv) {
    const kb::CommandLine command = kb::ParseCommandLine(Arguments(argc, argv));
    // A --config file must be there to be used, whatever the mode: starting
    // on an empty configuration instead would look like every rule had
    // gone. An import may make the file.
    if (command.mode != kb::CommandLine::Mode::Error && !command.configFile.isEmpty() &&
        command.mode != kb::CommandLine::Mode::ImportRules) {
        const std::string problem = kb::ConfigArgumentProblem(command.configFile);
        if (!problem.empty()) {
            std::cerr << "kestrelbox: --config: " << problem << ".\n" << kHelpHint;
            return 2;
        }
    }
    switch (command.mode) {
        case kb::CommandLine::Mode::Error:
            std::cerr << command.error.toStdString() << "\n" << kHelpHint;
            return 2;
        case kb::CommandLine::Mode::Help:
            std::cout << kb::UsageText().toStdString();
            return 0;
        case kb::CommandLine::Mode::Version:
            std::cout << "Kestrelbox " << kb::kVersionText << "\n";
            return 0;
        case kb::CommandLine::Mode::History:
            return kb::PrintHistory(kb::Journal::DefaultPath(), command.historyCount, std::cout);
        case kb::CommandLine::Mode::Undo:
            return kb::RunUndo(kb::Journal::DefaultPath(), command.undoId, std::cout, std::cerr);
        case kb::CommandLine::Mode::DryRun:
        case kb::CommandLine::Mode::Headless:
        case kb::CommandLine::Mode::Window:
        case kb::CommandLine::Mode::Rules:
        case kb::CommandLine::Mode::ExportRules:
        case kb::CommandLine::Mode::ImportRules:
            break;
    }
    if (command.mode == kb::CommandLine::Mode::DryRun)
        return kb::RunDryRun(command, std::cout, std::cerr);
    if (command.mode == kb::CommandLine::Mode::Rules)
        return kb::PrintRules(command, std::cout, std::cerr);
    if (command.mode == kb::CommandLine::Mode::ExportRules)
        return kb::ExportRules(command, std::cout, std::cerr);
    if (command.mode == kb::CommandLine::Mode::ImportRules)
        return kb::ImportRules(command, std::cout, std::cerr);
    if (command.mode == kb::CommandLine::Mode::Headless)
        return kb::RunHeadless(argc, argv, command);
    return RunWindow(argc, argv, command);
}

namespace {

int RunWindow(int argc, char** argv, const kb::CommandLine& command) {
    // A second copy brings the first forward and ends, touching nothing. This
    // comes before the display is opened: a copy started where a headless one
    // runs needs none to say so.
    std::string guardError;
    try {
        const bool headlessHolder = kb::ReadGuardHolder(kb::kAppTitle).headless;
        if (kb::CheckAppAlreadyRunning(kb::kAppTitle, !headlessHolder, false)) {
            const kb::GuardHolder holder = kb::ReadGuardHolder(kb::kAppTitle);
            if (holder.headless) std::cerr << kb::AlreadyRunningText(holder).toStdString() << '\n';
            return 0;
        }
    } catch (const std::exception& e) {
        guardError = e.what();
    }

    // Without a display (and with the guard held: a copy already running
    // was told above, which needs none) the window library would abort with advice that
    // does not help here.
    if (!kb::DisplayAvailable()) {
        std::cerr << "kestrelbox: no display could be opened; use --headless to run without a "
                     "window.\n";
        return 1;
    }
    kb::Application app(argc, argv);
    kb::UseProgramStyle();
    if (!guardError.empty()) {
        kb::ErrorCentered(nullptr, QString::fromStdString(guardError));
        return 1;
    }
    // Closing the window only hides it; the program ends from the tray menu.
    QApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kb::kDesktopId));
    QCoreApplication::setApplicationName(QString::fromLatin1(kb::kAppTitle));

    kb::ProgramRun run;
    const bool prepared = run.Prepare(
        command.configFile,
        {[](const std::string& text) { kb::WarnCentered(nullptr, QString::fromStdString(text)); },
         [](const std::string& text) {
             kb::ErrorCentered(nullptr, QString::fromStdString(text));
         }});
    if (!prepared) return 0;

    kb::MainWindow window(run.TheSession());
    kb::WindowLifecycle& life = window.Lifecycle();
    // Asked to end while the window was being made (a box of its creation
    // was open): its place is saved and the run ends.
    if (run.Terminating()) {
        life.EndSession();
        return 0;
    }
    // A termination request saves the window's place before the loop ends.
    QObject::connect(&run, &kb::ProgramRun::TerminationRequested, &life,
                     &kb::WindowLifecycle::EndSession);
    // The end of the desktop session saves the settings and stops scanning.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &life,
                     [&life](QSessionManager&) { life.EndSession(); });
    // Requests from later copies arrive on the guard's own thread.
    kb::SetComeForwardCallback([&life] {
        QMetaObject::invokeMethod(
            &life, [&life] { life.ComeForward(); }, Qt::QueuedConnection);
    });
    life.Start(command.startHidden);

    const int rc = run.Exec();
    kb::SetComeForwardCallback({});
    return rc;
}

}  // namespace
