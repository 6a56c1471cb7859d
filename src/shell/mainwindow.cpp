#include "shell/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>

#include "journal/journal.h"
#include "journal/undo.h"
#include "platform/memory.h"
#include "remote/clientdesk.h"
#include "shell/about.h"
#include "shell/activitypage.h"
#include "shell/additional.h"
#include "shell/addservice.h"
#include "shell/clientsettings.h"
#include "shell/help.h"
#include "shell/links.h"
#include "shell/networkpage.h"
#include "shell/notifier.h"
#include "shell/rulelist.h"
#include "shell/scantimer.h"
#include "shell/settingsdialog.h"
#include "shell/startup.h"
#include "shell/welcome.h"
#include "store/configfile.h"
#include "ui/icons.h"
#include "ui/msgbox.h"
#include "ui/sidebar.h"

namespace kb {

namespace {

constexpr int kDesignWidth = 578;
constexpr int kDesignHeight = 414;
constexpr int kBannerInterval = 15000;
constexpr int kBannerCount = 5;
constexpr int kSideBarWidth = 116;

// The named handlers (chkKazaaClick, Button10Click...) of each network page's switch and Browse...
// button, in the order of kNetworkPages.
using Handler = void (TfrmMain::*)();
constexpr std::array<Handler, 6> kSwitchHandlers = {
    &TfrmMain::chkKazaaClick,       &TfrmMain::chkMorpheusClick,  &TfrmMain::chkGroksterClick,
    &TfrmMain::chkAudioGalaxyClick, &TfrmMain::chkBearShareClick, &TfrmMain::chkLimeWireClick};
constexpr std::array<Handler, 6> kBrowseHandlers = {
    &TfrmMain::Button10Click, &TfrmMain::Button2Click, &TfrmMain::Button3Click,
    &TfrmMain::Button4Click,  &TfrmMain::Button5Click, &TfrmMain::Button1Click};

// One entry of a menu: its objectName, caption and handler (none: a link
// entry that links.cpp connects).
struct MenuEntry {
    const char* name;
    const char* caption;
    Handler handler;
};

}  // namespace

QString UndoRefusedText(const JournalEntry& e, const std::string& reason) {
    const auto sep = e.source.find_last_of("/\\");
    const std::string name = sep == std::string::npos ? e.source : e.source.substr(sep + 1);
    return QStringLiteral("Cannot undo %1 of %2: %3.")
        .arg(ActivityModel::ActionText(e).toLower(), QString::fromStdString(name),
             QString::fromStdString(reason));
}

QString SaveFailedText(const QString& reason) {
    return QStringLiteral(
               "Could not save kbconf.ini: %1. The rules are kept and saved again "
               "at the next change.")
        .arg(reason);
}

TfrmMain::TfrmMain(ProgramState& state, ScanEnvironment env, QWidget* parent)
    : QMainWindow(parent), state_(state) {
    setObjectName(QStringLiteral("frmMain"));
    // A sizeable window that can be minimised but not maximised.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    resize(kDesignWidth, kDesignHeight);

    Timer1 = new ScanTimer(state_.store, std::move(env), state_.journal, this);
    applyOptions();
    refreshClients();
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(kBannerInterval);
    connect(Timer2, &QTimer::timeout, this, &TfrmMain::Timer2Timer);

    buildMenus();
    buildPages();
    // No smaller than its controls need: shrinking further only cut them off.
    setMinimumSize(minimumSizeHint());
    FormCreate();
}

TfrmMain::~TfrmMain() = default;

// ---------------------------------------------------------------- building

void TfrmMain::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    auto fill = [this](QMenu* menu, std::initializer_list<MenuEntry> entries) {
        for (const MenuEntry& e : entries) {
            if (!e.name) {
                menu->addSeparator()->setObjectName(QString::fromLatin1(e.caption));
                continue;
            }
            QAction* a = menu->addAction(QString::fromUtf8(e.caption));
            a->setObjectName(QString::fromLatin1(e.name));
            if (e.handler) connect(a, &QAction::triggered, this, e.handler);
        }
    };
    auto menu = [bar](const char* name, const char* caption) {
        QMenu* m = bar->addMenu(QString::fromLatin1(caption));
        m->setObjectName(QString::fromLatin1(name));
        return m;
    };
    // Exit is on the File menu too: without a notification area there is no
    // tray menu to end the program from.
    fill(menu("File1", "File"), {{"Close1", "&Close", &TfrmMain::Close1Click},
                                 {nullptr, "N5", nullptr},
                                 {"Exit1", "E&xit", &TfrmMain::ExitKestrelbox1Click}});
    fill(menu("Options1", "Options"),
         {{"Viewwelcomepage1", "&View Welcome Page", &TfrmMain::Viewwelcomepage1Click},
          {"AdditionalOptions1", "&Additional Options...", &TfrmMain::AdditionalOptions1Click},
          {"Settings1", "&Settings...", &TfrmMain::Settings1Click}});
    QMenu* links = menu("Links1", "Links");
    fill(links, {{"Support1", "&Support...", nullptr},
                 {"OnlineForums1", "Online &Forums...", nullptr},
                 {"WhosDaAuthor1", "&Who's Da Author?...", nullptr},
                 {nullptr, "N1", nullptr}});
    ConnectLinkEntries(links, this, programDir());
    fill(menu("Help1", "Help"), {{"Contents1", "&Contents...", &TfrmMain::Contents1Click},
                                 {nullptr, "N2", nullptr},
                                 {"About1", "&About...", &TfrmMain::About1Click}});

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    fill(PopupMenu1, {{"ViewKestrelboxWindow1", "View Kestrelbox Window",
                       &TfrmMain::ViewKestrelboxWindow1Click},
                      {nullptr, "N4", nullptr},
                      {"ExitKestrelbox1", "Exit Kestrelbox", &TfrmMain::ExitKestrelbox1Click}});
}

