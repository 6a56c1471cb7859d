// The main window driven through its real widgets over a real service table,
// with the configuration file and the settings in a private directory.
#include "shell/mainwindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "builders.h"
#include "engine/ftpupload.h"
#include "engine/loopback_server.h"
#include "gui_modal.h"
#include "platform/registry.h"
#include "platform/secrets.h"
#include "platform/xdg_sandbox.h"
#include "runtime/scanscheduler.h"
#include "runtime/session.h"
#include "runtime/startup.h"
#include "shell/addservice.h"
#include "shell/rulelist.h"
#include "shell/settingsdialog.h"
#include "shell/welcome.h"
#include "shell/windowlifecycle.h"
#include "store/additionaloptions.h"
#include "store/configfile.h"
#include "store/settings.h"
#include "ui/htmllabel.h"
#include "ui/sidebar.h"
#include "widgets.h"

namespace {

using namespace kb;
namespace fs = std::filesystem;

// A control of the window, found by its objectName as any test (or an
// accessibility tool) finds it: the window keeps its controls to itself.
template <class T>
T* Find(const QObject& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << "no " << name;
    return found;
}

RuleRec makeRule(const std::string& name, bool enabled = true) {
    return kbtest::NamedRule(name, enabled);
}

rServiceRules& appendService(ServiceStore& store, const std::string& name, const std::string& dir,
                             const std::string& masks, bool enabled,
                             std::vector<std::string> rules) {
    const int i = store.AppendAdditional(name, dir, masks);
    rServiceRules& rec = store.ServiceTable[i];
    rec.enabled = enabled;
    for (const auto& r : rules) rec.rulelist.rules.push_back(makeRule(r));
    return rec;
}

QStringList lines(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

ScanEnvironment quietEnvironment() {
    ScanEnvironment env;
    env.now = [] { return 46000.5; };
    env.launch = [](const std::string&, const std::vector<std::string>&) {
        return Status{true, {}};
    };
    env.upload = [](const racftp&, const std::string&, const std::string&) {
        return Status{true, {}};
    };
    return env;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = sandbox_.Root() + "/app/";
        fs::create_directories(dir_);
        state_.ProgramDir = dir_;
        state_.ConfigFilePath = dir_ + "kbconf.ini";
        state_.ExecutablePath = dir_ + "kestrelbox";
        state_.store.InitServiceTable(nullptr);
        // The window's passes act on files at once; the completion gate has
        // its own tests.
        state_.settings.WaitSettled = false;
    }

    MainWindow& create(ScanEnvironment env = quietEnvironment()) {
        window_.reset();
        session_ = std::make_unique<Session>(state_, std::move(env));
        window_ = std::make_unique<MainWindow>(*session_);
        return *window_;
    }

    // What the configuration file on disk holds now.
    ServiceStore saved() const {
        ServiceStore s;
        s.InitServiceTable(nullptr);
        EXPECT_EQ(ReadConfigFile(state_.ConfigFilePath, s, [](const std::string&) {}), 0);
        return s;
    }

    void clickSideBar(int item) {
        QToolButton* b = Find<SideBar>(*window_, "dxSideBar1")->Item(0, item);
        ASSERT_NE(b, nullptr);
        QTest::mouseClick(b, Qt::LeftButton);
    }

    test::XdgSandbox sandbox_;
    std::string dir_;
    ProgramState state_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, SideBarItemsChooseTheirPageAndServiceIdWithLimeWireAndOthersCrossed) {
    MainWindow& w = create();
    EXPECT_EQ(Find<QStackedWidget>(w, "PageControl1")->currentWidget(), Find<QWidget>(w, "tshome"));
    EXPECT_EQ(session_->CurrentServiceId(), 0);

    const QWidget* pages[] = {Find<QWidget>(w, "tskazaa"),     Find<QWidget>(w, "tsmorpheus"),
                              Find<QWidget>(w, "tsgrokster"),  Find<QWidget>(w, "tsaudiogalaxy"),
                              Find<QWidget>(w, "tsbearshare"), Find<QWidget>(w, "tslimewire"),
                              Find<QWidget>(w, "tsOthers")};
    const int ids[] = {0, 1, 2, 3, 4, 6, 5};
    for (int item = 0; item < 7; ++item) {
        clickSideBar(item);
        EXPECT_EQ(session_->CurrentServiceId(), ids[item]) << "item " << item;
        EXPECT_EQ(Find<QStackedWidget>(w, "PageControl1")->currentWidget(), pages[item])
            << "item " << item;
        // The bar acts as buttons: nothing stays pressed, but the item of
        // the page shown is marked, and only that one.
        EXPECT_FALSE(Find<SideBar>(w, "dxSideBar1")->Item(0, item)->isChecked());
        for (int other = 0; other < 8; ++other)
            EXPECT_EQ(Find<SideBar>(w, "dxSideBar1")->IsCurrent(0, other), other == item)
                << item << " " << other;
    }

    // LimeWire's page addresses LimeWire's record, not the sixth id.
    clickSideBar(5);
    EXPECT_EQ(session_->CurrentServiceIndex(), 5);
    EXPECT_EQ(state_.store.ServiceTable[session_->CurrentServiceIndex()].serviceid, sidLimeWire);

    // The welcome page does not forget the current service.
    Find<QAction>(w, "Viewwelcomepage1")->trigger();
    EXPECT_EQ(Find<QStackedWidget>(w, "PageControl1")->currentWidget(), Find<QWidget>(w, "tshome"));
    EXPECT_FALSE(Find<SideBar>(w, "dxSideBar1")->IsCurrent(0, 5));
    EXPECT_EQ(session_->CurrentServiceId(), 6);
}

TEST_F(MainWindowTest, CreationFillsEveryNetworkPageFromTheTableAndSavesTheFile) {
    auto& t = state_.store.ServiceTable;
    t[1].enabled = true;
    t[1].sharedir = "/srv/morpheus";
    t[5].enabled = true;
    t[5].sharedir = "/srv/lime";
    t[5].rulelist.rules = {makeRule("first", true), makeRule("second", false)};
    t[0].rulelist.rules = {makeRule("only")};
    ASSERT_FALSE(fs::exists(state_.ConfigFilePath));

    MainWindow& w = create();

    EXPECT_FALSE(Find<QCheckBox>(w, "chkKazaa")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>(w, "chkMorpheus")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>(w, "chkLimeWire")->isChecked());
    EXPECT_EQ(Find<QLineEdit>(w, "teMorpheus")->text(), "/srv/morpheus");
    EXPECT_EQ(Find<QLineEdit>(w, "teLimeWire")->text(), "/srv/lime");
    EXPECT_TRUE(Find<QLineEdit>(w, "teLimeWire")->isReadOnly());
    EXPECT_EQ(lines(kbtest::List(*Find<RuleListPanel>(w, "frSwapRules7"), "clRuleList")),
              (QStringList{"first", "second"}));
    EXPECT_EQ(
        kbtest::List(*Find<RuleListPanel>(w, "frSwapRules7"), "clRuleList")->item(1)->checkState(),
        Qt::Unchecked);
    EXPECT_EQ(kbtest::List(*Find<RuleListPanel>(w, "frSwapRules7"), "clRuleList")->currentRow(), 0);
    EXPECT_TRUE(
        kbtest::Button(*Find<RuleListPanel>(w, "frSwapRules7"), "btnMoveDown")->isEnabled());
    EXPECT_EQ(lines(kbtest::List(*Find<RuleListPanel>(w, "frSwapRules1"), "clRuleList")),
              QStringList{"only"});
    EXPECT_TRUE(kbtest::Button(*Find<RuleListPanel>(w, "frSwapRules1"), "btnEdit")->isEnabled());
    EXPECT_EQ(kbtest::List(*Find<RuleListPanel>(w, "frSwapRules2"), "clRuleList")->count(), 0);

    // Every start rewrites the file from the table.
    ServiceStore s = saved();
    ASSERT_EQ(s.ServiceCount(), 6);
    EXPECT_TRUE(s.ServiceTable[1].enabled);
    EXPECT_EQ(s.ServiceTable[5].rulelist.rulecnt(), 2);
    EXPECT_EQ(w.windowTitle(), "Kestrelbox");
}

TEST_F(MainWindowTest, AnEnableSwitchChangesOnlyItsOwnRecordAndSavesAtOnce) {
    auto& t = state_.store.ServiceTable;
    t[0].enabled = true;
    t[3].enabled = true;
    MainWindow& w = create();
    clickSideBar(2);

    QTest::mouseClick(Find<QCheckBox>(w, "chkGrokster"), Qt::LeftButton, {},
                      QPoint(6, Find<QCheckBox>(w, "chkGrokster")->height() / 2));
    ASSERT_TRUE(Find<QCheckBox>(w, "chkGrokster")->isChecked());
    const bool expected[] = {true, false, true, true, false, false};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(t[i].enabled, expected[i]) << "position " << i;
    ServiceStore s = saved();
    for (int i = 0; i < 6; ++i) EXPECT_EQ(s.ServiceTable[i].enabled, expected[i]) << "saved " << i;

    // Switching LimeWire off and on addresses position 5 (id 6).
    Find<QCheckBox>(w, "chkLimeWire")->click();
    EXPECT_TRUE(t[5].enabled);
    EXPECT_TRUE(saved().ServiceTable[5].enabled);
    Find<QCheckBox>(w, "chkLimeWire")->click();
    EXPECT_FALSE(t[5].enabled);
    EXPECT_TRUE(t[2].enabled);
}

TEST_F(MainWindowTest, BrowseStoresTheChosenFolderKeepsTheBaselineAndCancelChangesNothing) {
    const std::string chosen = sandbox_.Root() + "/share";
    fs::create_directories(chosen);
    state_.store.ServiceTable[4].sharedir = "/old";
    MainWindow& w = create();
    // A pass takes the baseline the folder change must leave alone.
    state_.store.ServiceTable[4].enabled = true;
    session_->Scheduler().SetInterval(20);
    QSignalSpy passes(&session_->Scheduler(), &ScanScheduler::PassFinished);
    session_->Scheduler().SetEnabled(true);
    ASSERT_TRUE(passes.wait(5000));
    session_->Scheduler().SetEnabled(false);
    const std::uint64_t uid = state_.store.ServiceTable[4].uid;
    ASSERT_TRUE(session_->Scheduler().State().Of(uid).scanned);
    const kb::SharedListing baseline = session_->Scheduler().State().Of(uid).baseline;

    auto answer = [&](bool accept) {
        QTimer::singleShot(50, [&, accept] {
            auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr);
            EXPECT_EQ(dlg->windowTitle(), "Select Folder");
            if (!accept) return dlg->reject();
            // In folder mode, accepting with no name typed chooses the folder shown.
            dlg->setDirectory(QString::fromStdString(chosen));
            QMetaObject::invokeMethod(dlg, "accept");
        });
    };
    answer(false);
    Find<QPushButton>(w, "Button5")->click();
    EXPECT_EQ(state_.store.ServiceTable[4].sharedir, "/old");
    EXPECT_EQ(Find<QLineEdit>(w, "teBearShare")->text(), "/old");

