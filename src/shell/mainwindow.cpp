#include "shell/mainwindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "platform/shellopen.h"
#include "runtime/session.h"
#include "shell/about.h"
#include "shell/activitypage.h"
#include "shell/additional.h"
#include "shell/help.h"
#include "shell/links.h"
#include "shell/networkpage.h"
#include "shell/notifier.h"
#include "shell/settingsdialog.h"
#include "shell/welcome.h"
#include "shell/windowlifecycle.h"
#include "store/clientconfig.h"
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

// One entry of a menu: its objectName, its caption and what it does (none:
// a separator, whose objectName is the caption field; or a Links entry that
// links.cpp connects).
using Command = void (MainWindow::*)();
struct MenuEntry {
    const char* name;
    const char* caption;
    Command command;
};

}  // namespace

MainWindow::MainWindow(Session& session, QWidget* parent) : QMainWindow(parent), session_(session) {
    setObjectName(QStringLiteral("frmMain"));
    // A sizeable window that can be minimised but not maximised.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    resize(kDesignWidth, kDesignHeight);
    session_.SetDialogParent(this);

    bannerTimer_ = new QTimer(this);
    bannerTimer_->setObjectName(QStringLiteral("Timer2"));
    bannerTimer_->setInterval(kBannerInterval);
    connect(bannerTimer_, &QTimer::timeout, this, &MainWindow::nextBanner);

    lifecycle_ = new WindowLifecycle(*this, session_);
    buildMenus();
    buildPages();
    // No smaller than its controls need: shrinking further only cut them off.
    setMinimumSize(minimumSizeHint());
    initialise();
}

MainWindow::~MainWindow() { session_.SetDialogParent(nullptr); }

void MainWindow::buildMenus() {
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
            if (e.command) connect(a, &QAction::triggered, this, e.command);
        }
    };
    auto menu = [bar](const char* name, const char* caption) {
        QMenu* m = bar->addMenu(QString::fromLatin1(caption));
        m->setObjectName(QString::fromLatin1(name));
        return m;
    };
    // The window's one table of its menus' names. Exit is on the File menu
    // too: without a notification area there is no tray menu to end from.
    fill(menu("File1", "File"),
         {{"Close1", "&Close", nullptr}, {nullptr, "N5", nullptr}, {"Exit1", "E&xit", nullptr}});
    connect(findChild<QAction*>(QStringLiteral("Close1")), &QAction::triggered, this,
            [this] { close(); });
    connect(findChild<QAction*>(QStringLiteral("Exit1")), &QAction::triggered, lifecycle_,
            &WindowLifecycle::Exit);
    // Deleting a rule or a service asks nothing; it can be taken back.
    fill(menu("Edit1", "Edit"), {{"UndoDelete1", "&Undo Delete", &MainWindow::undoDeletion}});
    QAction* undo = findChild<QAction*>(QStringLiteral("UndoDelete1"));
    undo->setShortcut(QKeySequence::Undo);
    undo->setEnabled(false);
    fill(menu("Options1", "Options"),
         {{"Viewwelcomepage1", "&View Welcome Page", nullptr},
          {"AdditionalOptions1", "&Additional Options...", &MainWindow::showAdditionalOptions},
          {"Settings1", "&Settings...", &MainWindow::showSettings}});
    connect(findChild<QAction*>(QStringLiteral("Viewwelcomepage1")), &QAction::triggered, this,
            [this] { showPage(welcome_); });
    QMenu* links = menu("Links1", "Links");
    fill(links, {{"Support1", "&Support...", nullptr},
                 {"OnlineForums1", "Online &Forums...", nullptr},
                 {"WhosDaAuthor1", "&Who's Da Author?...", nullptr},
                 {nullptr, "N1", nullptr}});
    ConnectLinkEntries(links, this, QString::fromStdString(session_.State().ProgramDir));
    fill(menu("Help1", "Help"), {{"Contents1", "&Contents...", &MainWindow::showHelp},
                                 {nullptr, "N2", nullptr},
                                 {"About1", "&About...", &MainWindow::showAbout}});
}

