#include "shell/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <exception>
#include <utility>

#include "platform/memory.h"
#include "platform/registry.h"
#include "shell/about.h"
#include "shell/additional.h"
#include "shell/addservice.h"
#include "shell/buttoncolumn.h"
#include "shell/help.h"
#include "shell/links.h"
#include "shell/rulelist.h"
#include "shell/scantimer.h"
#include "shell/settingsdialog.h"
#include "shell/startup.h"
#include "store/configfile.h"
#include "ui/htmllabel.h"
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

// Side-bar item → (service id, page). LimeWire (item 5) is id 6 and Others
// (item 6) is id 5: the ids are the records' own, the items the bar's order.
constexpr std::uint8_t kItemServiceId[] = {sidKazaa,     sidMorpheus, sidGrokster, sidAudioGalaxy,
                                           sidBearShare, sidLimeWire, sidOther};

}  // namespace

TfrmMain::TfrmMain(ProgramState& state, ScanEnvironment env, QWidget* parent)
    : QMainWindow(parent), state_(state) {
    setObjectName(QStringLiteral("frmMain"));
    // A sizeable window that can be minimised but not maximised.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    resize(kDesignWidth, kDesignHeight);

    Timer1 = new ScanTimer(state_.store, std::move(env), this);
    applyOptions();
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(kBannerInterval);
    connect(Timer2, &QTimer::timeout, this, &TfrmMain::Timer2Timer);

    buildMenus();
    buildPages();
    FormCreate();
}

TfrmMain::~TfrmMain() = default;

// ---------------------------------------------------------------- building

void TfrmMain::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    auto addAction = [this](QMenu* menu, const char* name, const QString& caption,
                            void (TfrmMain::*handler)()) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        if (handler) connect(a, &QAction::triggered, this, handler);
        return a;
    };

    QMenu* file = bar->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("File1"));
    Close1 = addAction(file, "Close1", QStringLiteral("&Close"), &TfrmMain::Close1Click);

    QMenu* options = bar->addMenu(QStringLiteral("Options"));
    options->setObjectName(QStringLiteral("Options1"));
    Viewwelcomepage1 = addAction(options, "Viewwelcomepage1", QStringLiteral("&View Welcome Page"),
                                 &TfrmMain::Viewwelcomepage1Click);
    AdditionalOptions1 =
        addAction(options, "AdditionalOptions1", QStringLiteral("&Additional Options..."),
                  &TfrmMain::AdditionalOptions1Click);
    Settings1 =
        addAction(options, "Settings1", QStringLiteral("&Settings..."), &TfrmMain::Settings1Click);

    QMenu* links = bar->addMenu(QStringLiteral("Links"));
    links->setObjectName(QStringLiteral("Links1"));
    Support1 = addAction(links, "Support1", QStringLiteral("&Support..."), nullptr);
    OnlineForums1 = addAction(links, "OnlineForums1", QStringLiteral("Online &Forums..."), nullptr);
    WhosDaAuthor1 =
        addAction(links, "WhosDaAuthor1", QStringLiteral("&Who's Da Author?..."), nullptr);
    links->addSeparator();
    buildLinkEntries(links);

    QMenu* help = bar->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("Help1"));
    Contents1 =
        addAction(help, "Contents1", QStringLiteral("&Contents..."), &TfrmMain::Contents1Click);
    help->addSeparator();
    About1 = addAction(help, "About1", QStringLiteral("&About..."), &TfrmMain::About1Click);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    ViewKestrelboxWindow1 =
        addAction(PopupMenu1, "ViewKestrelboxWindow1", QStringLiteral("View Kestrelbox Window"),
                  &TfrmMain::ViewKestrelboxWindow1Click);
    QAction* sep = PopupMenu1->addSeparator();
    sep->setObjectName(QStringLiteral("N4"));
    ExitKestrelbox1 = addAction(PopupMenu1, "ExitKestrelbox1", QStringLiteral("Exit Kestrelbox"),
                                &TfrmMain::ExitKestrelbox1Click);
}

