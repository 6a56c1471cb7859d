// The start-up sequence: the command line first (a query of the journal
// needs neither a display nor the single-instance guard), then the guard,
// the stores, the window and the message loop.
#include <QApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <QSessionManager>
#include <QSocketNotifier>
#include <exception>
#include <iostream>
#include <memory>

#include "journal/journal.h"
#include "platform/instanceguard.h"
#include "platform/termination.h"
#include "shell/application.h"
#include "shell/commandline.h"
#include "shell/dryrunreport.h"
#include "shell/headless.h"
#include "shell/mainwindow.h"
#include "shell/startup.h"
#include "store/settings.h"
#include "store/version.h"
#include "ui/msgbox.h"

namespace {

QStringList Arguments(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    return args;
}

int RunWindow(int argc, char** argv, const kb::CommandLine& command);

}  // namespace

int main(int argc, char** argv) {
    const kb::CommandLine command = kb::ParseCommandLine(Arguments(argc, argv));
    switch (command.mode) {
        case kb::CommandLine::Mode::Error:
            std::cerr << command.error.toStdString() << "\n\n" << kb::UsageText().toStdString();
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
            break;
    }
    // A --config file must be there to be used: starting on an empty
    // configuration instead would look like every rule had gone.
    if (!command.configFile.isEmpty()) {
        const std::string problem = kb::ConfigArgumentProblem(command.configFile);
        if (!problem.empty()) {
            std::cerr << "kestrelbox: --config: " << problem << "\n\n"
                      << kb::UsageText().toStdString();
            return 2;
        }
    }
    if (command.mode == kb::CommandLine::Mode::DryRun)
        return kb::RunDryRun(command, std::cout, std::cerr);
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

    kb::TApplication app(argc, argv);
    if (!guardError.empty()) {
        kb::ErrorCentered(nullptr, QString::fromStdString(guardError));
        return 1;
    }
    // Closing the window only hides it; the program ends from the tray menu.
    QApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kb::kDesktopId));

    kb::ProgramState state;
    kb::TfrmMain* w = nullptr;

    // A termination request (SIGTERM, Ctrl+C, the session ending) is answered
    // from here on. Once the window exists it saves the window's place and
    // ends the loop. Before that, a start-up warning box may be open: the
    // request ends its loop (and keeps any later box from waiting), the
    // settings are saved and start-up stops; a log-out never waits on a box.
    bool terminating = false;
    const int termFd = kb::WatchTerminationRequests();
    std::unique_ptr<QSocketNotifier> termNotifier;
    if (termFd >= 0) {
        termNotifier = std::make_unique<QSocketNotifier>(termFd, QSocketNotifier::Read);
        QObject::connect(termNotifier.get(), &QSocketNotifier::activated, &app, [&, termFd] {
            while (kb::TakeTerminationRequest(termFd)) {
            }
            if (w) w->WMQUERYENDSESSION();
            terminating = true;
            QCoreApplication::exit(0);
        });
    }
    auto endDuringStartup = [&] {
        try {
            kb::SaveSettings(state.settings);
        } catch (const std::exception&) {
            // Nobody is left to tell; what was stored before stays.
        }
        termNotifier.reset();
        kb::ReleaseInstanceGuard();
        return 0;
    };
    auto warn = [&](const std::string& text) {
        if (!terminating) kb::WarnCentered(nullptr, QString::fromStdString(text));
    };

    QCoreApplication::setApplicationName(QString::fromLatin1(kb::kAppTitle));
    kb::Journal journal(kb::Journal::DefaultPath());
    kb::PrepareProgramState(state, command.configFile, journal,
                            {warn, [&](const std::string& text) {
                                 if (!terminating)
                                     kb::ErrorCentered(nullptr, QString::fromStdString(text));
                             }});
    if (terminating) return endDuringStartup();

    const bool startHidden = command.startHidden;

    auto window = std::make_unique<kb::TfrmMain>(state);
    w = window.get();
    if (terminating) return endDuringStartup();

    // Requests from later copies arrive on the guard's own thread.
    kb::SetComeForwardCallback([w] {
        QMetaObject::invokeMethod(
            w, [w] { w->ComeForward(); }, Qt::QueuedConnection);
    });

    // The end of the desktop session saves the settings and stops scanning.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, w,
                     [w](QSessionManager&) { w->WMQUERYENDSESSION(); });

    if (startHidden) {
        w->ShownWindowCount = 0;
    } else {
        w->ShownWindowCount = 1;
        w->show();
    }

    const int rc = app.exec();

    kb::SetComeForwardCallback({});
    termNotifier.reset();
    window.reset();
    kb::ReleaseInstanceGuard();
    return rc;
}

}  // namespace
