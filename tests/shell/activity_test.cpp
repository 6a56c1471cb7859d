// The Activity page and undo through the real window, over a real journal and
// real files: what passes did shows newest first, filters narrow it, Undo
// follows the selection and takes a move back between passes, and what
// cannot be taken back is said.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "builders.h"
#include "gui_modal.h"
#include "journal/journal.h"
#include "platform/xdg_sandbox.h"
#include "runtime/scanscheduler.h"
#include "runtime/session.h"
#include "runtime/startup.h"
#include "shell/activitypage.h"
#include "shell/mainwindow.h"
#include "shell/rulelist.h"
#include "store/settings.h"
#include "ui/sidebar.h"
#include "widgets.h"
#include "window_fixture.h"

namespace {

using namespace kb;
namespace fs = std::filesystem;

template <class T>
T* Find(const QObject& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << "no " << name;
    return found;
}

JournalEntry Entry(const std::string& file, bool ok, const std::string& action = "move") {
    JournalEntry e;
    e.timeMs = 1800000000000;
    e.service = "Kazaa";
    e.rule = "Move music";
    e.action = action;
    e.source = "/share/" + file;
    e.target = "/music";
    e.ok = ok;
    e.error = ok ? "" : "No space left on device";
    return e;
}

class Activity : public kbtest::WindowFixture {
protected:
    void openActivity() {
        QToolButton* item = Find<SideBar>(*window_, "dxSideBar1")->Item(0, 7);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->text(), "Activity");
        QTest::mouseClick(item, Qt::LeftButton);
        ASSERT_EQ(Find<QStackedWidget>(*window_, "PageControl1")->currentWidget()->objectName(),
                  "tsActivity");
    }

    QTableView* table() { return Find<QTableView>(*window_, "tvActivity"); }
    ActivityModel* model() { return static_cast<ActivityModel*>(table()->model()); }
    QString cell(int row, int column) {
        return model()->data(model()->index(row, column)).toString();
    }
    void select(int row) {
        table()->selectionModel()->clearSelection();
        table()->selectRow(row);
    }

    // A switched-on Kazaa on a folder of the sandbox, with one new-file rule.
    std::string serveKazaa(kb::ruleactionrec action) {
        const std::string share = root_ + "/share";
        fs::create_directories(share);
        state_.store.ServiceTable[0].enabled = true;
        state_.store.ServiceTable[0].sharedir = share;
        kb::RuleRec rule = kbtest::Rule(kb::trgNewFile, {action});
        rule.rulename = "Move music";
        state_.store.ServiceTable[0].rulelist.rules = {rule};
        return share;
    }
    void pass() {
        session_->Scheduler().StartPass();
        session_->Scheduler().WaitForPass();
    }
};

TEST_F(Activity, TheSideBarsLastItemShowsTheJournalNewestFirstWithFailuresInRed) {
    ASSERT_TRUE(journal_.Append({Entry("a.mp3", true), Entry("b.mp3", false)}));
    create();
    openActivity();
    ASSERT_EQ(model()->rowCount(), 2);
    const QStringList headers{"File", "Result", "When", "Action", "Rule", "Where to"};
    ASSERT_EQ(model()->columnCount(), headers.size());
    for (int c = 0; c < headers.size(); ++c)
        EXPECT_EQ(model()->headerData(c, Qt::Horizontal).toString(), headers[c]);
    EXPECT_EQ(cell(0, ActivityModel::Rule), "Kazaa / Move music");
    EXPECT_EQ(cell(0, ActivityModel::When),
              RelativeTimeText(1800000000000, QDateTime::currentDateTime()));
    // Everything about the row is in its tooltip, from any column.
    const QString tip =
        model()->data(model()->index(0, ActivityModel::When), Qt::ToolTipRole).toString();
    EXPECT_TRUE(
        tip.startsWith("/share/b.mp3\nMove to /music\nFailed: No space left on device\n"
                       "Rule: Kazaa / Move music\n"))
        << tip.toStdString();
    EXPECT_EQ(cell(0, ActivityModel::File), "b.mp3");
    EXPECT_EQ(cell(0, ActivityModel::Result), "Failed: No space left on device");
    EXPECT_EQ(cell(1, ActivityModel::Action), "Move");
    EXPECT_EQ(cell(1, ActivityModel::WhereTo), "/music");
    EXPECT_EQ(cell(1, ActivityModel::Result), "Done");
    EXPECT_TRUE(model()->data(model()->index(0, 0), Qt::ForegroundRole).isValid());
    EXPECT_FALSE(model()->data(model()->index(1, 0), Qt::ForegroundRole).isValid());
    // The other pages' current service is not changed by it.
    EXPECT_EQ(session_->CurrentServiceId(), 0);
}