void TfrmMain::buildPages() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("Panel1"));
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto* splitter = new QSplitter(Qt::Horizontal, central);
    splitter->setObjectName(QStringLiteral("Splitter1"));
    splitter->setChildrenCollapsible(false);

    dxSideBar1 = new TdxSideBar(splitter);
    dxSideBar1->setObjectName(QStringLiteral("dxSideBar1"));
    dxSideBar1->setMinimumWidth(80);
    // The bar is never narrower than its header (it raises this itself).
    const int group = dxSideBar1->AddGroup(QStringLiteral("Swapping Networks"));
    PageControl1 = new QStackedWidget(splitter);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    welcome_ = new WelcomePage;
    auto* welcome = welcome_;
    connect(welcome, &WelcomePage::LinkClicked, this, &TfrmMain::OpenLink);
    tshome = welcome;
    PageControl1->addWidget(tshome);

    auto addItem = [&](const char* caption, std::uint8_t serviceId) {
        const QString text = QString::fromLatin1(caption);
        dxSideBar1->AddItem(group, text, ServiceIcon(serviceId),
                            QStringLiteral("dxSideBar1Item") + text);
    };
    for (std::size_t i = 0; i < kNetworkPages.size(); ++i) {
        const NetworkPageRow& row = kNetworkPages[i];
        addItem(row.network, row.serviceId);
        auto* page = new NetworkPage(row, *this);
        connect(page, &NetworkPage::SwitchClicked, this, kSwitchHandlers[i]);
        connect(page, &NetworkPage::BrowseClicked, this, kBrowseHandlers[i]);
        networks_[i] = page;
        PageControl1->addWidget(page);
    }
    addItem("Others", sidOther);
    others_ = new OthersPage(*this);
    PageControl1->addWidget(others_);
    dxSideBar1->AddItem(group, QStringLiteral("Activity"), ActivityIcon(),
                        QStringLiteral("dxSideBar1ItemActivity"));
    activity_ = new ActivityPage(state_.journal);
    PageControl1->addWidget(activity_);
    connect(activity_, &ActivityPage::UndoRequested, this, &TfrmMain::UndoActivity);
    connect(activity_, &ActivityPage::OpenFolderRequested, this,
            [this](const QString& folder) { ShellOpenReporting(this, folder); });
    for (NetworkPage* page : networks_) {
        const std::uint8_t id = page->Row().serviceId;
        page->Rules()->SetRuleTip([this, id](const RuleRec& r) { return ruleTip(id, r); });
    }
    others_->Rules()->SetRuleTip([this](const RuleRec& r) { return ruleTip(sidOther, r); });
    connect(dxSideBar1, &TdxSideBar::ItemClick, this, &TfrmMain::dxSideBar1ItemClick);
    connect(others_->AddButton(), &QPushButton::clicked, this, &TfrmMain::btnAddServiceClick);
    connect(others_->EditButton(), &QPushButton::clicked, this, &TfrmMain::btnEditServiceClick);
    connect(others_->DeleteButton(), &QPushButton::clicked, this, &TfrmMain::btnDeleteServiceClick);
    connect(others_->Services(), &QListWidget::itemSelectionChanged, this,
            &TfrmMain::clServiceClick);
    connect(others_->Services(), &QListWidget::itemChanged, this, &TfrmMain::clServiceClickCheck);
    // A link changed on a page: the passes ask the client it names.
    connect(others_->Client(), &ClientRow::LinkChanged, this, [this] { refreshClients(); });
    for (NetworkPage* p : networks_)
        connect(p->Client(), &ClientRow::LinkChanged, this, [this] { refreshClients(); });
    connect(others_, &OthersPage::ServicesDoubleClicked, this, &TfrmMain::clServiceDblClick);

    splitter->addWidget(dxSideBar1);
    splitter->addWidget(PageControl1);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    const int side = std::max(kSideBarWidth, dxSideBar1->minimumWidth());
    splitter->setSizes({side, kDesignWidth - side});
    outer->addWidget(splitter, 1);
    banner_ = new Banner(central);
    connect(banner_, &Banner::LinkClicked, this, &TfrmMain::OpenLink);
    outer->addWidget(banner_);
    setCentralWidget(central);

    auto* status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(status);
}