void MainWindow::buildPages() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("Panel1"));
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto* splitter = new QSplitter(Qt::Horizontal, central);
    splitter->setObjectName(QStringLiteral("Splitter1"));
    splitter->setChildrenCollapsible(false);

    sideBar_ = new SideBar(splitter);
    sideBar_->setObjectName(QStringLiteral("dxSideBar1"));
    sideBar_->setMinimumWidth(80);
    // The bar is never narrower than its header (it raises this itself).
    const int group = sideBar_->AddGroup(QStringLiteral("Swapping Networks"));
    pages_ = new QStackedWidget(splitter);
    pages_->setObjectName(QStringLiteral("PageControl1"));
    welcome_ = new WelcomePage;
    connect(welcome_, &WelcomePage::LinkClicked, this, &MainWindow::openLink);
    pages_->addWidget(welcome_);

    auto addItem = [&](const QString& caption, const QIcon& icon) {
        sideBar_->AddItem(group, caption, icon, QStringLiteral("dxSideBar1Item") + caption);
    };
    for (std::size_t i = 0; i < kNetworkPages.size(); ++i) {
        const NetworkPageRow& row = kNetworkPages[i];
        addItem(QString::fromLatin1(row.network), ServiceIcon(row.serviceId));
        networks_[i] = new NetworkPage(row, session_);
        pages_->addWidget(networks_[i]);
    }
    addItem(QStringLiteral("Others"), ServiceIcon(sidOther));
    others_ = new OthersPage(session_);
    pages_->addWidget(others_);
    connect(others_, &OthersPage::ServicesChanged, this, &MainWindow::refreshFoundClients);
    addItem(QStringLiteral("Activity"), ActivityIcon());
    notifier_ = new Notifier(this);
    notifier_->SetTray(lifecycle_->Tray());
    activity_ = new ActivityPage(session_, notifier_);
    pages_->addWidget(activity_);
    connect(activity_, &ActivityPage::OpenFolderRequested, this, &MainWindow::openFolder);
    connect(notifier_, &Notifier::Clicked, this, [this] {
        lifecycle_->ShowWindow();
        showActivity();
    });
    connect(sideBar_, &SideBar::ItemClick, this, &MainWindow::sideBarClicked);

    splitter->addWidget(sideBar_);
    splitter->addWidget(pages_);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    const int side = std::max(kSideBarWidth, sideBar_->minimumWidth());
    splitter->setSizes({side, kDesignWidth - side});
    outer->addWidget(splitter, 1);
    banner_ = new Banner(central);
    connect(banner_, &Banner::LinkClicked, this, &MainWindow::openLink);
    outer->addWidget(banner_);
    setCentralWidget(central);

    auto* status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(status);
    // A failed save is said until a save succeeds.
    connect(&session_, &Session::SaveFailed, status,
            [status](const QString& text) { status->showMessage(text); });
    connect(&session_, &Session::ConfigReloaded, status,
            [status](const QString& text) { status->showMessage(text); });
    connect(&session_, &Session::ReloadRefused, status,
            [status](const QString& text) { status->showMessage(text); });
    connect(&session_, &Session::Saved, status, &QStatusBar::clearMessage);
    undoDelete_ = new QLabel(status);
    undoDelete_->setObjectName(QStringLiteral("lblUndoDelete"));
    undoDelete_->setTextFormat(Qt::RichText);
    undoDelete_->setTextInteractionFlags(Qt::LinksAccessibleByMouse |
                                         Qt::LinksAccessibleByKeyboard);
    undoDelete_->hide();
    status->addPermanentWidget(undoDelete_);
    connect(undoDelete_, &QLabel::linkActivated, this, &MainWindow::undoDeletion);
    connect(&session_, &Session::DeletionsChanged, this, &MainWindow::showUndoDeletion);
    connect(&session_, &Session::DeletionUndone, this, [this](std::uint8_t id, int line) {
        if (id != sidOther) return;
        others_->FillServices();
        others_->SelectLine(line);
        refreshFoundClients();
    });
}

void MainWindow::openFolder(const QString& folder) {
    if (ShellOpen(folder.toStdString()) == 0) return;
    const QString why = !QFileInfo(folder).isDir()
                            ? QStringLiteral("it is not there any more")
                            : QStringLiteral("no file manager could be started for it");
    // Centred on the window (Qt's placement for a box with a parent).
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Kestrelbox"),
                    QStringLiteral("Could not open the folder %1: %2.").arg(folder, why),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("OpenFolderErrorBox"));
    box.exec();
}

void MainWindow::showUndoDeletion() {
    const bool can = session_.CanUndoDeletion();
    findChild<QAction*>(QStringLiteral("UndoDelete1"))->setEnabled(can);
    undoDelete_->setVisible(can);
    if (can)
        undoDelete_->setText(session_.LastDeletionText().toHtmlEscaped() +
                             QStringLiteral(" <a href=\"undo\">Undo delete</a>"));
}