TEST_F(Activity, RowsArriveAPageAtATimeAndTheFiltersNarrowThem) {
    std::vector<JournalEntry> many;
    for (int i = 0; i < 450; ++i)
        many.push_back(Entry("song " + std::to_string(i) + ".mp3", i % 3 != 0));
    ASSERT_TRUE(journal_.Append(many));
    create();
    openActivity();
    // Only a page is read, however long the journal; scrolling reads on.
    EXPECT_EQ(model()->rowCount(), ActivityModel::kPage);
    ASSERT_TRUE(model()->canFetchMore({}));
    model()->fetchMore({});
    model()->fetchMore({});
    EXPECT_EQ(model()->rowCount(), 450);
    EXPECT_FALSE(model()->canFetchMore({}));

    QTest::mouseClick(Find<QCheckBox>(*window_, "chkFailuresOnly"), Qt::LeftButton);
    while (model()->canFetchMore({})) model()->fetchMore({});
    EXPECT_EQ(model()->rowCount(), 150);
    QTest::keyClicks(Find<QLineEdit>(*window_, "teActivityFilter"), "SONG 12");
    // 12, 120..129: the failures among them are 12, 120, 123, 126, 129.
    EXPECT_EQ(model()->rowCount(), 5);
    QTest::mouseClick(Find<QCheckBox>(*window_, "chkFailuresOnly"), Qt::LeftButton);
    EXPECT_EQ(model()->rowCount(), 11);

    // A pass's entries come in at the top.
    ASSERT_TRUE(journal_.Append({Entry("song 12 again.mp3", true)}));
    model()->Refresh();
    EXPECT_EQ(model()->rowCount(), 12);
    EXPECT_EQ(cell(0, ActivityModel::File), "song 12 again.mp3");
}

TEST_F(Activity, UndoFollowsTheSelectionAndTakesAMoveBackBetweenPasses) {
    const std::string music = root_ + "/music";
    fs::create_directories(music);
    const std::string share = serveKazaa(kbtest::MoveTo(music));
    create();
    pass();  // the baseline
    std::ofstream(share + "/tune.mp3") << "tune";
    pass();
    ASSERT_TRUE(fs::exists(music + "/tune.mp3"));
    pass();  // the folder's baseline no longer holds it
    ASSERT_TRUE(journal_.Append({Entry("failed.mp3", false)}));
    openActivity();
    ASSERT_EQ(model()->rowCount(), 2);
    QPushButton* undo = Find<QPushButton>(*window_, "btnUndo");
    EXPECT_FALSE(undo->isEnabled());
    select(0);  // the failure: nothing to take back
    EXPECT_FALSE(undo->isEnabled());
    select(1);
    EXPECT_EQ(cell(1, ActivityModel::File), "tune.mp3");
    ASSERT_TRUE(undo->isEnabled());

    QTest::mouseClick(undo, Qt::LeftButton);
    session_->Scheduler().WaitForPass();
    EXPECT_TRUE(fs::exists(share + "/tune.mp3"));
    EXPECT_FALSE(fs::exists(music + "/tune.mp3"));
    // Put back, it is no new download: the rule does not move it again.
    pass();
    EXPECT_TRUE(fs::exists(share + "/tune.mp3"));
    // Recorded, and the moved row says it was taken back.
    ASSERT_EQ(model()->rowCount(), 3);
    EXPECT_EQ(cell(0, ActivityModel::Action), "Undo move");
    EXPECT_EQ(cell(0, ActivityModel::Result), "Done");
    EXPECT_EQ(cell(2, ActivityModel::Result), "Done, undone");
    EXPECT_EQ(journal_.Last(1)[0].action, "undo move");
    select(2);
    EXPECT_FALSE(undo->isEnabled());
}