void TfrmMain::buildPages() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("Panel1"));
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    Splitter1 = new QSplitter(Qt::Horizontal, central);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);

    dxSideBar1 = new TdxSideBar(Splitter1);
    dxSideBar1->setObjectName(QStringLiteral("dxSideBar1"));
    dxSideBar1->setMinimumWidth(80);
    const int group = dxSideBar1->AddGroup(QStringLiteral("Swapping Networks"));
    const char* const itemNames[] = {"Kazaa",     "Morpheus", "Grokster", "AudioGalaxy",
                                     "BearShare", "LimeWire", "Others"};
    for (int i = 0; i < 7; ++i)
        dxSideBar1->AddItem(group, QString::fromLatin1(itemNames[i]),
                            ServiceIcon(kItemServiceId[i]),
                            QStringLiteral("dxSideBar1Item") + QString::fromLatin1(itemNames[i]));
    connect(dxSideBar1, &TdxSideBar::ItemClick, this, &TfrmMain::dxSideBar1ItemClick);

    PageControl1 = new QStackedWidget(Splitter1);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));

    // The welcome page: a white, lowered panel holding the HTML label.
    tshome = new QWidget;
    tshome->setObjectName(QStringLiteral("tshome"));
    {
        auto* l = new QVBoxLayout(tshome);
        l->setContentsMargins(0, 0, 0, 0);
        auto* panel = new QFrame(tshome);
        panel->setObjectName(QStringLiteral("Panel2"));
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setAutoFillBackground(true);
        QPalette pal = panel->palette();
        pal.setColor(QPalette::Window, Qt::white);
        panel->setPalette(pal);
        auto* pl = new QVBoxLayout(panel);
        pl->setContentsMargins(6, 6, 6, 6);
        HTMLStaticText1 = new THTMLStaticText(true, panel);
        HTMLStaticText1->setObjectName(QStringLiteral("HTMLStaticText1"));
        QPalette tp = HTMLStaticText1->palette();
        tp.setColor(QPalette::Base, Qt::white);
        HTMLStaticText1->setPalette(tp);
        HTMLStaticText1->SetHtml(WelcomeHtml());
        connect(HTMLStaticText1, &THTMLStaticText::LinkClicked, this, &TfrmMain::OpenLink);
        pl->addWidget(HTMLStaticText1);
        l->addWidget(panel);
    }
    PageControl1->addWidget(tshome);

    tskazaa = buildNetworkPage(0, sidKazaa, "tskazaa", "chkKazaa",
                               QStringLiteral("Enable Kazaa File Automation"),
                               QStringLiteral("Kazaa Shared Directory:"), "teKazaa", "Button10",
                               "frSwapRules1", chkKazaa, teKazaa, Button10, frSwapRules1);
    tsmorpheus =
        buildNetworkPage(1, sidMorpheus, "tsmorpheus", "chkMorpheus",
                         QStringLiteral("Enable Morpheus File Automation"),
                         QStringLiteral("Morpheus Shared Directory:"), "teMorpheus", "Button2",
                         "frSwapRules2", chkMorpheus, teMorpheus, Button2, frSwapRules2);
    tsgrokster =
        buildNetworkPage(2, sidGrokster, "tsgrokster", "chkGrokster",
                         QStringLiteral("Enable Grokster File Automation"),
                         QStringLiteral("Grokster Shared Directory:"), "teGrokster", "Button3",
                         "frSwapRules3", chkGrokster, teGrokster, Button3, frSwapRules3);
    tsaudiogalaxy = buildNetworkPage(3, sidAudioGalaxy, "tsaudiogalaxy", "chkAudioGalaxy",
                                     QStringLiteral("Enable AudioGalaxy File Automation"),
                                     QStringLiteral("AudioGalaxy Shared Directory:"),
                                     "teAudioGalaxy", "Button4", "frSwapRules4", chkAudioGalaxy,
                                     teAudioGalaxy, Button4, frSwapRules4);
    tsbearshare =
        buildNetworkPage(4, sidBearShare, "tsbearshare", "chkBearShare",
                         QStringLiteral("Enable BearShare Automation"),
                         QStringLiteral("BearShare Shared Directory:"), "teBearShare", "Button5",
                         "frSwapRules5", chkBearShare, teBearShare, Button5, frSwapRules5);
    tsOthers = buildOthersPage();
    tslimewire = buildNetworkPage(
        5, sidLimeWire, "tslimewire", "chkLimeWire", QStringLiteral("Enable LimeWire Automation"),
        QStringLiteral("LimeWire Shared Directory:"), "teLimeWire", "Button1", "frSwapRules7",
        chkLimeWire, teLimeWire, Button1, frSwapRules7);
    for (QWidget* page :
         {tskazaa, tsmorpheus, tsgrokster, tsaudiogalaxy, tsbearshare, tsOthers, tslimewire})
        PageControl1->addWidget(page);

    connect(chkKazaa, &QCheckBox::clicked, this, &TfrmMain::chkKazaaClick);
    connect(chkMorpheus, &QCheckBox::clicked, this, &TfrmMain::chkMorpheusClick);
    connect(chkGrokster, &QCheckBox::clicked, this, &TfrmMain::chkGroksterClick);
    connect(chkAudioGalaxy, &QCheckBox::clicked, this, &TfrmMain::chkAudioGalaxyClick);
    connect(chkBearShare, &QCheckBox::clicked, this, &TfrmMain::chkBearShareClick);
    connect(chkLimeWire, &QCheckBox::clicked, this, &TfrmMain::chkLimeWireClick);
    connect(Button10, &QPushButton::clicked, this, &TfrmMain::Button10Click);
    connect(Button2, &QPushButton::clicked, this, &TfrmMain::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TfrmMain::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TfrmMain::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TfrmMain::Button5Click);
    connect(Button1, &QPushButton::clicked, this, &TfrmMain::Button1Click);

    Splitter1->addWidget(dxSideBar1);
    Splitter1->addWidget(PageControl1);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({kSideBarWidth, kDesignWidth - kSideBarWidth});
    outer->addWidget(Splitter1, 1);

    // The banner strip.
    auto* bannerPanel = new QFrame(central);
    bannerPanel->setObjectName(QStringLiteral("Panel3"));
    bannerPanel->setFrameShape(QFrame::StyledPanel);
    bannerPanel->setFrameShadow(QFrame::Sunken);
    bannerPanel->setFixedHeight(19);
    auto* bl = new QHBoxLayout(bannerPanel);
    bl->setContentsMargins(1, 0, 1, 0);
    HTMLStaticText2 = new THTMLStaticText(false, bannerPanel);
    HTMLStaticText2->setObjectName(QStringLiteral("HTMLStaticText2"));
    QFont courier(QStringLiteral("Courier New"));
    courier.setStyleHint(QFont::Monospace);
    courier.setPointSize(8);
    HTMLStaticText2->setFont(courier);
    QPalette bp = HTMLStaticText2->palette();
    bp.setColor(QPalette::Text, QColor(0, 0, 0x80));
    bp.setColor(QPalette::Base, bannerPanel->palette().color(QPalette::Window));
    HTMLStaticText2->setPalette(bp);
    HTMLStaticText2->SetHtml(QStringLiteral("Thank you for using Kestrelbox"));
    connect(HTMLStaticText2, &THTMLStaticText::LinkClicked, this, &TfrmMain::OpenLink);
    bl->addWidget(HTMLStaticText2);
    outer->addWidget(bannerPanel);

    setCentralWidget(central);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(StatusBar1);
}