void MainWindow::undoDeletion() {
    if (!session_.UndoDeletion())
        statusBar()->showMessage(
            QStringLiteral("The deleted rule's service is gone; it cannot "
                           "come back."));
}

void MainWindow::initialise() {
    ProgramState& state = session_.State();
    try {
        UpdateRunEntry(state.additional, state.ExecutablePath);
    } catch (const std::exception& e) {
        // The log-on entry is a convenience; the window still comes up.
        ErrorCentered(nullptr, QString::fromStdString(e.what()));
    }

    QScreen* screen = QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->geometry().size() : QSize(1024, 768);
    move(MainWindowStartPosition(state.additional, screenSize));
    setWindowTitle(QStringLiteral("Kestrelbox"));
    setWindowIcon(AppIcon());

    pages_->setCurrentWidget(welcome_);
    others_->FillServices();
    for (NetworkPage* p : networks_) p->Refresh();
    // Every start rewrites the file from the table.
    session_.SaveConfig();
    refreshFoundClients();

    session_.Scheduler().SetEnabled(true);
    bannerTimer_->start();
}

void MainWindow::refreshFoundClients() {
    const auto& table = session_.Store().ServiceTable;
    const bool anyFolder = std::any_of(table.begin(), table.end(),
                                       [](const rServiceRules& r) { return !r.sharedir.empty(); });
    if (anyFolder) {
        welcome_->SetFoundClients({});
        return;
    }
    std::vector<std::string> taken;
    for (const rServiceRules& r : table) taken.push_back(r.sharedir);
    welcome_->SetFoundClients(
        QString::fromStdString(ClientNames(FindClients(ClientPlaces::FromEnvironment(), taken))));
}

void MainWindow::sideBarClicked(int group, int item) {
    const int count = static_cast<int>(networks_.size());
    if (group != 0 || item < 0 || item > count + 1) return;
    // Activity, below Others, is no service: the current service stays.
    if (item == count + 1) {
        showActivity();
        return;
    }
    // The bar lists the networks first, then Others; each record keeps its
    // own id (LimeWire is 6, Others 5).
    if (item < count) {
        session_.SetCurrentService(networks_[static_cast<std::size_t>(item)]->Row().serviceId);
        showPage(networks_[static_cast<std::size_t>(item)]);
    } else {
        session_.SetCurrentService(sidOther);
        showPage(others_);
    }
}

void MainWindow::showPage(QWidget* page) {
    pages_->setCurrentWidget(page);
    int item = -1;
    for (std::size_t i = 0; i < networks_.size(); ++i)
        if (page == networks_[i]) item = static_cast<int>(i);
    if (page == others_) item = static_cast<int>(networks_.size());
    if (page == activity_) item = static_cast<int>(networks_.size()) + 1;
    sideBar_->SetCurrent(0, item);
}

void MainWindow::showActivity() {
    activity_->Refresh();
    showPage(activity_);
}

void MainWindow::nextBanner() {
    banner_->SetHtml(BannerTexts().value(bannerIndex_));
    bannerIndex_ = bannerIndex_ >= kBannerCount - 1 ? 0 : bannerIndex_ + 1;
}

void MainWindow::openLink(const QString& address) {
    const QString programDir = QString::fromStdString(session_.State().ProgramDir);
    // The program's own pages are sections of its help file.
    static const QLatin1String kHelpScheme("help:");
    if (address.startsWith(kHelpScheme)) {
        ShowHelpContents(this, programDir, address.mid(kHelpScheme.size()));
        return;
    }
    // The welcome page's offer of other clients' folders: the Others page
    // and its Add Service dialog.
    if (address == QLatin1String(kFoundClientsLink)) {
        sideBarClicked(0, static_cast<int>(networks_.size()));
        others_->AddService();
        return;
    }
    ShellOpenReporting(this, address);
}

void MainWindow::showSettings() {
    if (ShowSettings(this, session_.State().settings, &session_)) session_.ApplySettings();
}

void MainWindow::showAdditionalOptions() {
    ShowAdditionalOptions(this, session_.State().additional, session_.State().ExecutablePath);
}

void MainWindow::showHelp() {
    ShowHelpContents(this, QString::fromStdString(session_.State().ProgramDir));
}

void MainWindow::showAbout() { ShowAbout(this); }

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!lifecycle_->CloseRequested(true)) {
        event->ignore();
        return;
    }
    event->accept();
    // The main window closing ends the program, tray or not.
    QCoreApplication::exit(0);
}

}  // namespace kb