    answer(true);
    Find<QPushButton>(w, "Button5")->click();
    EXPECT_EQ(state_.store.ServiceTable[4].sharedir, chosen);
    EXPECT_EQ(Find<QLineEdit>(w, "teBearShare")->text().toStdString(), chosen);
    EXPECT_EQ(state_.store.ServiceTable[4].uid, uid);
    EXPECT_TRUE(session_->Scheduler().State().Of(uid).scanned);
    EXPECT_TRUE(session_->Scheduler().State().Of(uid).baseline.SameAs(baseline));
    EXPECT_EQ(saved().ServiceTable[4].sharedir, chosen);
    EXPECT_EQ(state_.store.ServiceTable[0].sharedir, "");
}

TEST_F(MainWindowTest, TheBannerShowsItsTextsInOrderAndWrapsAfterTheFifth) {
    MainWindow& w = create();
    EXPECT_EQ(Find<QTimer>(w, "Timer2")->interval(), 15000);
    EXPECT_TRUE(Find<QTimer>(w, "Timer2")->isActive());
    EXPECT_EQ(Find<HtmlLabel>(w, "HTMLStaticText2")->Html(), "Thank you for using Kestrelbox");

    const QStringList texts = BannerTexts();
    ASSERT_EQ(texts.size(), 5);
    EXPECT_EQ(texts[4], "Thank you for using Kestrelbox");
    EXPECT_EQ(texts.size(), QSet<QString>(texts.begin(), texts.end()).size());
    for (int i : {0, 1, 2, 3, 4, 0, 1}) {
        QMetaObject::invokeMethod(Find<QTimer>(w, "Timer2"), "timeout");
        EXPECT_EQ(Find<HtmlLabel>(w, "HTMLStaticText2")->Html(), texts[i]);
    }
}

TEST_F(MainWindowTest, BuildRuleListsIgnoresUnknownIdsAndEmptiesOthersWithoutASelection) {
    state_.store.ServiceTable[0].rulelist.rules = {makeRule("a"), makeRule("b")};
    appendService(state_.store, "One", "/one", "", false, {"r1", "r2"});
    MainWindow& w = create();
    clickSideBar(6);
    ASSERT_EQ(lines(kbtest::List(*Find<RuleListPanel>(w, "frSwapRules6"), "clRuleList")),
              (QStringList{"r1", "r2"}));

    // An id outside 0..6 touches no panel, even when the table has changed.
    state_.store.ServiceTable[0].rulelist.rules.clear();
    for (int id : {7, 200, 255}) session_->BuildRuleLists(static_cast<std::uint8_t>(id));
    EXPECT_EQ(lines(kbtest::List(*Find<RuleListPanel>(w, "frSwapRules1"), "clRuleList")),
              (QStringList{"a", "b"}));
    EXPECT_EQ(lines(kbtest::List(*Find<RuleListPanel>(w, "frSwapRules6"), "clRuleList")),
              (QStringList{"r1", "r2"}));

    // No service selected: the Others panel is empty with its rule buttons off.
    Find<QListWidget>(w, "clService")->clearSelection();
    session_->BuildRuleLists(sidOther);
    RuleListPanel* p = Find<RuleListPanel>(w, "frSwapRules6");
    EXPECT_EQ(kbtest::List(*p, "clRuleList")->count(), 0);
    EXPECT_FALSE(kbtest::Button(*p, "btnEdit")->isEnabled());
    EXPECT_FALSE(kbtest::Button(*p, "btnDelete")->isEnabled());
    EXPECT_FALSE(kbtest::Button(*p, "btnMoveUp")->isEnabled());
    EXPECT_FALSE(kbtest::Button(*p, "btnMoveDown")->isEnabled());
    EXPECT_EQ(session_->CurrentServiceIndex(), -1);

    // Without its record a page shows no rules rather than stale ones.
    state_.store.ServiceTable.clear();
    session_->BuildRuleLists(sidKazaa);
    EXPECT_EQ(kbtest::List(*Find<RuleListPanel>(w, "frSwapRules1"), "clRuleList")->count(), 0);
    EXPECT_FALSE(kbtest::Button(*Find<RuleListPanel>(w, "frSwapRules1"), "btnEdit")->isEnabled());
}