// ---------------------------------------------------------------- creation

void TfrmMain::FormCreate() {
    BannerIndex = 0;

    try {
        UpdateRunEntry(state_.settings, state_.ExecutablePath);
    } catch (const std::exception& e) {
        // The log-on entry is a convenience; the window still comes up.
        ErrorCentered(nullptr, QString::fromStdString(e.what()));
    }

    QScreen* screen = QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->geometry().size() : QSize(1024, 768);
    move(MainWindowStartPosition(state_.settings, screenSize));

    setWindowTitle(QStringLiteral("Kestrelbox"));

    PageInit();

    Timer1->SetEnabled(true);
    Timer2->start();

    setWindowIcon(AppIcon());
    TrayIcon = new QSystemTrayIcon(AppIcon(), this);
    TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
    TrayIcon->setToolTip(QStringLiteral("Kestrelbox"));
    TrayIcon->setContextMenu(PopupMenu1);
    connect(TrayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) Details1Click();
            });
    // Shown even when no notification area exists yet: one that appears later
    // (a panel starting after us at log-on) picks the icon up.
    TrayIcon->show();

    notifier_ = new Notifier(this);
    notifier_->SetTray(TrayIcon);
    connect(notifier_, &Notifier::Clicked, this, [this] {
        Details1Click();
        ShowActivity();
    });
    connect(Timer1, &ScanTimer::PassFinished, this, &TfrmMain::passFinished);
}

void TfrmMain::PageInit() {
    PageControl1->setCurrentWidget(tshome);
    BuildOtherServiceList();
    BuildRuleLists(sidOther);
    for (const NetworkPage* p : networks_) BuildRuleLists(p->Row().serviceId);
    for (const NetworkPage* p : networks_) p->Rules()->SetButtons();

    for (const NetworkPage* p : networks_)
        p->Switch()->setChecked(p->Record() && p->Record()->enabled);
    // Writing each switch back is what the switches' handlers do; one save
    // afterwards leaves the same file as six.
    for (const NetworkPage* p : networks_)
        if (rServiceRules* r = p->Record()) r->enabled = p->Switch()->isChecked();
    SaveConfig();
    for (const NetworkPage* p : networks_)
        p->Folder()->setText(p->Record() ? QString::fromStdString(p->Record()->sharedir)
                                         : QString());
    refreshFoundClients();
}

std::vector<FoundClient> TfrmMain::foundClients() const {
    std::vector<std::string> taken;
    for (const rServiceRules& r : state_.store.ServiceTable) taken.push_back(r.sharedir);
    return FindClients(ClientPlaces::FromEnvironment(), taken);
}

