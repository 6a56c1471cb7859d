// The main window: a side bar choosing the welcome page, one page per
// built-in network and the Others page; the rule list panel on every network
// page; the banner; the menus; the tray icon; the scan timer. It owns the
// current-service selection every rule and service command acts on. Its
// controls are its own; tests find them by objectName.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "editor/servicecontext.h"
#include "engine/scanpass.h"
#include "shell/startup.h"
#include "store/clientconfig.h"
#include "store/clientlinks.h"
#include "store/options.h"
#include "store/servicetable.h"
#include "store/settings.h"

class QListWidgetItem;
class QMenu;
class QStackedWidget;
class QSystemTrayIcon;
class QTimer;

namespace kb {

class ActivityPage;
class ClientRow;
class Journal;
class NetworkPage;
class Notifier;
class OthersPage;
class ScanTimer;
class TdxSideBar;
class ClientRow;
class TfrSwapRules;
class Banner;
class WelcomePage;

// What the status bar says while kbconf.ini cannot be saved.
QString SaveFailedText(const QString& reason);
// Why an action of the Activity page cannot be taken back.
struct JournalEntry;
QString UndoRefusedText(const JournalEntry& e, const std::string& reason);

class TfrmMain : public QMainWindow, public ServiceContext {
    Q_OBJECT

public:
    // Creates the window and runs its creation steps: the log-on entry, the
    // position, the pages filled from the table (which saves the
    // configuration file), the scan timer and the tray icon. The window is
    // not shown; start-up decides that.
    explicit TfrmMain(ProgramState& state, ScanEnvironment env = DefaultScanEnvironment(),
                      QWidget* parent = nullptr);
    ~TfrmMain() override;

    // ServiceContext
    ServiceStore& Store() override { return state_.store; }
    std::uint8_t CurrentServiceId() const override { return currentServiceId_; }
    int CurrentServiceIndex() const override;
    void BuildRuleLists(std::uint8_t serviceId) override;
    void SaveConfig() override;
    QWidget* MainWindow() const override { return const_cast<TfrmMain*>(this); }
    ScanEnvironment PreviewEnvironment() const override;

    const ProgramState& State() const { return state_; }

    // Others page.
    void BuildOtherServiceList();
    void btnAddServiceClick();
    void btnEditServiceClick();
    void btnDeleteServiceClick();
    void clServiceClick();
    void clServiceDblClick();
    void clServiceClickCheck(QListWidgetItem* item);

    // Side bar and network pages.
    void dxSideBar1ItemClick(int group, int item);
    void chkKazaaClick();
    void chkMorpheusClick();
    void chkGroksterClick();
    void chkAudioGalaxyClick();
    void chkBearShareClick();
    void chkLimeWireClick();
    void Button10Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button1Click();

    // Menus, banner, tray, life cycle.
    void Viewwelcomepage1Click();
    void Close1Click();
    void AdditionalOptions1Click();
    void Settings1Click();
    void Contents1Click();
    void About1Click();
    void Timer2Timer();
    void Details1Click();
    void ViewKestrelboxWindow1Click();
    void ExitKestrelbox1Click();
    // The desktop session is ending (or the program was asked to terminate):
    // saves the settings, hides the window, stops scanning; from then on a
    // close request ends the program. Returns true: the session may end.
    bool WMQUERYENDSESSION();
    // A later copy of the program asked this one to come forward.
    void ComeForward();

    // Opens a link of the welcome page or the banner.
    void OpenLink(const QString& address);

    // The Activity page (side-bar item "Activity").
    void ShowActivity();
    // Takes back the actions of these rows of the Activity page, between
    // two passes; what cannot be taken back is said first.
    void UndoActivity(const std::vector<int>& rows);

    // Program-wide state that belongs to this window.
    int ShownWindowCount = 0;
    bool AllowClose = false;
    int BannerIndex = 0;

    // The scan timer (objectName "Timer1") and the banner's (Timer2).
    ScanTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildPages();
    void FormCreate();
    void PageInit();
    // The close-request logic; canClose is what the request may do.
    void FormCloseQuery(bool& canClose, bool interactive);
    // Before the window hides for the first time on a desktop without a
    // notification area: says how to get it back (once, ever).
    void explainHiddenWindow();
    // The welcome page offers the download folders of other clients while
    // no service has a folder yet.
    void refreshFoundClients();
    std::vector<FoundClient> foundClients() const;
    void refreshClients();
    ClientRow* clientRowFor(std::uint8_t serviceId) const;
    std::vector<ClientLink> clientPlan_;
    void copyGeometryToSettings();
    void saveSettings(bool interactive);
    // Hands the options the scan pass uses to the scan timer.
    void applyOptions();
    TfrSwapRules* panelFor(std::uint8_t serviceId) const;
    // The record whose rules the panel of this service id shows, or -1.
    int recordFor(std::uint8_t serviceId) const;
    QString ruleTip(std::uint8_t serviceId, const RuleRec& rule) const;
    void passFinished();
    QString programDir() const;
    // The selected line of the additional services, or -1.
    int selectedServiceLine() const;

    ProgramState& state_;
    std::uint8_t currentServiceId_ = 0;
    QString browseStart_;

    TdxSideBar* dxSideBar1 = nullptr;
    QStackedWidget* PageControl1 = nullptr;
    QWidget* tshome = nullptr;
    std::array<NetworkPage*, 6> networks_{};
    OthersPage* others_ = nullptr;
    WelcomePage* welcome_ = nullptr;
    ActivityPage* activity_ = nullptr;
    Notifier* notifier_ = nullptr;
    Banner* banner_ = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QSystemTrayIcon* TrayIcon = nullptr;
};

}  // namespace kb