TEST_F(MainWindowTest, WithoutAdditionalServicesTheOthersCommandsAreOff) {
    MainWindow& w = create();
    EXPECT_EQ(Find<QListWidget>(w, "clService")->count(), 0);
    EXPECT_FALSE(kbtest::Button(*Find<RuleListPanel>(w, "frSwapRules6"), "btnAdd")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>(w, "btnEditService")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>(w, "btnDeleteService")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>(w, "btnAddService")->isEnabled());
    // Edit and Delete without a selection are harmless.
    Find<QPushButton>(w, "btnEditService")->click();
    Find<QPushButton>(w, "btnDeleteService")->click();
    EXPECT_EQ(state_.store.ServiceCount(), 6);
}

TEST_F(MainWindowTest, DeletingTheSecondOfThreeServicesRenumbersAndSavesAtOnce) {
    appendService(state_.store, "First", "/d1", "*.a", false, {"f1"});
    appendService(state_.store, "Second", "/d2", "*.b", true, {"s1"});
    appendService(state_.store, "Third", "/d3", "*.c;x*", true, {"t1", "t2"});
    MainWindow& w = create();
    clickSideBar(6);
    ASSERT_EQ(lines(Find<QListWidget>(w, "clService")), (QStringList{"First", "Second", "Third"}));

    Find<QListWidget>(w, "clService")->setCurrentRow(1);
    EXPECT_EQ(lines(kbtest::List(*Find<RuleListPanel>(w, "frSwapRules6"), "clRuleList")),
              QStringList{"s1"});
    QTest::mouseClick(Find<QPushButton>(w, "btnDeleteService"), Qt::LeftButton);

    ServiceStore& st = state_.store;
    ASSERT_EQ(st.ServiceCount(), 8);
    ASSERT_EQ(st.CustomCount(), 2);
    EXPECT_EQ(st.ServiceTable[6].othername, "First");
    EXPECT_EQ(st.ServiceTable[6].othernum, 1);
    const rServiceRules& third = st.ServiceTable[7];
    EXPECT_EQ(third.othername, "Third");
    EXPECT_EQ(third.othernum, 2);
    EXPECT_EQ(third.sharedir, "/d3");
    EXPECT_EQ(third.excludefiles, "*.c;x*");
    EXPECT_TRUE(third.enabled);
    EXPECT_EQ(third.rulelist.rulecnt(), 2);

    EXPECT_EQ(lines(Find<QListWidget>(w, "clService")), (QStringList{"First", "Third"}));
    EXPECT_EQ(Find<QListWidget>(w, "clService")->item(1)->checkState(), Qt::Checked);
    EXPECT_EQ(Find<QListWidget>(w, "clService")->currentRow(), 0);
    EXPECT_EQ(lines(kbtest::List(*Find<RuleListPanel>(w, "frSwapRules6"), "clRuleList")),
              QStringList{"f1"});

    // The deletion is on disk already, so it survives a restart.
    ServiceStore s = saved();
    ASSERT_EQ(s.CustomCount(), 2);
    EXPECT_EQ(s.ServiceTable[7].othername, "Third");
    EXPECT_EQ(s.ServiceTable[7].othernum, 2);
}

TEST_F(MainWindowTest, DeletingTheLastServiceEmptiesTheListAndThePanel) {
    appendService(state_.store, "Only", "/d", "", true, {"r"});
    MainWindow& w = create();
    clickSideBar(6);
    Find<QPushButton>(w, "btnDeleteService")->click();
    EXPECT_EQ(state_.store.CustomCount(), 0);
    EXPECT_EQ(Find<QListWidget>(w, "clService")->count(), 0);
    EXPECT_EQ(kbtest::List(*Find<RuleListPanel>(w, "frSwapRules6"), "clRuleList")->count(), 0);
    EXPECT_FALSE(kbtest::Button(*Find<RuleListPanel>(w, "frSwapRules6"), "btnAdd")->isEnabled());
    EXPECT_FALSE(kbtest::Button(*Find<RuleListPanel>(w, "frSwapRules6"), "btnEdit")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>(w, "btnEditService")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>(w, "btnDeleteService")->isEnabled());
    EXPECT_EQ(saved().ServiceCount(), 6);
}

// Answers the add/edit service dialog once it is open.
void answerServiceDialog(const QString& name, const QString& dir, bool ok) {
    QTimer::singleShot(50, [=] {
        auto* dlg = qobject_cast<AddServiceDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        if (!ok) return dlg->reject();
        dlg->teService->setText(name);
        dlg->teSharedDir->setText(dir);
        QTest::mouseClick(dlg->Button1, Qt::LeftButton);
    });
}