QWidget* TfrmMain::buildNetworkPage(int position, std::uint8_t serviceId, const char* pageName,
                                    const char* checkName, const QString& checkCaption,
                                    const QString& labelCaption, const char* editName,
                                    const char* buttonName, const char* panelName,
                                    QCheckBox*& check, QLineEdit*& edit, QPushButton*& button,
                                    TfrSwapRules*& panel) {
    auto* page = new QWidget;
    page->setObjectName(QString::fromLatin1(pageName));
    auto* l = new QVBoxLayout(page);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(0);

    // The top strip keeps the design's fixed positions.
    auto* strip = new QWidget(page);
    strip->setObjectName(QString::fromLatin1(pageName) + QStringLiteral("Top"));
    strip->setFixedHeight(65);
    check = new QCheckBox(checkCaption, strip);
    check->setObjectName(QString::fromLatin1(checkName));
    check->setGeometry(4, 0, 257, 20);
    auto* label = new QLabel(labelCaption, strip);
    label->setObjectName(QString::fromLatin1(pageName) + QStringLiteral("Label"));
    label->setGeometry(4, 24, 253, 16);
    edit = new QLineEdit(strip);
    edit->setObjectName(QString::fromLatin1(editName));
    edit->setReadOnly(true);
    edit->setGeometry(4, 40, 253, 25);
    button = new QPushButton(QStringLiteral("Browse..."), strip);
    button->setObjectName(QString::fromLatin1(buttonName));
    button->setGeometry(256, 40, 65, 25);
    l->addWidget(strip);

    panel = new TfrSwapRules(*this, page);
    panel->setObjectName(QString::fromLatin1(panelName));
    l->addWidget(panel, 1);

    pages_[position] = NetworkPage{position, serviceId, check, edit, panel};
    return page;
}

