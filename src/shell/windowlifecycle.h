// When the main window hides, shows, closes and ends the program: closing
// only hides it while the program is not ending (saving its place first); the
// tray icon (objectName "TrayIcon") with its menu brings it back or ends the
// program; the end of the desktop session saves, stops scanning and lets the
// next close end the program; a later copy started meanwhile brings it
// forward. A desktop without a notification area is told once how to get a
// hidden window back.
#pragma once

#include <QObject>

class QMainWindow;
class QMenu;
class QSystemTrayIcon;

namespace kb {

class Session;

class WindowLifecycle : public QObject {
    Q_OBJECT

public:
    // Makes the tray icon (shown even without a notification area: one that
    // appears later picks it up) and its menu (objectName "PopupMenu1").
    WindowLifecycle(QMainWindow& window, Session& session);

    QSystemTrayIcon* Tray() const { return tray_; }

    // What closing the window does now; true: the close ends the program.
    // Otherwise the window hides (its place saved first). `interactive`
    // false: no box may wait for an answer (the session is ending).
    bool CloseRequested(bool interactive);
    // Brings the window up as the user left it; counts it as shown.
    void ShowWindow();
    // How the window starts: shown, or hidden in the tray.
    void Start(bool hidden);
    // Saves the window's place and ends the program, window or not.
    void Exit();
    // The desktop session is ending (or the program was asked to end): the
    // settings are saved, the window hides, scanning stops; from then on a
    // close ends the program. Until the user shows the window again, which
    // means the end did not happen.
    void EndSession();
    // A later copy of the program asked this one to come forward.
    void ComeForward();

    // How many times the window was shown minus the times it hid.
    int ShownWindowCount() const { return shownCount_; }
    // True between the session's end and the next time the window is shown.
    bool Ending() const { return allowClose_; }

private:
    void copyGeometryToSettings();
    void saveSettings(bool interactive);
    void explainHiddenWindow();

    QMainWindow& window_;
    Session& session_;
    QSystemTrayIcon* tray_ = nullptr;
    QMenu* menu_ = nullptr;
    int shownCount_ = 0;
    bool allowClose_ = false;
};

}  // namespace kb
