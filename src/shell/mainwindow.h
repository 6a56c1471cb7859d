// The main window: puts the pages together and routes the side bar. The side
// bar chooses the welcome page, one page per built-in network, the Others
// page and the Activity page; the banner runs under them; the menus open the
// program's dialogs. Each page runs its own commands on the session and
// talks outward through signals; the window only listens (the status bar to
// the session's saves). When it hides, shows and ends is its lifecycle's
// business. Its controls are its own; tests find them by objectName.
#pragma once

#include <QMainWindow>
#include <array>

class QLabel;
class QStackedWidget;
class QTimer;

namespace kb {

class ActivityPage;
class Banner;
class NetworkPage;
class Notifier;
class OthersPage;
class Session;
class SideBar;
class WelcomePage;
class WindowLifecycle;

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Makes the window and runs its creation steps: the log-on entry, the
    // position, the pages filled from the table (which saves the
    // configuration file), scanning switched on, the banner and the tray
    // icon. The window is not shown; Start decides that.
    explicit MainWindow(Session& session, QWidget* parent = nullptr);
    ~MainWindow() override;

    WindowLifecycle& Lifecycle() const { return *lifecycle_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildPages();
    void initialise();
    void sideBarClicked(int group, int item);
    void showPage(QWidget* page);
    void showActivity();
    void nextBanner();
    void openLink(const QString& address);
    // The welcome page offers the download folders of other clients while
    // no service has a folder yet.
    void refreshFoundClients();
    void showSettings();
    void undoDeletion();
    // Shows the folder in the desktop's file manager, or says why not.
    void openFolder(const QString& folder);
    void showUndoDeletion();
    void showAdditionalOptions();
    void showHelp();
    void showAbout();

    Session& session_;
    WindowLifecycle* lifecycle_ = nullptr;
    SideBar* sideBar_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    WelcomePage* welcome_ = nullptr;
    std::array<NetworkPage*, 6> networks_{};
    OthersPage* others_ = nullptr;
    ActivityPage* activity_ = nullptr;
    Notifier* notifier_ = nullptr;
    Banner* banner_ = nullptr;
    QTimer* bannerTimer_ = nullptr;
    int bannerIndex_ = 0;
    QLabel* undoDelete_ = nullptr;  // "Rule ... deleted. Undo delete" in the status bar
};

}  // namespace kb