QWidget* TfrmMain::buildOthersPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tsOthers"));
    auto* l = new QVBoxLayout(page);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(0);

    auto* strip = new QWidget(page);
    strip->setObjectName(QStringLiteral("tsOthersTop"));
    strip->setFixedHeight(94);
    auto* sl = new QHBoxLayout(strip);
    sl->setContentsMargins(4, 0, 0, 0);
    sl->setSpacing(0);
    auto* left = new QVBoxLayout;
    left->setSpacing(0);
    auto* label = new QLabel(QStringLiteral("Additional Swapping Services:"), strip);
    label->setObjectName(QStringLiteral("lblOthers"));
    label->setFixedHeight(17);
    left->addWidget(label);
    clService = new QListWidget(strip);
    clService->setObjectName(QStringLiteral("clService"));
    clService->setSelectionMode(QAbstractItemView::SingleSelection);
    clService->setEditTriggers(QAbstractItemView::NoEditTriggers);
    clService->setMinimumWidth(120);
    left->addWidget(clService, 1);
    sl->addLayout(left, 1);

    // The buttons sit at the design's fixed heights.
    auto* column = new QWidget(strip);
    column->setObjectName(QStringLiteral("tsOthersButtons"));
    column->setFixedWidth(SideButtonColumnWidth());
    auto makeButton = [column](const char* name, const QString& caption, int top) {
        auto* b = new QPushButton(caption, column);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(4, top, SideButtonWidth(), 22);
        return b;
    };
    btnAddService = makeButton("btnAddService", QStringLiteral("Add Service..."), 18);
    btnEditService = makeButton("btnEditService", QStringLiteral("Edit Service..."), 44);
    btnDeleteService = makeButton("btnDeleteService", QStringLiteral("Delete Service"), 70);
    sl->addWidget(column);
    l->addWidget(strip);

    frSwapRules6 = new TfrSwapRules(*this, page);
    frSwapRules6->setObjectName(QStringLiteral("frSwapRules6"));
    l->addWidget(frSwapRules6, 1);

    connect(btnAddService, &QPushButton::clicked, this, &TfrmMain::btnAddServiceClick);
    connect(btnEditService, &QPushButton::clicked, this, &TfrmMain::btnEditServiceClick);
    connect(btnDeleteService, &QPushButton::clicked, this, &TfrmMain::btnDeleteServiceClick);
    connect(clService, &QListWidget::itemSelectionChanged, this, [this] {
        if (!fillingServices_) clServiceClick();
    });
    connect(clService, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (!fillingServices_) clServiceClickCheck(item);
    });
    // A double-click anywhere in the list edits the selected service.
    clService->viewport()->installEventFilter(this);
    return page;
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
}