void TfrmMain::refreshFoundClients() {
    bool anyFolder = false;
    for (const rServiceRules& r : state_.store.ServiceTable) anyFolder |= !r.sharedir.empty();
    welcome_->SetFoundClients(anyFolder ? QString()
                                        : QString::fromStdString(ClientNames(foundClients())));
}

// ---------------------------------------------------------------- service lookup

int TfrmMain::selectedServiceLine() const {
    const QListWidget* list = others_->Services();
    QListWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? list->currentRow() : -1;
}

int TfrmMain::CurrentServiceIndex() const {
    if (currentServiceId_ != sidOther) return state_.store.FindNetwork(currentServiceId_);
    const int line = selectedServiceLine();
    return line < 0 ? -1 : state_.store.FindAdditional(line + 1);
}

TfrSwapRules* TfrmMain::panelFor(std::uint8_t serviceId) const {
    if (serviceId == sidOther) return others_->Rules();
    for (const NetworkPage* p : networks_)
        if (p->Row().serviceId == serviceId) return p->Rules();
    return nullptr;
}

void TfrmMain::BuildRuleLists(std::uint8_t serviceId) {
    const auto& table = state_.store.ServiceTable;
    if (table.empty()) return;
    TfrSwapRules* panel = panelFor(serviceId);
    if (!panel) return;

    const int index = recordFor(serviceId);
    panel->FillRules(index >= 0 ? &table[index].rulelist : nullptr);
    if (ClientRow* row = clientRowFor(serviceId))
        row->SetFolder(index >= 0 ? table[index].sharedir : std::string());
    // Filling a non-empty list sets the panel's buttons, "Add Rule..."
    // included; on the Others page that one depends on a service existing.
    if (serviceId == sidOther) panel->btnAdd->setEnabled(state_.store.CustomCount() > 0);
}

ClientRow* TfrmMain::clientRowFor(std::uint8_t serviceId) const {
    if (serviceId == sidOther) return others_->Client();
    for (const NetworkPage* p : networks_)
        if (p->Row().serviceId == serviceId) return p->Client();
    return nullptr;
}

int TfrmMain::recordFor(std::uint8_t serviceId) const {
    if (serviceId != sidOther) return state_.store.FindNetwork(serviceId);
    const int line = selectedServiceLine();
    return line < 0 ? -1 : state_.store.FindAdditional(line + 1);
}

void TfrmMain::SaveConfig() {
    // A failed save leaves the old file intact; the table in memory keeps the
    // change and the next save writes it. No box: saves come with every
    // click; the status bar says it until one succeeds.
    const Status st = SaveConfigFile(state_.ConfigFilePath, state_.store);
    if (st)
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(SaveFailedText(QString::fromStdString(st.error)));
    refreshClients();
}

void TfrmMain::refreshClients() {
    // Rebuilt only when a folder's client changed: a client that cannot be
    // asked is then not said again after every click.
    std::vector<ClientLink> plan = PlanClientLinks(state_.store);
    if (Timer1->Clients() && plan == clientPlan_) return;
    clientPlan_ = std::move(plan);
    Timer1->SetClients(BuildClientDesk(clientPlan_));
}

// ---------------------------------------------------------------- side bar, pages

void TfrmMain::dxSideBar1ItemClick(int group, int item) {
    const int count = static_cast<int>(networks_.size());
    if (group != 0 || item < 0 || item > count + 1) return;
    // Activity, below Others, is no service: the current service stays.
    if (item == count + 1) {
        ShowActivity();
        return;
    }
    // The bar lists the networks first, then Others; each record keeps its
    // own id (LimeWire is 6, Others 5).
    if (item < static_cast<int>(networks_.size())) {
        currentServiceId_ = networks_[item]->Row().serviceId;
        PageControl1->setCurrentWidget(networks_[item]);
    } else {
        currentServiceId_ = sidOther;
        PageControl1->setCurrentWidget(others_);
    }
}