// Undo waits for a running pass, and that pass puts its rows on top of the
// table before the undo is done: what is marked undone must be the entry the
// user chose, not the one that came to stand in its row.
TEST_F(Activity, AnUndoThatWaitsForAPassMarksTheEntryChosenNotItsOldRow) {
    const std::string music = root_ + "/music";
    fs::create_directories(music);
    const std::string share = serveKazaa(kbtest::MoveTo(music));
    // Morpheus launches a program at every pass; the test holds it.
    const std::string other = root_ + "/other";
    fs::create_directories(other);
    std::ofstream(other + "/x.bin") << "x";
    state_.store.ServiceTable[1].enabled = true;
    state_.store.ServiceTable[1].sharedir = other;
    kb::RuleRec every = kbtest::Rule(kb::trgFileCount, {kbtest::LaunchOf("/bin/true")});
    every.fcnt = 0;
    state_.store.ServiceTable[1].rulelist.rules = {every};
    std::atomic<bool> hold{false}, held{false};
    ScanEnvironment env;
    env.launch = [&](const std::string&, const std::vector<std::string>&) {
        held = hold.load();
        for (int i = 0; i < 500 && hold; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return Status{true, {}};
    };
    create(env);
    session_->Scheduler().SetEnabled(false);  // only the passes the test starts
    pass();
    std::ofstream(share + "/tune.mp3") << "tune";
    pass();
    ASSERT_TRUE(fs::exists(music + "/tune.mp3"));
    pass();
    openActivity();
    auto rowOf = [&](const QString& file, const QString& action) {
        for (int r = 0; r < model()->rowCount(); ++r)
            if (cell(r, ActivityModel::File) == file && cell(r, ActivityModel::Action) == action)
                return r;
        return -1;
    };
    const int chosen = rowOf("tune.mp3", "Move");
    ASSERT_GE(chosen, 0);
    const int rowsBefore = model()->rowCount();

    hold = true;
    session_->Scheduler().StartPass();
    QElapsedTimer clock;
    clock.start();
    while (!held && clock.elapsed() < 5000) QTest::qWait(5);
    ASSERT_TRUE(held);
    select(chosen);
    QTest::mouseClick(Find<QPushButton>(*window_, "btnUndo"), Qt::LeftButton);
    // More rows arrive meanwhile (another copy's entries, say).
    ASSERT_TRUE(journal_.Append({Entry("late one.mp3", true), Entry("late two.mp3", true)}));
    hold = false;
    session_->Scheduler().WaitForPass();

    QCoreApplication::processEvents();
    EXPECT_TRUE(fs::exists(share + "/tune.mp3"));
    EXPECT_EQ(cell(rowOf("tune.mp3", "Move"), ActivityModel::Result), "Done, undone");
    EXPECT_GT(model()->rowCount(), rowsBefore + 2);
    // No other row says it was taken back.
    int undone = 0;
    for (int r = 0; r < model()->rowCount(); ++r)
        if (cell(r, ActivityModel::Result).endsWith(", undone")) ++undone;
    EXPECT_EQ(undone, 1);
    EXPECT_EQ(cell(0, ActivityModel::Action), "Undo move");
}

TEST_F(Activity, WhatCannotBeTakenBackIsSaidAndLeftAlone) {
    const std::string music = root_ + "/music";
    fs::create_directories(music);
    const std::string share = serveKazaa(kbtest::MoveTo(music));
    create();
    pass();
    std::ofstream(share + "/tune.mp3") << "tune";
    pass();
    std::ofstream(music + "/tune.mp3", std::ios::app) << " and more";  // changed since
    openActivity();
    select(0);
    kbtest::BoxAnswerer boxes;
    QTest::mouseClick(Find<QPushButton>(*window_, "btnUndo"), Qt::LeftButton);
    QTRY_COMPARE(boxes.seen.size(), std::size_t{1});
    EXPECT_EQ(boxes.seen[0].text,
              "Cannot undo move of tune.mp3: it changed since (its size or date differ).");
    session_->Scheduler().WaitForPass();
    EXPECT_FALSE(fs::exists(share + "/tune.mp3"));
    EXPECT_EQ(journal_.Last(5).size(), 1u);  // nothing recorded: nothing was done
}

// A file undo put back stays with its "all files" rule; the row's menu lets
// the rule take it again at the next pass.
TEST_F(Activity, AnUndoneFileStaysUntilTheMenuLetsItsRuleRunOnItAgain) {
    const std::string music = root_ + "/music";
    fs::create_directories(music);
    const std::string share = serveKazaa(kbtest::MoveTo(music));
    kb::RuleRec& rule = state_.store.ServiceTable[0].rulelist.rules[0];
    rule.mcond = kb::trgFileCount;  // every pass that finds a file
    rule.fcnt = 0;
    std::ofstream(share + "/tune.mp3") << "tune";
    create();
    pass();
    ASSERT_TRUE(fs::exists(music + "/tune.mp3"));
    openActivity();
    select(0);
    QTest::mouseClick(Find<QPushButton>(*window_, "btnUndo"), Qt::LeftButton);
    session_->Scheduler().WaitForPass();
    ASSERT_TRUE(fs::exists(share + "/tune.mp3"));
    pass();
    pass();
    EXPECT_TRUE(fs::exists(share + "/tune.mp3")) << "the rule took an undone file again";

    // The moved row's menu: "Run the rule on it again".
    ASSERT_EQ(model()->rowCount(), 2);
    ASSERT_EQ(cell(1, ActivityModel::Action), "Move");
    const QRect moved = table()->visualRect(model()->index(1, 0));
    bool offered = false;
    QTimer::singleShot(50, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        auto* again = menu->findChild<QAction*>(QStringLiteral("actRunAgain"));
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(again->text(), "Run the rule on it again");
        offered = again->isEnabled();
        menu->setActiveAction(again);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    emit table()->customContextMenuRequested(moved.center());
    EXPECT_TRUE(offered);
    pass();
    EXPECT_FALSE(fs::exists(share + "/tune.mp3"));
    EXPECT_TRUE(fs::exists(music + "/tune.mp3"));
}

TEST_F(Activity, ARuleSaysWhenItLastActedAndHowItLastFailed) {
    const std::string share = serveKazaa(kbtest::CopyTo(root_ + "/no such folder"));
    create();
    pass();
    std::ofstream(share + "/a.mp3") << "a";
    pass();
    RuleListPanel* panel = Find<RuleListPanel>(*window_, "frSwapRules1");
    QWidget* viewport = kbtest::List(*panel, "clRuleList")->viewport();
    const QPoint at = kbtest::List(*panel, "clRuleList")
                          ->visualItemRect(kbtest::List(*panel, "clRuleList")->item(0))
                          .center();
    QHelpEvent help(QEvent::ToolTip, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &help);
    EXPECT_TRUE(QToolTip::text().startsWith("Last failure: cannot create file in target directory"))
        << QToolTip::text().toStdString();
}

TEST_F(Activity, AJournalThatCannotBeWrittenIsSaidOnceAboveTheTable) {
    // A journal whose folder cannot be made: a regular file is in its way.
    std::ofstream(root_ + "/blocked") << "x";
    Journal blocked(root_ + "/blocked/state/activity.sqlite3");
    state_.journal = &blocked;
    const std::string share = serveKazaa(kbtest::CopyTo(root_ + "/backup"));
    fs::create_directories(root_ + "/backup");
    create();
    pass();
    std::ofstream(share + "/a.mp3") << "a";
    pass();
    EXPECT_TRUE(fs::exists(root_ + "/backup/a.mp3"));  // scanning went on
    QLabel* header = Find<QLabel>(*window_, "lblJournalProblem");
    EXPECT_FALSE(header->isHidden());
    EXPECT_TRUE(header->text().startsWith("Cannot open the activity journal"))
        << header->text().toStdString();
    EXPECT_EQ(blocked.Waiting(), 1u);
}

}  // namespace

TEST(ActivityTimes, TodayYesterdayAndEarlierReadAsPeopleSayThem) {
    const QDateTime now(QDate(2026, 12, 11), QTime(15, 30));
    auto at = [](int day, int h, int m, int s = 0) {
        return QDateTime(QDate(2026, 12, day), QTime(h, m, s)).toMSecsSinceEpoch();
    };
    EXPECT_EQ(RelativeTimeText(at(11, 14, 5, 3), now), "14:05");
    EXPECT_EQ(RelativeTimeText(at(10, 23, 59), now), "Yesterday 23:59");
    EXPECT_EQ(RelativeTimeText(at(9, 8, 0), now), "2026-12-09 08:00");
}

TEST_F(Activity, AtTheWindowsOwnSizeFileResultAndWhenAreSeenAndTheColumnsAreKept) {
    ASSERT_TRUE(
        journal_.Append({Entry("a rather long file name.mp3", true), Entry("b.mp3", false)}));
    MainWindow& w = create();
    w.resize(578, 414);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    openActivity();
    QTableView* t = table();
    const int visible = t->viewport()->width();
    QHeaderView* header = t->horizontalHeader();
    for (int c : {ActivityModel::File, ActivityModel::Result, ActivityModel::When})
        EXPECT_LE(header->sectionViewportPosition(c) + header->sectionSize(c), visible)
            << "column " << c << " cut off at " << visible;
    auto* undo = Find<QPushButton>(w, "btnUndo");
    EXPECT_GE(undo->width(), undo->sizeHint().width()) << "Undo's caption is cut";

    // The user's widths and columns come back with the next window.
    header->resizeSection(ActivityModel::File, 222);
    header->setSectionHidden(ActivityModel::Action, true);
    header->moveSection(header->visualIndex(ActivityModel::Rule), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !state_.settings.ActivityColumns.empty(); }, 5000));
    create();
    openActivity();
    header = table()->horizontalHeader();
    EXPECT_EQ(header->sectionSize(ActivityModel::File), 222);
    EXPECT_TRUE(header->isSectionHidden(ActivityModel::Action));
    EXPECT_EQ(header->visualIndex(ActivityModel::Rule), 0);
    Settings stored;
    LoadSettings(stored);
    EXPECT_EQ(stored.ActivityColumns, state_.settings.ActivityColumns);
}