void TfrmMain::PageInit() {
    PageControl1->setCurrentWidget(tshome);
    BuildOtherServiceList();
    BuildRuleLists(sidOther);
    for (std::uint8_t id :
         {sidKazaa, sidMorpheus, sidGrokster, sidAudioGalaxy, sidBearShare, sidLimeWire})
        BuildRuleLists(id);
    for (const NetworkPage& p : pages_) p.panel->SetButtons();

    auto& table = state_.store.ServiceTable;
    for (const NetworkPage& p : pages_)
        p.check->setChecked(p.position < static_cast<int>(table.size()) &&
                            table[p.position].enabled);
    // Writing each switch back is what the switches' handlers do; one save
    // afterwards leaves the same file as six.
    for (const NetworkPage& p : pages_)
        if (p.position < static_cast<int>(table.size()))
            table[p.position].enabled = p.check->isChecked();
    SaveConfig();
    for (const NetworkPage& p : pages_)
        p.dir->setText(p.position < static_cast<int>(table.size())
                           ? QString::fromStdString(table[p.position].sharedir)
                           : QString());
}

// ---------------------------------------------------------------- service lookup

int TfrmMain::selectedServiceLine() const {
    QListWidgetItem* item = clService->currentItem();
    return item && item->isSelected() ? clService->currentRow() : -1;
}

int TfrmMain::CurrentServiceIndex() const {
    if (currentServiceId_ != sidOther) return state_.store.FindNetwork(currentServiceId_);
    const int line = selectedServiceLine();
    return line < 0 ? -1 : state_.store.FindAdditional(line + 1);
}

TfrSwapRules* TfrmMain::panelFor(std::uint8_t serviceId) const {
    switch (serviceId) {
        case sidKazaa:
            return frSwapRules1;
        case sidMorpheus:
            return frSwapRules2;
        case sidGrokster:
            return frSwapRules3;
        case sidAudioGalaxy:
            return frSwapRules4;
        case sidBearShare:
            return frSwapRules5;
        case sidOther:
            return frSwapRules6;
        case sidLimeWire:
            return frSwapRules7;
        default:
            return nullptr;
    }
}

void TfrmMain::BuildRuleLists(std::uint8_t serviceId) {
    const auto& table = state_.store.ServiceTable;
    if (table.empty()) return;
    TfrSwapRules* panel = panelFor(serviceId);
    if (!panel) return;

    int index = -1;
    if (serviceId == sidOther) {
        const int line = selectedServiceLine();
        if (line >= 0) index = state_.store.FindAdditional(line + 1);
    } else {
        index = state_.store.FindNetwork(serviceId);
    }
    panel->FillRules(index >= 0 ? &table[index].rulelist : nullptr);
    // Filling a non-empty list sets the panel's buttons, "Add Rule..."
    // included; on the Others page that one depends on a service existing.
    if (serviceId == sidOther) panel->btnAdd->setEnabled(state_.store.CustomCount() > 0);
}

void TfrmMain::SaveConfig() {
    // A failed save leaves the old file intact; the table in memory keeps the
    // change and the next save writes it.
    WriteConfigFile(state_.ConfigFilePath, state_.store);
}

// ---------------------------------------------------------------- side bar, pages

void TfrmMain::dxSideBar1ItemClick(int group, int item) {
    if (group != 0 || item < 0 || item >= 7) return;
    currentServiceId_ = kItemServiceId[item];
    QWidget* const pages[] = {tskazaa,     tsmorpheus, tsgrokster, tsaudiogalaxy,
                              tsbearshare, tslimewire, tsOthers};
    PageControl1->setCurrentWidget(pages[item]);
}

void TfrmMain::enableSwitchClick(int page) {
    const NetworkPage& p = pages_[page];
    auto& table = state_.store.ServiceTable;
    if (p.position >= static_cast<int>(table.size())) return;
    table[p.position].enabled = p.check->isChecked();
    SaveConfig();
}