void TfrmMain::chkKazaaClick() { networks_[0]->SwitchClick(); }
void TfrmMain::chkMorpheusClick() { networks_[1]->SwitchClick(); }
void TfrmMain::chkGroksterClick() { networks_[2]->SwitchClick(); }
void TfrmMain::chkAudioGalaxyClick() { networks_[3]->SwitchClick(); }
void TfrmMain::chkBearShareClick() { networks_[4]->SwitchClick(); }
void TfrmMain::chkLimeWireClick() { networks_[5]->SwitchClick(); }

void TfrmMain::Button10Click() { networks_[0]->BrowseClick(browseStart_); }
void TfrmMain::Button2Click() { networks_[1]->BrowseClick(browseStart_); }
void TfrmMain::Button3Click() { networks_[2]->BrowseClick(browseStart_); }
void TfrmMain::Button4Click() { networks_[3]->BrowseClick(browseStart_); }
void TfrmMain::Button5Click() { networks_[4]->BrowseClick(browseStart_); }
void TfrmMain::Button1Click() { networks_[5]->BrowseClick(browseStart_); }

void TfrmMain::Viewwelcomepage1Click() { PageControl1->setCurrentWidget(tshome); }

// ---------------------------------------------------------------- Others page

void TfrmMain::BuildOtherServiceList() { others_->FillServices(state_.store.ServiceTable); }

void TfrmMain::clServiceClick() { BuildRuleLists(currentServiceId_); }

void TfrmMain::clServiceDblClick() {
    if (selectedServiceLine() >= 0) btnEditServiceClick();
}

void TfrmMain::clServiceClickCheck(QListWidgetItem* item) {
    if (!item) return;
    const int line = others_->Services()->row(item);
    if (line < 0) return;
    // Toggling a mark makes its line the selected one, so the rule panel
    // shows the service being switched.
    if (selectedServiceLine() != line) others_->Services()->setCurrentRow(line);
    const int index = state_.store.FindAdditional(line + 1);
    if (index < 0) return;
    state_.store.ServiceTable[index].enabled = item->checkState() == Qt::Checked;
    SaveConfig();
}

void TfrmMain::btnAddServiceClick() {
    TfrmAddService dlg(*this, false, this, foundClients());
    if (dlg.exec() != QDialog::Accepted) return;
    BuildOtherServiceList();
    BuildRuleLists(sidOther);
    others_->Services()->setCurrentRow(0);
    SaveConfig();
    refreshFoundClients();
}

void TfrmMain::btnEditServiceClick() {
    const int line = selectedServiceLine();
    if (line < 0) return;
    TfrmAddService dlg(*this, true, this);
    if (dlg.exec() != QDialog::Accepted) return;
    BuildOtherServiceList();
    if (line < others_->Services()->count()) others_->Services()->setCurrentRow(line);
    BuildRuleLists(sidOther);
    SaveConfig();
}

void TfrmMain::btnDeleteServiceClick() {
    const int line = selectedServiceLine();
    if (line >= 0) state_.store.DeleteService(state_.store.FindAdditional(line + 1));
    BuildOtherServiceList();
    BuildRuleLists(currentServiceId_);
    // Saved at once: nothing is saved at exit, so a deletion kept only in
    // memory would bring the service back at the next start.
    SaveConfig();
}

// ---------------------------------------------------------------- banner

void TfrmMain::Timer2Timer() {
    banner_->SetHtml(BannerTexts().value(BannerIndex));
    BannerIndex = BannerIndex >= kBannerCount - 1 ? 0 : BannerIndex + 1;
}

// ---------------------------------------------------------------- life cycle

void TfrmMain::copyGeometryToSettings() {
    const QRect frame = frameGeometry();
    state_.settings.WinLeft = frame.left();
    state_.settings.WinTop = frame.top();
    state_.settings.WinWidth = frame.width();
    state_.settings.WinHeight = frame.height();
}

void TfrmMain::saveSettings(bool interactive) {
    try {
        SaveSettings(state_.settings);
    } catch (const std::exception& e) {
        // While the session ends no one can answer a box; say it on the
        // terminal instead.
        if (interactive)
            ErrorCentered(this, QString::fromStdString(e.what()));
        else
            std::fprintf(stderr, "Kestrelbox: %s\n", e.what());
    }
}