TEST_F(MainWindowTest, AddingAndEditingServicesRebuildTheListSelectTheRightLineAndSave) {
    MainWindow& w = create();
    clickSideBar(6);

    answerServiceDialog("Alpha", "/alpha", true);
    QTest::mouseClick(Find<QPushButton>(w, "btnAddService"), Qt::LeftButton);
    EXPECT_EQ(lines(Find<QListWidget>(w, "clService")), QStringList{"Alpha"});
    EXPECT_EQ(Find<QListWidget>(w, "clService")->item(0)->checkState(), Qt::Unchecked);
    EXPECT_EQ(Find<QListWidget>(w, "clService")->currentRow(), 0);
    EXPECT_TRUE(kbtest::Button(*Find<RuleListPanel>(w, "frSwapRules6"), "btnAdd")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>(w, "btnEditService")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>(w, "btnDeleteService")->isEnabled());
    EXPECT_EQ(saved().CustomCount(), 1);

    answerServiceDialog("Beta", "/beta", true);
    Find<QPushButton>(w, "btnAddService")->click();
    answerServiceDialog("Gamma", "/gamma", true);
    Find<QPushButton>(w, "btnAddService")->click();
    // The new service is the one selected, so Add Rule... acts on it.
    EXPECT_EQ(lines(Find<QListWidget>(w, "clService")), (QStringList{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(Find<QListWidget>(w, "clService")->currentRow(), 2);
    EXPECT_EQ(session_->CurrentServiceIndex(), 8);
    EXPECT_EQ(state_.store.ServiceTable[8].othernum, 3);

    state_.store.ServiceTable[8].rulelist.rules = {makeRule("g1"), makeRule("g2")};
    Find<QListWidget>(w, "clService")->setCurrentRow(2);
    answerServiceDialog("Gamma 2", "/gamma2", true);
    Find<QPushButton>(w, "btnEditService")->click();
    EXPECT_EQ(lines(Find<QListWidget>(w, "clService")), (QStringList{"Alpha", "Beta", "Gamma 2"}));
    EXPECT_EQ(Find<QListWidget>(w, "clService")->currentRow(), 2);
    EXPECT_EQ(lines(kbtest::List(*Find<RuleListPanel>(w, "frSwapRules6"), "clRuleList")),
              (QStringList{"g1", "g2"}));
    EXPECT_EQ(saved().ServiceTable[8].othername, "Gamma 2");
    EXPECT_EQ(saved().ServiceTable[8].sharedir, "/gamma2");

    // A cancelled edit changes and saves nothing.
    const auto before = fs::last_write_time(state_.ConfigFilePath);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    answerServiceDialog("", "", false);
    Find<QPushButton>(w, "btnEditService")->click();
    EXPECT_EQ(state_.store.ServiceTable[8].othername, "Gamma 2");
    EXPECT_EQ(fs::last_write_time(state_.ConfigFilePath), before);

    // A double-click edits the selected service.
    answerServiceDialog("Gamma 3", "/gamma3", true);
    QTest::mouseDClick(Find<QListWidget>(w, "clService")->viewport(), Qt::LeftButton, {},
                       Find<QListWidget>(w, "clService")
                           ->visualItemRect(Find<QListWidget>(w, "clService")->item(2))
                           .center());
    EXPECT_EQ(state_.store.ServiceTable[8].othername, "Gamma 3");
}

TEST_F(MainWindowTest, ACheckMarkEnablesOnlyItsOwnServiceSelectsItAndSaves) {
    appendService(state_.store, "A", "/a", "", false, {"a1"});
    appendService(state_.store, "B", "/b", "", false, {"b1"});
    appendService(state_.store, "C", "/c", "", false, {"c1"});
    MainWindow& w = create();
    clickSideBar(6);
    ASSERT_EQ(Find<QListWidget>(w, "clService")->currentRow(), 0);

    Find<QListWidget>(w, "clService")
        ->item(2)
        ->setCheckState(Qt::Checked);  // as a click on the box does
    const auto& t = state_.store.ServiceTable;
    EXPECT_FALSE(t[6].enabled);
    EXPECT_FALSE(t[7].enabled);
    EXPECT_TRUE(t[8].enabled);
    for (int i = 0; i < 6; ++i) EXPECT_FALSE(t[i].enabled);
    EXPECT_EQ(Find<QListWidget>(w, "clService")->currentRow(), 2);
    EXPECT_EQ(lines(kbtest::List(*Find<RuleListPanel>(w, "frSwapRules6"), "clRuleList")),
              QStringList{"c1"});
    EXPECT_TRUE(saved().ServiceTable[8].enabled);
    EXPECT_FALSE(saved().ServiceTable[7].enabled);

    Find<QListWidget>(w, "clService")->item(2)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(t[8].enabled);
    EXPECT_FALSE(saved().ServiceTable[8].enabled);
}

TEST_F(MainWindowTest, ClosingHidesTheWindowSavesItsPlaceAndScanningGoesOn) {
    const std::string share = sandbox_.Root() + "/share";
    fs::create_directories(share);
    std::ofstream(share + "/song.mp3") << "x";
    state_.store.ServiceTable[0].enabled = true;
    state_.store.ServiceTable[0].sharedir = share;

    MainWindow& w = create();
    EXPECT_EQ(session_->Scheduler().Interval(), 5000);
    EXPECT_TRUE(session_->Scheduler().Enabled());
    w.Lifecycle().ShowWindow();
    w.move(120, 90);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));

    // There is no notification area here, so the first close says, in the
    // window and before it goes, how to get it back; it is said once, ever.
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    {
        kbtest::BoxAnswerer boxes;
        EXPECT_FALSE(w.close());
        ASSERT_EQ(boxes.seen.size(), 1u);
        EXPECT_EQ(boxes.seen[0].title, "Kestrelbox");
        EXPECT_TRUE(boxes.seen[0].text.contains("start Kestrelbox again"))
            << boxes.seen[0].text.toStdString();
        EXPECT_TRUE(boxes.seen[0].text.contains("File \u203a Exit"));
    }
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.Lifecycle().ShownWindowCount(), 0);
    Settings stored;
    LoadSettings(stored);
    EXPECT_TRUE(stored.NoTrayNoticeShown);
    AdditionalOptions s;
    LoadAdditionalOptions(s);
    EXPECT_EQ(s.WinLeft, w.frameGeometry().left());
    EXPECT_EQ(s.WinTop, w.frameGeometry().top());
    EXPECT_EQ(s.WinWidth, w.frameGeometry().width());

    // File › Close is the same request, and the notice is not repeated.
    Find<QAction>(w, "ViewKestrelboxWindow1")->trigger();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.Lifecycle().ShownWindowCount(), 1);
    {
        kbtest::BoxAnswerer boxes;
        Find<QAction>(w, "Close1")->trigger();
        EXPECT_TRUE(boxes.seen.empty());
    }
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.Lifecycle().ShownWindowCount(), 0);

    // The pass runs while hidden and its baseline reaches the table.
    session_->Scheduler().SetInterval(20);
    session_->Scheduler().SetEnabled(true);
    QSignalSpy passes(&session_->Scheduler(), &ScanScheduler::PassFinished);
    ASSERT_TRUE(passes.wait(5000));
    const kb::ServiceState& kept =
        session_->Scheduler().State().Of(state_.store.ServiceTable[0].uid);
    EXPECT_TRUE(kept.scanned);
    ASSERT_EQ(kept.baseline.size(), 1u);
    EXPECT_EQ(kept.baseline.get()[0].name, "song.mp3");
    EXPECT_EQ(Find<QMenu>(w, "PopupMenu1")->actions().last()->text(), "Exit Kestrelbox");
}

TEST_F(MainWindowTest, FileExitEndsTheProgramLikeTheTrayMenusExit) {
    MainWindow& w = create();
    QMenu* file = Find<QMenu>(w, "File1");
    QStringList captions;
    for (QAction* a : file->actions())
        if (!a->isSeparator()) captions << a->text();
    EXPECT_EQ(captions, (QStringList{"&Close", "E&xit"}));
    w.show();
    w.move(130, 60);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QTimer::singleShot(0, &w, [&] { Find<QAction>(w, "Exit1")->trigger(); });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    AdditionalOptions s;
    LoadAdditionalOptions(s);
    EXPECT_EQ(s.WinLeft, 130);
}

