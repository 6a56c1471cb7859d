#include "shell/windowlifecycle.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <cstdio>
#include <exception>

#include "platform/memory.h"
#include "runtime/session.h"
#include "store/additionaloptions.h"
#include "store/settings.h"
#include "ui/icons.h"
#include "ui/msgbox.h"

namespace kb {

WindowLifecycle::WindowLifecycle(QMainWindow& window, Session& session)
    : QObject(&window), window_(window), session_(session) {
    menu_ = new QMenu(&window);
    menu_->setObjectName(QStringLiteral("PopupMenu1"));
    QAction* view = menu_->addAction(QStringLiteral("View Kestrelbox Window"));
    view->setObjectName(QStringLiteral("ViewKestrelboxWindow1"));
    menu_->addSeparator()->setObjectName(QStringLiteral("N4"));
    QAction* exit = menu_->addAction(QStringLiteral("Exit Kestrelbox"));
    exit->setObjectName(QStringLiteral("ExitKestrelbox1"));
    connect(view, &QAction::triggered, this, &WindowLifecycle::ShowWindow);
    connect(exit, &QAction::triggered, this, &WindowLifecycle::Exit);

    tray_ = new QSystemTrayIcon(AppIcon(), &window);
    tray_->setObjectName(QStringLiteral("TrayIcon"));
    tray_->setToolTip(QStringLiteral("Kestrelbox"));
    tray_->setContextMenu(menu_);
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) ShowWindow();
            });
    tray_->show();
}

void WindowLifecycle::copyGeometryToSettings() {
    const QRect frame = window_.frameGeometry();
    AdditionalOptions& s = session_.State().additional;
    s.WinLeft = frame.left();
    s.WinTop = frame.top();
    s.WinWidth = frame.width();
    s.WinHeight = frame.height();
}

void WindowLifecycle::saveSettings(bool interactive) {
    try {
        SaveAdditionalOptions(session_.State().additional);
    } catch (const std::exception& e) {
        // While the session ends no one can answer a box; say it on the
        // terminal instead.
        if (interactive)
            ErrorCentered(&window_, QString::fromStdString(e.what()));
        else
            std::fprintf(stderr, "Kestrelbox: %s\n", e.what());
    }
}

bool WindowLifecycle::CloseRequested(bool interactive) {
    if (window_.windowState() & Qt::WindowMinimized) {
        // A minimised window's geometry is not where the user left it.
    } else if (window_.windowState() & Qt::WindowMaximized) {
        session_.State().additional.WinStatus = 1;
        saveSettings(interactive);
    } else {
        copyGeometryToSettings();
        saveSettings(interactive);
    }
    if (allowClose_) return true;
    if (interactive) explainHiddenWindow();
    --shownCount_;
    if (shownCount_ == 0 && IsWinNT()) TrimWorkingSet();
    window_.hide();
    return false;
}

void WindowLifecycle::explainHiddenWindow() {
    Settings& options = session_.State().settings;
    if (QSystemTrayIcon::isSystemTrayAvailable() || options.NoTrayNoticeShown) return;
    QMessageBox box(QMessageBox::Information, QStringLiteral("Kestrelbox"),
                    QStringLiteral("This desktop has no notification area, so Kestrelbox has no "
                                   "icon there. It goes on running without its window and applies "
                                   "your rules every five seconds.\n\nTo bring the window back, "
                                   "start Kestrelbox again. To end it, choose File › Exit."),
                    QMessageBox::Ok, &window_);
    box.setObjectName(QStringLiteral("NoTrayBox"));
    box.exec();
    options.NoTrayNoticeShown = true;
    try {
        SaveSettings(options);
    } catch (const std::exception&) {
        // Said again at the next close; nothing else depends on it.
    }
}

void WindowLifecycle::ShowWindow() {
    // Someone is using the window again: a session end that was announced
    // did not happen, so scanning and hiding on close come back.
    if (allowClose_) {
        allowClose_ = false;
        session_.Scheduler().SetEnabled(true);
    }
    if (window_.windowState() & Qt::WindowMinimized)
        window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized);
    window_.showNormal();
    window_.raise();
    window_.activateWindow();
    ++shownCount_;
}

void WindowLifecycle::Start(bool hidden) {
    if (hidden) {
        shownCount_ = 0;
        return;
    }
    shownCount_ = 1;
    window_.show();
}

void WindowLifecycle::Exit() {
    copyGeometryToSettings();
    saveSettings(true);
    // exit() rather than quit(): quit() first asks every shown window to
    // close, which here would only hide it and call the exit off.
    QCoreApplication::exit(0);
}

void WindowLifecycle::EndSession() {
    CloseRequested(false);
    allowClose_ = true;
    session_.Scheduler().SetEnabled(false);
}

void WindowLifecycle::ComeForward() {
    if (!window_.isVisible()) {
        // Hidden in the tray stays hidden; without a notification area the
        // window could never be reached again, so the request shows it.
        if (!QSystemTrayIcon::isSystemTrayAvailable()) ShowWindow();
        return;
    }
    if (window_.windowState() & Qt::WindowMinimized) window_.showNormal();
    window_.raise();
    window_.activateWindow();
    // An open dialog is what the user was last working in.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

}  // namespace kb
