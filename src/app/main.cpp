// The start-up sequence: the single-instance guard first, then the stores,
// then the window, then the message loop.
#include <QApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <QSessionManager>
#include <QSocketNotifier>
#include <exception>
#include <memory>

#include "platform/atomicfile.h"
#include "platform/instanceguard.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/termination.h"
#include "shell/application.h"
#include "shell/mainwindow.h"
#include "shell/startup.h"
#include "store/configfile.h"
#include "store/discovery.h"
#include "store/options.h"
#include "store/settings.h"
#include "ui/msgbox.h"
#include "ui/textformats.h"

int main(int argc, char** argv) {
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

    kb::LoadConfigAtStartup(state.ConfigFilePath, state.store, warn);
    if (terminating) return endDuringStartup();

    const bool startHidden = kb::HasStartupArgument(QCoreApplication::arguments());

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