TEST_F(MainWindowTest, ExitSavesTheLastPlaceAndEndsTheLoopWhetherShownOrHidden) {
    MainWindow& w = create();
    w.show();
    w.move(140, 70);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.hide();
    QTimer::singleShot(0, &w, [&] { Find<QAction>(w, "ExitKestrelbox1")->trigger(); });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    AdditionalOptions s;
    LoadAdditionalOptions(s);
    EXPECT_EQ(s.WinLeft, 140);
    EXPECT_EQ(s.WinTop, 70);

    // Shown, the exit must not turn into a close request that only hides.
    w.show();
    w.move(150, 80);
    QTimer::singleShot(0, &w, [&] { Find<QAction>(w, "ExitKestrelbox1")->trigger(); });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    LoadAdditionalOptions(s);
    EXPECT_EQ(s.WinLeft, 150);
}

TEST_F(MainWindowTest, SessionEndSavesHidesStopsScanningAndThenLetsCloseEndTheProgram) {
    MainWindow& w = create();
    w.Lifecycle().ShowWindow();
    w.move(60, 40);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));

    w.Lifecycle().EndSession();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(w.Lifecycle().Ending());
    EXPECT_FALSE(session_->Scheduler().Enabled());
    EXPECT_FALSE(session_->Scheduler().Timer().isActive());
    AdditionalOptions s;
    LoadAdditionalOptions(s);
    EXPECT_EQ(s.WinLeft, 60);

    // A session end that did not happen: using the window again resumes.
    Find<QAction>(w, "ViewKestrelboxWindow1")->trigger();
    EXPECT_FALSE(w.Lifecycle().Ending());
    EXPECT_TRUE(session_->Scheduler().Enabled());

    w.Lifecycle().EndSession();
    w.show();
    QTimer::singleShot(0, &w, [&] { w.close(); });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

TEST_F(MainWindowTest, ComingForwardShowsAHiddenWindowOnlyWhenThereIsNoNotificationArea) {
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());  // offscreen has none
    MainWindow& w = create();
    ASSERT_FALSE(w.isVisible());
    w.Lifecycle().ComeForward();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.Lifecycle().ShownWindowCount(), 1);

    // Already shown: raised, not counted again.
    w.Lifecycle().ComeForward();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.Lifecycle().ShownWindowCount(), 1);

    w.showMinimized();
    w.Lifecycle().ComeForward();
    EXPECT_FALSE(w.windowState() & Qt::WindowMinimized);
}

