// The main window: a side bar choosing the welcome page, one page per
// built-in network and the Others page; the rule list panel on every network
// page; the banner; the menus; the tray icon; the scan timer. It owns the
// current-service selection every rule and service command acts on.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <string>

#include "editor/servicecontext.h"
#include "engine/scanpass.h"
#include "store/options.h"
#include "store/servicetable.h"
#include "store/settings.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QStatusBar;
class QSystemTrayIcon;
class QTimer;

namespace kb {

class ScanTimer;
class TdxSideBar;
class TfrSwapRules;
class THTMLStaticText;

// The program's state for the whole run, prepared by start-up before the
// window exists.
struct ProgramState {
    ServiceStore store;
    Settings settings;
    Options options;
    std::string ProgramDir;  // the executable's directory, trailing separator included
    std::string ConfigFilePath;
    std::string ExecutablePath;
};

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

    // The banner texts, index 0..4 (markup).
    static QStringList BannerTexts();
    // The welcome page's markup.
    static QString WelcomeHtml();
    // Opens a link of the welcome page or the banner.
    void OpenLink(const QString& address);

    // Program-wide state that belongs to this window.
    int ShownWindowCount = 0;
    bool AllowClose = false;
    int BannerIndex = 0;

    // Controls, named as their objectName.
    TdxSideBar* dxSideBar1 = nullptr;
    QSplitter* Splitter1 = nullptr;
    QStackedWidget* PageControl1 = nullptr;
    QWidget* tshome = nullptr;
    QWidget* tskazaa = nullptr;
    QWidget* tsmorpheus = nullptr;
    QWidget* tsgrokster = nullptr;
    QWidget* tsaudiogalaxy = nullptr;
    QWidget* tsbearshare = nullptr;
    QWidget* tsOthers = nullptr;
    QWidget* tslimewire = nullptr;
    THTMLStaticText* HTMLStaticText1 = nullptr;
    THTMLStaticText* HTMLStaticText2 = nullptr;
    QCheckBox* chkKazaa = nullptr;
    QCheckBox* chkMorpheus = nullptr;
    QCheckBox* chkGrokster = nullptr;
    QCheckBox* chkAudioGalaxy = nullptr;
    QCheckBox* chkBearShare = nullptr;
    QCheckBox* chkLimeWire = nullptr;
    QLineEdit* teKazaa = nullptr;
    QLineEdit* teMorpheus = nullptr;
    QLineEdit* teGrokster = nullptr;
    QLineEdit* teAudioGalaxy = nullptr;
    QLineEdit* teBearShare = nullptr;
    QLineEdit* teLimeWire = nullptr;
    QPushButton* Button10 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button1 = nullptr;
    TfrSwapRules* frSwapRules1 = nullptr;
    TfrSwapRules* frSwapRules2 = nullptr;
    TfrSwapRules* frSwapRules3 = nullptr;
    TfrSwapRules* frSwapRules4 = nullptr;
    TfrSwapRules* frSwapRules5 = nullptr;
    TfrSwapRules* frSwapRules6 = nullptr;
    TfrSwapRules* frSwapRules7 = nullptr;
    QListWidget* clService = nullptr;
    QPushButton* btnAddService = nullptr;
    QPushButton* btnEditService = nullptr;
    QPushButton* btnDeleteService = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* ViewKestrelboxWindow1 = nullptr;
    QAction* ExitKestrelbox1 = nullptr;
    QAction* Close1 = nullptr;
    QAction* Viewwelcomepage1 = nullptr;
    QAction* AdditionalOptions1 = nullptr;
    QAction* Settings1 = nullptr;
    QAction* Support1 = nullptr;
    QAction* OnlineForums1 = nullptr;
    QAction* WhosDaAuthor1 = nullptr;
    QAction* Contents1 = nullptr;
    QAction* About1 = nullptr;
    QSystemTrayIcon* TrayIcon = nullptr;
    QTimer* Timer2 = nullptr;
    ScanTimer* Timer1 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One built-in network's page: its fixed table position and controls.
    struct NetworkPage {
        int position = 0;
        std::uint8_t serviceId = 0;
        QCheckBox* check = nullptr;
        QLineEdit* dir = nullptr;
        TfrSwapRules* panel = nullptr;
    };

    void buildMenus();
    void buildLinkEntries(QMenu* links);
    QString programDir() const;
    void buildPages();
    QWidget* buildNetworkPage(int position, std::uint8_t serviceId, const char* pageName,
                              const char* checkName, const QString& checkCaption,
                              const QString& labelCaption, const char* editName,
                              const char* buttonName, const char* panelName, QCheckBox*& check,
                              QLineEdit*& edit, QPushButton*& button, TfrSwapRules*& panel);
    QWidget* buildOthersPage();
    void FormCreate();
    void PageInit();
    // The close-request logic; canClose is what the request may do.
    void FormCloseQuery(bool& canClose, bool interactive);
    void copyGeometryToSettings();
    // Hands the options the scan pass uses to the scan timer.
    void applyOptions();
    void saveSettings(bool interactive);
    void enableSwitchClick(int page);
    void browseClick(int page);
    TfrSwapRules* panelFor(std::uint8_t serviceId) const;
    // The selected line of clService, or -1.
    int selectedServiceLine() const;

    ProgramState& state_;
    std::uint8_t currentServiceId_ = 0;
    std::array<NetworkPage, 6> pages_{};
    bool fillingServices_ = false;
    QString browseStart_;
};

}  // namespace kb