void TfrmMain::FormCloseQuery(bool& canClose, bool interactive) {
    canClose = AllowClose;
    if (windowState() & Qt::WindowMinimized) {
        // A minimised window's geometry is not where the user left it.
    } else if (windowState() & Qt::WindowMaximized) {
        state_.settings.WinStatus = 1;
        saveSettings(interactive);
    } else {
        copyGeometryToSettings();
        saveSettings(interactive);
    }
    if (canClose) return;
    if (interactive) explainHiddenWindow();
    --ShownWindowCount;
    if (ShownWindowCount == 0 && IsWinNT()) TrimWorkingSet();
    hide();
}

namespace {

void ShowNoTrayNotice(QWidget* window) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Kestrelbox"),
                    QStringLiteral("This desktop has no notification area, so Kestrelbox has no "
                                   "icon there. It goes on running without its window and applies "
                                   "your rules every five seconds.\n\nTo bring the window back, "
                                   "start Kestrelbox again. To end it, choose File › Exit."),
                    QMessageBox::Ok, window);
    box.setObjectName(QStringLiteral("NoTrayBox"));
    box.exec();
}

}  // namespace

void TfrmMain::explainHiddenWindow() {
    if (QSystemTrayIcon::isSystemTrayAvailable() || state_.options.NoTrayNoticeShown) return;
    ShowNoTrayNotice(this);
    state_.options.NoTrayNoticeShown = true;
    try {
        SaveOptions(state_.options);
    } catch (const std::exception&) {
        // Said again at the next close; nothing else depends on it.
    }
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    bool canClose = false;
    FormCloseQuery(canClose, true);
    if (!canClose) {
        event->ignore();
        return;
    }
    event->accept();
    // The main window closing ends the program, tray or not.
    QCoreApplication::exit(0);
}

void TfrmMain::Close1Click() { close(); }

void TfrmMain::Details1Click() {
    // Someone is using the window again: a session end that was announced
    // did not happen, so scanning and hiding on close come back.
    if (AllowClose) {
        AllowClose = false;
        Timer1->SetEnabled(true);
    }
    if (windowState() & Qt::WindowMinimized) setWindowState(windowState() & ~Qt::WindowMinimized);
    showNormal();
    raise();
    activateWindow();
    ++ShownWindowCount;
}

void TfrmMain::ViewKestrelboxWindow1Click() { Details1Click(); }

void TfrmMain::ExitKestrelbox1Click() {
    copyGeometryToSettings();
    saveSettings(true);
    // exit() rather than quit(): quit() first asks every shown window to
    // close, which here would only hide it and call the exit off.
    QCoreApplication::exit(0);
}

bool TfrmMain::WMQUERYENDSESSION() {
    bool canClose = false;
    FormCloseQuery(canClose, false);
    AllowClose = true;
    Timer1->SetEnabled(false);
    return true;
}