void TfrmMain::chkKazaaClick() { enableSwitchClick(0); }
void TfrmMain::chkMorpheusClick() { enableSwitchClick(1); }
void TfrmMain::chkGroksterClick() { enableSwitchClick(2); }
void TfrmMain::chkAudioGalaxyClick() { enableSwitchClick(3); }
void TfrmMain::chkBearShareClick() { enableSwitchClick(4); }
void TfrmMain::chkLimeWireClick() { enableSwitchClick(5); }

void TfrmMain::browseClick(int page) {
    if (browseStart_.isEmpty()) browseStart_ = QDir::rootPath();
    // Every folder on this system has a path, so an empty answer is a cancel.
    const QString chosen =
        QFileDialog::getExistingDirectory(this, QStringLiteral("Select Folder"), browseStart_);
    if (chosen.isEmpty()) return;
    browseStart_ = chosen;

    const NetworkPage& p = pages_[page];
    auto& table = state_.store.ServiceTable;
    if (p.position >= static_cast<int>(table.size())) return;
    const QString native = QDir::toNativeSeparators(chosen);
    p.dir->setText(native);
    // Only the directory changes: the baseline stays, so files already there
    // are not taken for new ones if the same folder is chosen again.
    table[p.position].sharedir = native.toStdString();
    SaveConfig();
}

void TfrmMain::Button10Click() { browseClick(0); }
void TfrmMain::Button2Click() { browseClick(1); }
void TfrmMain::Button3Click() { browseClick(2); }
void TfrmMain::Button4Click() { browseClick(3); }
void TfrmMain::Button5Click() { browseClick(4); }
void TfrmMain::Button1Click() { browseClick(5); }

void TfrmMain::Viewwelcomepage1Click() { PageControl1->setCurrentWidget(tshome); }

// ---------------------------------------------------------------- Others page

void TfrmMain::BuildOtherServiceList() {
    fillingServices_ = true;
    clService->clear();
    for (const rServiceRules& rec : state_.store.ServiceTable) {
        if (rec.serviceid != sidOther) continue;
        auto* item = new QListWidgetItem(QString::fromStdString(rec.othername));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        clService->addItem(item);
    }
    // The check marks go by number, as the numbering invariant promises.
    for (const rServiceRules& rec : state_.store.ServiceTable)
        if (rec.serviceid == sidOther && rec.enabled)
            if (QListWidgetItem* item = clService->item(rec.othernum - 1))
                item->setCheckState(Qt::Checked);
    fillingServices_ = false;

    const bool any = clService->count() > 0;
    frSwapRules6->btnAdd->setEnabled(any);
    btnEditService->setEnabled(any);
    btnDeleteService->setEnabled(any);
    if (any) {
        // Selecting reports the change, which refills the rule panel for the
        // selected service.
        fillingServices_ = true;
        clService->setCurrentRow(0);
        fillingServices_ = false;
    }
}

void TfrmMain::clServiceClick() { BuildRuleLists(currentServiceId_); }

void TfrmMain::clServiceDblClick() {
    if (selectedServiceLine() >= 0) btnEditServiceClick();
}

void TfrmMain::clServiceClickCheck(QListWidgetItem* item) {
    if (!item) return;
    const int line = clService->row(item);
    if (line < 0) return;
    // Toggling a mark makes its line the selected one, so the rule panel
    // shows the service being switched.
    if (selectedServiceLine() != line) clService->setCurrentRow(line);
    const int index = state_.store.FindAdditional(line + 1);
    if (index < 0) return;
    state_.store.ServiceTable[index].enabled = item->checkState() == Qt::Checked;
    SaveConfig();
}

void TfrmMain::btnAddServiceClick() {
    TfrmAddService dlg(*this, false, this);
    if (dlg.exec() != QDialog::Accepted) return;
    BuildOtherServiceList();
    BuildRuleLists(sidOther);
    clService->setCurrentRow(0);
    SaveConfig();
}

