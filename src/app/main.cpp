// The start-up sequence: the single-instance guard first, then the stores,
// then the window, then the message loop.
#include <QApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <QSessionManager>
#include <QSocketNotifier>
#include <exception>
#include <memory>

#include "platform/instanceguard.h"
#include "platform/paths.h"
#include "platform/termination.h"
#include "shell/application.h"
#include "shell/mainwindow.h"
#include "shell/startup.h"
#include "store/configfile.h"
#include "store/discovery.h"
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

    // Catch a termination request from here on, so one that arrives while the
    // stores load is answered (settings saved, clean exit) once the loop runs
    // instead of killing the program half-way.
    const int termFd = kb::WatchTerminationRequests();

    kb::SetProcessTextFormats();

    kb::ProgramState state;
    state.ExecutablePath = kb::ExecutablePath();
    if (state.ExecutablePath.empty())
        state.ExecutablePath = QCoreApplication::applicationFilePath().toStdString();
    state.ProgramDir = kb::DirectoryOf(state.ExecutablePath);

    QCoreApplication::setApplicationName(QString::fromLatin1(kb::kAppTitle));

    // The defaults: Settings starts with them; the configuration file goes
    // beside the program unless that directory is read-only.
    state.ConfigFilePath = kb::ChooseConfigFilePath(state.ProgramDir);

    kb::InitServiceTable(state.store);

    const std::string settingsError = kb::LoadOrCreateSettings(state.settings);
    if (!settingsError.empty()) kb::ErrorCentered(nullptr, QString::fromStdString(settingsError));

    kb::LoadConfigAtStartup(state.ConfigFilePath, state.store, [](const std::string& text) {
        kb::WarnCentered(nullptr, QString::fromStdString(text));
    });

    const bool startHidden = kb::HasStartupArgument(QCoreApplication::arguments());

    auto window = std::make_unique<kb::TfrmMain>(state);
    kb::TfrmMain* w = window.get();

    // Requests from later copies arrive on the guard's own thread.
    kb::SetComeForwardCallback([w] {
        QMetaObject::invokeMethod(
            w, [w] { w->ComeForward(); }, Qt::QueuedConnection);
    });

    // The end of the desktop session and a termination signal both save the
    // settings and stop scanning; the signal then ends the program.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, w,
                     [w](QSessionManager&) { w->WMQUERYENDSESSION(); });
    std::unique_ptr<QSocketNotifier> termNotifier;
    if (termFd >= 0) {
        termNotifier = std::make_unique<QSocketNotifier>(termFd, QSocketNotifier::Read);
        QObject::connect(termNotifier.get(), &QSocketNotifier::activated, w, [w, termFd] {
            while (kb::TakeTerminationRequest(termFd)) {
            }
            w->WMQUERYENDSESSION();
            QCoreApplication::exit(0);
        });
    }

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