void TfrmMain::ComeForward() {
    if (!isVisible()) {
        // Hidden in the tray stays hidden; without a notification area the
        // window could never be reached again, so the request shows it.
        if (!QSystemTrayIcon::isSystemTrayAvailable()) Details1Click();
        return;
    }
    if (windowState() & Qt::WindowMinimized) showNormal();
    raise();
    activateWindow();
    // An open dialog is what the user was last working in.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

// ---------------------------------------------------------------- options, help, links

QString TfrmMain::programDir() const { return QString::fromStdString(state_.ProgramDir); }

void TfrmMain::AdditionalOptions1Click() {
    ShowAdditionalOptions(this, state_.settings, state_.ExecutablePath);
}

void TfrmMain::Settings1Click() {
    if (ShowSettings(this, state_.options)) applyOptions();
}

ScanEnvironment TfrmMain::PreviewEnvironment() const {
    ScanEnvironment env;
    ApplyOptions(env, state_.options);
    return env;
}

void TfrmMain::applyOptions() { Timer1->SetOptions(state_.options); }

void TfrmMain::Contents1Click() { ShowHelpContents(this, programDir()); }

void TfrmMain::About1Click() { ShowAbout(this); }

void TfrmMain::OpenLink(const QString& address) {
    // The program's own pages are sections of its help file.
    static const QLatin1String kHelpScheme("help:");
    if (address.startsWith(kHelpScheme)) {
        ShowHelpContents(this, programDir(), address.mid(kHelpScheme.size()));
        return;
    }
    // The welcome page's offer of other clients' folders: the Others page
    // and its Add Service dialog.
    if (address == QLatin1String(kFoundClientsLink)) {
        dxSideBar1ItemClick(0, static_cast<int>(networks_.size()));
        btnAddServiceClick();
        return;
    }
    ShellOpenReporting(this, address);
}

// ---------------------------------------------------------------- activity

void TfrmMain::ShowActivity() {
    activity_->Model()->Refresh();
    PageControl1->setCurrentWidget(activity_);
}

void TfrmMain::passFinished() {
    activity_->Model()->Refresh();
    for (const std::string& n : Timer1->LastNotices())
        notifier_->Show(Notice{QStringLiteral("Kestrelbox"), QString::fromStdString(n)});
    if (std::optional<Notice> notice = NoticeFor(Timer1->LastOutcomes(), state_.options))
        notifier_->Show(*notice);
    if (!state_.journal) return;
    std::string problem;
    if (state_.journal->TakeNewProblem(problem)) {
        activity_->SetProblem(QString::fromStdString(problem));
        notifier_->Show(Notice{QStringLiteral("Kestrelbox: the activity journal"),
                               QString::fromStdString(problem)});
    } else if (state_.journal->Problem().empty()) {
        activity_->SetProblem({});
    }
}

QString TfrmMain::ruleTip(std::uint8_t serviceId, const RuleRec& rule) const {
    const int at = recordFor(serviceId);
    if (!state_.journal || at < 0) return {};
    const RuleFigures f = state_.journal->Figures(
        ServiceName(state_.store.ServiceTable[static_cast<std::size_t>(at)]), rule.rulename);
    if (f.files == 0 && f.lastError.empty()) return QStringLiteral("Not acted on any file yet.");
    QString tip;
    if (f.lastTimeMs > 0)
        tip = QStringLiteral("Last acted %1, on %2 files in all.")
                  .arg(QDateTime::fromMSecsSinceEpoch(f.lastTimeMs)
                           .toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                  .arg(f.files);
    if (!f.lastError.empty()) {
        if (!tip.isEmpty()) tip += QLatin1Char('\n');
        tip += QStringLiteral("Last failure: ") + QString::fromStdString(f.lastError);
    }
    return tip;
}

void TfrmMain::UndoActivity(const std::vector<int>& rows) {
    ActivityModel* model = activity_->Model();
    std::vector<JournalEntry> entries;
    QStringList refused;
    for (int row : rows) {
        const JournalEntry& e = model->Entry(row);
        const Status st = CanUndo(e);
        if (st)
            entries.push_back(e);
        else
            refused << UndoRefusedText(e, st.error);
    }
    if (!refused.isEmpty()) WarnAt(activity_, refused.join(QLatin1Char('\n')));
    if (entries.empty() || !state_.journal) return;
    // The results come back from the worker through this.
    auto failures = std::make_shared<QStringList>();
    Journal* journal = state_.journal;
    // A move its download client made is taken back by the client.
    std::shared_ptr<ClientDesk> clients = Timer1->Clients();
    Timer1->RunBetweenPasses(
        [entries, journal, failures, clients] {
            for (const JournalEntry& e : entries) {
                const JournalEntry undo =
                    Undo(e, QDateTime::currentMSecsSinceEpoch(), clients.get());
                std::int64_t id = 0;
                journal->Append({undo}, &id);
                if (undo.ok && id > 0)
                    journal->MarkUndone(e.id, id);
                else if (!undo.ok)
                    *failures << UndoRefusedText(e, undo.error);
            }
        },
        [this, rows, entries, failures] {
            // What came back is no new download for a new-file rule.
            for (const JournalEntry& e : entries) {
                const auto sep = e.source.find_last_of("/\\");
                if (sep != std::string::npos)
                    Timer1->PutBack(e.source.substr(0, sep), e.source.substr(sep + 1));
            }
            for (int row : rows) activity_->Model()->Reload(row);
            activity_->Model()->Refresh();
            if (!failures->isEmpty()) WarnAt(activity_, failures->join(QLatin1Char('\n')));
        });
}

}  // namespace kb