// A pass that takes long (a slow launched program here) runs off the GUI
// thread, and its baselines find their records even when the table changed
// under it.
TEST_F(MainWindowTest, ALongPassKeepsTheWindowResponsiveAndStoresBaselinesByIdentity) {
    const std::string shareA = sandbox_.Root() + "/a", shareB = sandbox_.Root() + "/b";
    fs::create_directories(shareA);
    fs::create_directories(shareB);
    std::ofstream(shareA + "/one.bin") << "1";
    std::ofstream(shareB + "/two.bin") << "2";
    rServiceRules& a = appendService(state_.store, "A", shareA, "", true, {});
    RuleRec slow = makeRule("slow");
    slow.mcond = trgFileCount;
    slow.fcnt = 0;
    ruleactionrec launch;
    launch.raction = actLaunch;
    launch.launch.fprogram = "/bin/true";
    launch.launch.fparams = "mfile";
    slow.actions.push_back(launch);
    a.rulelist.rules.push_back(slow);
    appendService(state_.store, "B", shareB, "", true, {});

    std::atomic<bool> release{false};
    std::atomic<bool> launched{false};
    std::atomic<bool> onGuiThread{true};
    ScanEnvironment env = quietEnvironment();
    QThread* gui = QThread::currentThread();
    env.launch = [&](const std::string&, const std::vector<std::string>&) {
        onGuiThread = QThread::currentThread() == gui;
        launched = true;
        for (int i = 0; i < 500 && !release; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return Status{true, {}};
    };
    MainWindow& w = create(env);
    session_->Scheduler().SetEnabled(false);
    session_->Scheduler().StartPass();
    ASSERT_TRUE(session_->Scheduler().Busy());

    QElapsedTimer clock;
    clock.start();
    while (!launched && clock.elapsed() < 5000) QTest::qWait(5);
    ASSERT_TRUE(launched);
    EXPECT_FALSE(onGuiThread);

    // The GUI thread handles events while the pass is stuck in the launch.
    bool ticked = false;
    QTimer::singleShot(10, [&] { ticked = true; });
    QTest::qWait(60);
    EXPECT_TRUE(ticked);
    EXPECT_TRUE(session_->Scheduler().Busy());

    // The user deletes A meanwhile; B moves to A's place.
    clickSideBar(6);
    Find<QListWidget>(w, "clService")->setCurrentRow(0);
    Find<QPushButton>(w, "btnDeleteService")->click();
    ASSERT_EQ(state_.store.ServiceTable[6].othername, "B");

    release = true;
    QSignalSpy done(&session_->Scheduler(), &ScanScheduler::PassFinished);
    ASSERT_TRUE(done.wait(5000));
    const kb::ServiceState& b = session_->Scheduler().State().Of(state_.store.ServiceTable[6].uid);
    EXPECT_TRUE(b.scanned);
    ASSERT_EQ(b.baseline.size(), 1u);
    EXPECT_EQ(b.baseline.get()[0].name, "two.bin");
    // Switched off: no further pass was scheduled.
    EXPECT_FALSE(session_->Scheduler().Timer().isActive());
}

TEST_F(MainWindowTest, ASaveThatFailsIsShownInTheStatusBarUntilOneSucceeds) {
    MainWindow& w = create();
    const std::string good = state_.ConfigFilePath;
    // A folder that cannot exist: its parent is a regular file.
    test::XdgSandbox::Write(dir_ + "blocker", "x");
    state_.ConfigFilePath = dir_ + "blocker/kbconf.ini";
    clickSideBar(0);
    QTest::mouseClick(Find<QCheckBox>(w, "chkKazaa"), Qt::LeftButton);
    EXPECT_TRUE(state_.store.ServiceTable[0].enabled);  // the change is kept
    EXPECT_EQ(Find<QStatusBar>(w, "StatusBar1")->currentMessage(),
              "Could not save kbconf.ini: Not a directory. The rules are kept and saved again "
              "at the next change.");

    state_.ConfigFilePath = good;
    QTest::mouseClick(Find<QCheckBox>(w, "chkKazaa"), Qt::LeftButton);
    EXPECT_TRUE(Find<QStatusBar>(w, "StatusBar1")->currentMessage().isEmpty());
    EXPECT_FALSE(saved().ServiceTable[0].enabled);
}

// ---- Options › Settings... ----------------------------------------------------------

TEST_F(MainWindowTest, SettingsShowsTheStoredOptionsAndOkHandsThemToTheScanPasses) {
    state_.settings.WaitSettled = true;
    state_.settings.SettleSeconds = 25;
    MainWindow& w = create();
    EXPECT_TRUE(session_->Scheduler().Gate().enabled);
    EXPECT_EQ(session_->Scheduler().Gate().settleSeconds, 25);
    ASSERT_NE(Find<QAction>(w, "Settings1"), nullptr);
    EXPECT_EQ(Find<QAction>(w, "Settings1")->text(), "&Settings...");

    kbtest::DialogDriver<SettingsDialog> driver([](SettingsDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Settings");
        EXPECT_EQ(d->chkWaitSettled->text(), "Wait until a file has stopped changing");
        EXPECT_TRUE(d->chkWaitSettled->isChecked());
        EXPECT_EQ(d->seSettleSeconds->value(), 25);
        EXPECT_EQ(d->seSettleSeconds->maximum(), 3600);
        EXPECT_TRUE(d->seSettleSeconds->isEnabled());
        EXPECT_EQ(d->seUnseenWriterMinutes->value(), 10);
        EXPECT_EQ(d->tePartialSuffixes->text().toStdString(), kDefaultPartialSuffixes);
        EXPECT_EQ(d->chkFoldersAsDownloads->text(), "Treat a folder as one download");
        EXPECT_TRUE(d->chkFoldersAsDownloads->isChecked());
        // The endings as typed, tidied; the folders switched off.
        d->tePartialSuffixes->setText(" .part ; .!qB;; ");
        d->seUnseenWriterMinutes->setValue(30);
        QTest::mouseClick(d->chkFoldersAsDownloads, Qt::LeftButton, {},
                          QPoint(8, d->chkFoldersAsDownloads->height() / 2));
        QTest::mouseClick(d->chkWaitSettled, Qt::LeftButton);
        // The seconds mean nothing without the wait.
        EXPECT_FALSE(d->seSettleSeconds->isEnabled());
        EXPECT_FALSE(d->tePartialSuffixes->isEnabled());
        EXPECT_EQ(d->chkDeleteToTrash->text(), "Move deleted files to the Trash");
        EXPECT_EQ(d->chkNotifyFailures->text(), "Notify me when an action fails");
        EXPECT_EQ(d->chkNotifyEvery->text(), "Notify me of every action");
        EXPECT_TRUE(d->chkDeleteToTrash->isChecked());
        EXPECT_TRUE(d->chkNotifyFailures->isChecked());
        EXPECT_FALSE(d->chkNotifyEvery->isChecked());
        QTest::mouseClick(d->chkDeleteToTrash, Qt::LeftButton, {},
                          QPoint(8, d->chkDeleteToTrash->height() / 2));
        // On its box: a check box stretched by its row takes clicks on its
        // box and caption only.
        QTest::mouseClick(d->chkNotifyEvery, Qt::LeftButton, {},
                          QPoint(8, d->chkNotifyEvery->height() / 2));
        QTest::mouseClick(d->Buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    Find<QAction>(w, "Settings1")->trigger();
    ASSERT_TRUE(driver.called);
    EXPECT_FALSE(state_.settings.WaitSettled);
    EXPECT_FALSE(session_->Scheduler().Gate().enabled);
    EXPECT_FALSE(session_->Scheduler().DeleteToTrash());
    EXPECT_FALSE(session_->Scheduler().FoldersAsDownloads());
    EXPECT_EQ(session_->Scheduler().Gate().unseenWriterSeconds, 1800);
    EXPECT_EQ(session_->Scheduler().Gate().partialSuffixes,
              (std::vector<std::string>{".part", ".!qB"}));
    EXPECT_EQ(state_.settings.PartialSuffixes, ".part;.!qB");
    EXPECT_TRUE(state_.settings.NotifyEvery);
    std::int32_t stored = -1;
    ASSERT_EQ(ReadRegInteger(RegRoot::LocalMachine, kOptionsKey, "WaitSettled", stored), 0);
    EXPECT_EQ(stored, 0);
    ASSERT_EQ(ReadRegInteger(RegRoot::LocalMachine, kOptionsKey, "SettleSeconds", stored), 0);
    EXPECT_EQ(stored, 25);
    ASSERT_EQ(ReadRegInteger(RegRoot::LocalMachine, kOptionsKey, "DeleteToTrash", stored), 0);
    EXPECT_EQ(stored, 0);
    ASSERT_EQ(ReadRegInteger(RegRoot::LocalMachine, kOptionsKey, "NotifyEvery", stored), 0);
    EXPECT_EQ(stored, 1);
}

TEST_F(MainWindowTest, SettingsCancelledOrUnsavableChangeNothing) {
    MainWindow& w = create();
    const Settings before = state_.settings;
    kbtest::DialogDriver<SettingsDialog> cancel([](SettingsDialog* d) {
        d->seSettleSeconds->setValue(60);
        QTest::keyClick(d, Qt::Key_Escape);
    });
    Find<QAction>(w, "Settings1")->trigger();
    ASSERT_TRUE(cancel.called);
    EXPECT_EQ(state_.settings, before);
    EXPECT_FALSE(RegKeyExists(RegRoot::LocalMachine, kOptionsKey));

    // The registry cannot be written: the error is shown at once and the
    // dialog stays open with what was entered.
    sandbox_.MakeConfigUnwritable();
    Settings options;
    SettingsDialog dlg(options, &w);
    dlg.show();
    dlg.seSettleSeconds->setValue(60);
    kbtest::BoxAnswerer boxes;
    QTest::mouseClick(dlg.Buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    QTRY_COMPARE(boxes.seen.size(), std::size_t{1});
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.seSettleSeconds->value(), 60);
    EXPECT_EQ(options.SettleSeconds, 10);
}

}  // namespace

// ---- Rough edges a new user meets -------------------------------------------

namespace {

TEST_F(MainWindowTest, TheWelcomePageOffersFoundClientsAndItsLinkSetsOneUp) {
    const std::string torrents = sandbox_.Root() + "/home/Torrents";
    fs::create_directories(torrents);
    test::XdgSandbox::Write(sandbox_.Config() + "/transmission/settings.json",
                            "{\"download-dir\": \"" + torrents + "\"}");
    MainWindow& w = create();
    auto* text = Find<HtmlLabel>(w, "HTMLStaticText1");
    EXPECT_TRUE(text->Html().startsWith(WelcomeHtml()));
    EXPECT_TRUE(
        text->Html().contains("Found on this computer:</b> the download folders of "
                              "Transmission."))
        << text->Html().toStdString();

    int dialogs = 0;
    kbtest::ModalAnswerer answerer([&](QWidget* m) {
        auto* dlg = qobject_cast<AddServiceDialog*>(m);
        ASSERT_NE(dlg, nullptr);
        ++dialogs;
        ASSERT_NE(dlg->cbFound, nullptr);
        ASSERT_EQ(dlg->cbFound->count(), 1);
        dlg->cbFound->setFocus();
        QTest::keyClick(dlg->cbFound, Qt::Key_Down);
        QTest::mouseClick(dlg->Button1, Qt::LeftButton);
    });
    emit Find<WelcomePage>(w, "tshome")->LinkClicked(QString::fromLatin1(kFoundClientsLink));
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(session_->CurrentServiceId(), sidOther);
    EXPECT_EQ(Find<QStackedWidget>(w, "PageControl1")->currentWidget()->objectName(), "tsOthers");
    const int added = state_.store.FindAdditional(1);
    ASSERT_GE(added, 0);
    EXPECT_EQ(state_.store.ServiceTable[added].othername, "Transmission");
    EXPECT_EQ(state_.store.ServiceTable[added].sharedir, torrents);
    EXPECT_EQ(state_.store.ServiceTable[added].excludefiles, "*.part");
    EXPECT_EQ(saved().ServiceTable[added].sharedir, torrents);
    // Once a service has a folder the offer is gone.
    EXPECT_EQ(text->Html(), WelcomeHtml());
}

TEST_F(MainWindowTest, TheWindowCannotBeShrunkUntilControlsAreCutOffAndTheFolderFieldStretches) {
    MainWindow& w = create();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    clickSideBar(0);
    auto* folder = Find<QLineEdit>(w, "teKazaa");
    auto* browse = Find<QPushButton>(w, "Button10");
    const int designField = folder->width();
    w.resize(60, 60);
    QCoreApplication::processEvents();
    EXPECT_GE(w.width(), w.minimumWidth());
    EXPECT_GT(w.minimumWidth(), 300);
    auto* header = w.findChild<QLabel*>("SideBarGroup");
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->text(), "Swapping Networks");
    EXPECT_GE(header->width(), header->sizeHint().width());
    // Browse... is whole, inside the page, beside the field.
    QWidget* strip = browse->parentWidget();
    EXPECT_LE(browse->geometry().right(), strip->width() - 1);
    EXPECT_EQ(browse->geometry().left(), folder->geometry().right());
    EXPECT_GE(folder->width(), 253);

    // Wider, the field takes the room and Browse... follows it.
    w.resize(900, 500);
    QCoreApplication::processEvents();
    EXPECT_GT(folder->width(), designField + 100);
    EXPECT_EQ(browse->geometry().left(), folder->geometry().right());
    EXPECT_LE(browse->geometry().right(), strip->width() - 1);
    EXPECT_GE(browse->geometry().right(), strip->width() - 8);
}

// Fraction of the pixels of `a` and `b` (same size) that differ.
double Differing(const QImage& a, const QImage& b) {
    int differ = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) differ += a.pixel(x, y) != b.pixel(x, y);
    return double(differ) / (a.width() * a.height());
}

TEST_F(MainWindowTest, TheSideBarsKeyboardFocusIsPlainlyVisible) {
    MainWindow& w = create();
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QToolButton* item = Find<SideBar>(w, "dxSideBar1")->Item(0, 1);
    Find<QStackedWidget>(w, "PageControl1")->setFocus();
    QCoreApplication::processEvents();
    const QImage plain = item->grab().toImage();
    item->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(item->hasFocus());
    QCoreApplication::processEvents();
    const QImage focused = item->grab().toImage();
    ASSERT_EQ(plain.size(), focused.size());
    // A faint dotted frame changes a few percent of the pixels; the focus
    // mark changes the frame and the ground behind the caption.
    EXPECT_GT(Differing(plain, focused), 0.5);
}

}  // namespace

// ---- kbconf.ini changed behind the window -----------------------------------------

TEST_F(MainWindowTest, AConfigFileChangedBehindTheWindowIsTakenAndADamagedOneIsRefused) {
    session_ = std::make_unique<Session>(state_, quietEnvironment());
    session_->SaveConfig();
    session_->WatchConfigFile();
    window_ = std::make_unique<MainWindow>(*session_);
    QStatusBar* status = Find<QStatusBar>(*window_, "StatusBar1");

    // Another program (an import, an editor) writes a new table.
    ServiceStore edited;
    edited.InitServiceTable(nullptr);
    edited.ServiceTable[0].enabled = true;
    edited.ServiceTable[0].sharedir = dir_;
    edited.ServiceTable[0].rulelist.rules.push_back(kbtest::NamedRule("Sorted by hand", true));
    ASSERT_TRUE(SaveConfigFile(state_.ConfigFilePath, edited));
    const QString taken = QStringLiteral("The rules were read again from %1: 1 rule switched on.")
                              .arg(QString::fromStdString(state_.ConfigFilePath));
    EXPECT_TRUE(QTest::qWaitFor([&] { return status->currentMessage() == taken; }, 10000))
        << status->currentMessage().toStdString();
    ASSERT_EQ(state_.store.ServiceTable[0].rulelist.rules.size(), 1u);
    EXPECT_EQ(state_.store.ServiceTable[0].rulelist.rules[0].rulename, "Sorted by hand");
    EXPECT_TRUE(state_.store.ServiceTable[0].enabled);

    // A file that does not read cleanly: the rules stay, the line is named.
    std::string text = FormatConfigFile(edited);
    text.replace(text.find("rulecnt=1"), 9, "rulecnt=x");
    {
        std::ofstream out(state_.ConfigFilePath, std::ios::binary | std::ios::trunc);
        out << text;
    }
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return status->currentMessage().contains("does not read cleanly"); }, 10000));
    EXPECT_TRUE(status->currentMessage().startsWith(
        QString::fromStdString(state_.ConfigFilePath) +
        " was changed but does not read cleanly, so the rules stay as they were ("))
        << status->currentMessage().toStdString();
    EXPECT_EQ(state_.store.ServiceTable[0].rulelist.rules.size(), 1u);
}

