// The start-up sequence: the command line first (a query of the journal
// needs neither a display nor the single-instance guard), then the guard,
// the stores, the window and the message loop.
#include <QApplication>
#include <QDateTime>
#include <QGuiApplication>
#include <QMetaObject>
#include <QSessionManager>
#include <QSocketNotifier>
#include <exception>
#include <iostream>
#include <memory>

#include "journal/journal.h"
#include "platform/atomicfile.h"
#include "platform/instanceguard.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/termination.h"
#include "shell/application.h"
#include "shell/commandline.h"
#include "shell/mainwindow.h"
#include "shell/startup.h"
#include "store/configfile.h"
#include "store/discovery.h"
#include "store/options.h"
#include "store/settings.h"
#include "store/version.h"
#include "ui/msgbox.h"
#include "ui/textformats.h"

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
        case kb::CommandLine::Mode::Window:
            break;
    }
    return RunWindow(argc, argv, command);
}

namespace {

int RunWindow(int argc, char** argv, const kb::CommandLine& command) {
    kb::TApplication app(argc, argv);
    // Closing the window only hides it; the program ends from the tray menu.
    QApplication::setQuitOnLastWindowClosed(false);

    // A second copy brings the first forward and ends, touching nothing.
    try {
        if (kb::CheckAppAlreadyRunning(kb::kAppTitle, true, false)) return 0;
    } catch (const std::exception& e) {
        kb::ErrorCentered(nullptr, QString::fromUtf8(e.what()));
        return 1;
    }

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

    kb::SetProcessTextFormats();

    state.ExecutablePath = kb::ExecutablePath();
    if (state.ExecutablePath.empty())
        state.ExecutablePath = QCoreApplication::applicationFilePath().toStdString();
    state.ProgramDir = kb::DirectoryOf(state.ExecutablePath);

    QCoreApplication::setApplicationName(QString::fromLatin1(kb::kAppTitle));

    // The defaults: Settings starts with them; the configuration file goes
    // beside the program unless that directory is read-only.
    state.ConfigFilePath = kb::ChooseConfigFilePath(state.ProgramDir);
    // Saves cut off by a kill leave their temporary files; this copy holds
    // the guard, so no other one is saving now.
    kb::RemoveAtomicWriteLeftovers(state.ConfigFilePath);
    kb::RemoveRegistryLeftovers();

    kb::InitServiceTable(state.store);

    const std::string settingsError = kb::LoadOrCreateSettings(state.settings);
    if (!settingsError.empty() && !terminating)
        kb::ErrorCentered(nullptr, QString::fromStdString(settingsError));
    kb::LoadOptions(state.options);

    // What the rules do is recorded from the first pass on; what is older
    // than the journal keeps goes now.
    kb::Journal journal(kb::Journal::DefaultPath());
    journal.Prune(QDateTime::currentMSecsSinceEpoch());
    state.journal = &journal;

    kb::LoadConfigAtStartup(state.ConfigFilePath, state.store, warn);
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