void TfrmMain::btnEditServiceClick() {
    const int line = selectedServiceLine();
    if (line < 0) return;
    TfrmAddService dlg(*this, true, this);
    if (dlg.exec() != QDialog::Accepted) return;
    BuildOtherServiceList();
    if (line < clService->count()) clService->setCurrentRow(line);
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

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (clService && watched == clService->viewport() &&
        event->type() == QEvent::MouseButtonDblClick) {
        clServiceDblClick();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------- banner, links

QStringList TfrmMain::BannerTexts() {
    // Short tips, each linking to the help section that explains it.
    return {
        QStringLiteral("Tip: rules run from the top; Move Up sets their order. "
                       "<a href=\"help:rules\">More</a>"),
        QStringLiteral("Tip: masks such as *.dat keep rules off a client's own files. "
                       "<a href=\"help:masks\">More</a>"),
        QStringLiteral("Tip: in a launch action, mfile stands for the found file. "
                       "<a href=\"help:mfile\">More</a>"),
        QStringLiteral("Tip: clear a rule's check mark to pause it without deleting it. "
                       "<a href=\"help:rules\">More</a>"),
        QStringLiteral("Thank you for using Kestrelbox"),
    };
}

QString TfrmMain::WelcomeHtml() {
    return QStringLiteral(
        "<p align=\"center\"><b><span style=\"font-size:11pt; color:#000080;\">"
        "Welcome To Kestrelbox</span></b></p>"
        "<p align=\"left\">Is your swapping service using all of your bandwidth because it "
        "shares everything you have ever downloaded? Would an automatic way to organise your "
        "shared files, as soon as they finish downloading, make your life easier? Would you "
        "like the files you download with one file-sharing program to be shared with another "
        "one as well? Kestrelbox is a file manager that helps with all of this.</p>"
        "<p align=\"left\">Kestrelbox treats the shared directory of each swapping service "
        "like the inbox of an email client: you define rules for a directory, and Kestrelbox "
        "moves, copies or deletes the files as you desire, every few seconds, whether its "
        "window is open or not.</p>"
        "<p align=\"left\">To begin, choose a network in the side bar on the left, switch its "
        "automation on, check its shared directory and add a rule. "
        "<a href=\"help:rules\">Read the help</a> for what triggers, conditions and actions "
        "do.</p>");
}

void TfrmMain::Timer2Timer() {
    const QStringList texts = BannerTexts();
    HTMLStaticText2->SetHtml(QString());
    HTMLStaticText2->SetHtml(texts.value(BannerIndex));
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
    --ShownWindowCount;
    if (ShownWindowCount == 0 && IsWinNT()) TrimWorkingSet();
    hide();
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

void TfrmMain::buildLinkEntries(QMenu* links) {
    connect(Support1, &QAction::triggered, this, [this] { OpenSupportLink(this, programDir()); });
    connect(OnlineForums1, &QAction::triggered, this,
            [this] { OpenForumsLink(this, programDir()); });
    connect(WhosDaAuthor1, &QAction::triggered, this,
            [this] { OpenAuthorLink(this, programDir()); });
    AddProductLinkEntries(links, this, programDir());
}

void TfrmMain::AdditionalOptions1Click() {
    ShowAdditionalOptions(this, state_.settings, state_.ExecutablePath);
}

void TfrmMain::Settings1Click() {
    if (ShowSettings(this, state_.options)) applyOptions();
}

void TfrmMain::applyOptions() {
    Timer1->SetCompletionGate(
        CompletionGate{state_.options.WaitSettled, state_.options.SettleSeconds});
}

void TfrmMain::Contents1Click() { ShowHelpContents(this, programDir()); }

void TfrmMain::About1Click() { ShowAbout(this); }

void TfrmMain::OpenLink(const QString& address) {
    // The program's own pages are sections of its help file.
    static const QLatin1String kHelpScheme("help:");
    if (address.startsWith(kHelpScheme)) {
        ShowHelpContents(this, programDir(), address.mid(kHelpScheme.size()));
        return;
    }
    ShellOpenReporting(this, address);
}

}  // namespace kb