// ---- Settings: mail and passwords ---------------------------------------------

TEST_F(MainWindowTest, SettingsMailGroupTestsSavesKbconfFieldsAndMovesNoPasswordWithoutAStore) {
    state_.store.SmtpServer = "mail.example.org";
    state_.store.ReplyTo = "me@example.org";
    state_.settings.MailLastError = "550 sender refused";
    ruleactionrec up;
    up.raction = actFtp;
    up.ftp.ftpserver = "files.example.org";
    up.ftp.ftpuser = "me";
    up.ftp.ftppass = "secret";
    state_.store.ServiceTable[0].rulelist.rules = {kbtest::Rule(trgNewFile, {up})};
    MainWindow& w = create();

    kbtest::LoopbackServer smtp;
    const std::string why = smtp.Start("smtp");
    kbtest::DialogDriver<SettingsDialog> driver([&](SettingsDialog* d) {
        EXPECT_TRUE(d->chkUseSmtp->isChecked());
        EXPECT_EQ(d->teSmtpServer->text(), "mail.example.org");
        EXPECT_EQ(d->teReplyTo->text(), "me@example.org");
        EXPECT_EQ(d->lblMailStatus->text(),
                  "The last mail could not be delivered: 550 sender refused");
        // No secret store in this session: the file keeps passwords, and says so.
        EXPECT_FALSE(d->btnMovePasswords->isEnabled());
        EXPECT_EQ(d->lblPasswords->text(),
                  "No secret store runs in this session: upload passwords stay in kbconf.ini.");

        d->teSmtpServer->setText("not a server/");
        QTest::mouseClick(d->Buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
        EXPECT_TRUE(d->isVisible()) << "a bad server is refused";
        EXPECT_TRUE(d->lblMailStatus->text().startsWith("The SMTP server is a name"));

        if (why.empty()) {
            d->teSmtpServer->setText(QStringLiteral("127.0.0.1:%1").arg(smtp.Port()));
            QTest::mouseClick(d->btnTestMail, Qt::LeftButton);
            EXPECT_TRUE(QTest::qWaitFor([&] { return d->btnTestMail->isEnabled(); }, 15000));
            EXPECT_EQ(d->lblMailStatus->text(), "Sent to me@example.org.");
        } else {
            d->teSmtpServer->setText("127.0.0.1:2525");
        }
        d->teReplyTo->setText("you@example.org");
        QTest::mouseClick(d->Buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    Find<QAction>(w, "Settings1")->trigger();
    ASSERT_TRUE(driver.called);
    const ServiceStore back = saved();
    EXPECT_EQ(back.ReplyTo, "you@example.org");
    EXPECT_NE(back.SmtpServer.find("127.0.0.1:"), std::string::npos);
    EXPECT_EQ(back.ServiceTable[0].rulelist.rules[0].actions[0].ftp.ftppass, "secret");
    if (why.empty()) {
        std::error_code ec;
        const auto mails =
            std::distance(fs::directory_iterator(smtp.Str("mail"), ec), fs::directory_iterator());
        EXPECT_EQ(mails, 1);
    }
}

// Run by tests/platform/with-keyring.sh, with gnome-keyring-daemon on a
// private session bus.
TEST_F(MainWindowTest, WithASecretStoreKbconfHoldsNoPasswordAndUploadsStillFindIt) {
    if (!std::getenv("KB_TEST_SECRET_STORE")) GTEST_SKIP() << "run by with-keyring.sh";
    ASSERT_TRUE(SecretStoreAvailable());
    ruleactionrec up;
    up.raction = actFtp;
    up.ftp.ftpserver = "ftpes://files.example.org";
    up.ftp.ftpport = 21;
    up.ftp.ftpuser = "me";
    up.ftp.ftppass = "old secret";
    state_.store.ServiceTable[0].rulelist.rules = {kbtest::Rule(trgNewFile, {up})};
    MainWindow& w = create();
    session_->SaveConfig();
    kbtest::DialogDriver<SettingsDialog> driver([&](SettingsDialog* d) {
        EXPECT_EQ(d->lblPasswords->text(), "1 upload password is kept in kbconf.ini.");
        ASSERT_TRUE(d->btnMovePasswords->isEnabled());
        QTest::mouseClick(d->btnMovePasswords, Qt::LeftButton);
        EXPECT_EQ(d->lblPasswords->text(), "No upload password is kept in kbconf.ini.");
        d->teSmtpUser->setText("mailer");
        d->teSmtpPassword->setText("mail secret");
        EXPECT_TRUE(d->chkSmtpKeyring->isChecked());
        QTest::mouseClick(d->Buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    Find<QAction>(w, "Settings1")->trigger();
    ASSERT_TRUE(driver.called);
    const std::string file = test::XdgSandbox::Read(state_.ConfigFilePath);
    EXPECT_EQ(file.find("old secret"), std::string::npos);
    EXPECT_NE(file.find("password.0=keyring"), std::string::npos);
    const racftp ftp = saved().ServiceTable[0].rulelist.rules[0].actions[0].ftp;
    EXPECT_TRUE(ftp.passwordInKeyring);
    EXPECT_EQ(LookupSecret(UploadSecretKey(ftp)).value_or(""), "old secret");
    EXPECT_TRUE(state_.settings.SmtpPasswordInKeyring);
    EXPECT_EQ(state_.settings.SmtpPassword, "");
    std::string stored;
    ReadRegString(RegRoot::LocalMachine, kOptionsKey, "SmtpPassword", stored);
    EXPECT_EQ(stored, "");
    EXPECT_EQ(session_->MailTemplate().password, "mail secret");
}

// ---- Deletions taken back -----------------------------------------------------

TEST_F(MainWindowTest, ADeletedRuleOrServiceComesBackInItsPlaceWithItsRules) {
    state_.store.ServiceTable[0].rulelist.rules = {makeRule("a"), makeRule("b"), makeRule("c")};
    appendService(state_.store, "First", "/d1", "*.a", false, {"f1"});
    appendService(state_.store, "Second", "/d2", "*.b", true, {"s1", "s2"});
    appendService(state_.store, "Third", "/d3", "*.c", true, {"t1"});
    MainWindow& w = create();
    QAction* undo = Find<QAction>(w, "UndoDelete1");
    QLabel* link = Find<QLabel>(w, "lblUndoDelete");
    EXPECT_EQ(undo->shortcut(), QKeySequence(QKeySequence::Undo));
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_TRUE(link->isHidden());

    clickSideBar(0);
    auto* kazaa = Find<RuleListPanel>(w, "frSwapRules1");
    kbtest::List(*kazaa, "clRuleList")->setCurrentRow(1);
    QTest::mouseClick(kbtest::Button(*kazaa, "btnDelete"), Qt::LeftButton);
    EXPECT_EQ(lines(kbtest::List(*kazaa, "clRuleList")), (QStringList{"a", "c"}));
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_FALSE(link->isHidden());
    EXPECT_EQ(link->text(),
              "Rule &quot;b&quot; of Kazaa deleted. <a href=\"undo\">Undo delete</a>");

    clickSideBar(6);
    Find<QListWidget>(w, "clService")->setCurrentRow(1);
    QTest::mouseClick(Find<QPushButton>(w, "btnDeleteService"), Qt::LeftButton);
    EXPECT_EQ(lines(Find<QListWidget>(w, "clService")), (QStringList{"First", "Third"}));
    EXPECT_EQ(link->text(), "Service &quot;Second&quot; deleted. <a href=\"undo\">Undo delete</a>");

    // The last deletion first: the service, numbered in its place, with its
    // rules and switch, selected and saved.
    undo->trigger();
    EXPECT_EQ(lines(Find<QListWidget>(w, "clService")), (QStringList{"First", "Second", "Third"}));
    EXPECT_EQ(Find<QListWidget>(w, "clService")->currentRow(), 1);
    EXPECT_EQ(lines(kbtest::List(*Find<RuleListPanel>(w, "frSwapRules6"), "clRuleList")),
              (QStringList{"s1", "s2"}));
    ServiceStore s = saved();
    ASSERT_EQ(s.CustomCount(), 3);
    EXPECT_EQ(s.ServiceTable[7].othername, "Second");
    EXPECT_EQ(s.ServiceTable[7].othernum, 2);
    EXPECT_TRUE(s.ServiceTable[7].enabled);
    EXPECT_EQ(s.ServiceTable[8].othernum, 3);
    EXPECT_EQ(link->text(),
              "Rule &quot;b&quot; of Kazaa deleted. <a href=\"undo\">Undo delete</a>");

    // Then the rule, through the status bar's link.
    emit link->linkActivated("undo");
    s = saved();
    ASSERT_EQ(s.ServiceTable[0].rulelist.rulecnt(), 3);
    EXPECT_EQ(s.ServiceTable[0].rulelist.rules[1].rulename, "b");
    clickSideBar(0);
    EXPECT_EQ(lines(kbtest::List(*kazaa, "clRuleList")), (QStringList{"a", "b", "c"}));
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_TRUE(link->isHidden());
}
