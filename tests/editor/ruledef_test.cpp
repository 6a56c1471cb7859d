#include "editor/ruledef.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include "builders.h"
#include "editor/paramlistbox.h"
#include "runtime/servicecontext.h"

namespace kb {
namespace {

class FakeContext : public ServiceContext {
public:
    FakeContext() {
        store.InitServiceTable([](std::uint8_t) { return std::string(); });
    }
    ServiceStore& Store() override { return store; }
    std::uint8_t CurrentServiceId() const override { return store.ServiceTable[index].serviceid; }
    int CurrentServiceIndex() const override { return index; }
    void BuildRuleLists(std::uint8_t) override {}
    void SaveConfig() override { ++saves; }
    QWidget* MainWindow() const override { return nullptr; }
    std::vector<RuleRec>& rules(int i = 0) { return store.ServiceTable[i].rulelist.rules; }

    ServiceStore store;
    int index = 0;
    int saves = 0;
};

// Answers every message box that opens while `action` runs and returns their texts.
QStringList answerBoxes(const std::function<void()>& action) {
    QStringList texts;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&texts] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            texts << box->text();
            box->done(QMessageBox::Ok);
        }
    });
    timer.start(5);
    action();
    return texts;
}

using kbtest::Action;
using kbtest::NamedRule;

class RuleWizardTest : public ::testing::Test {
protected:
    void open(bool edit = false, int ruleIndex = 0) {
        w = std::make_unique<RuleWizard>(ctx, edit, ruleIndex);
        w->show();
    }
    template <typename T>
    T* get(const char* name) {
        T* c = w->findChild<T*>(QString::fromUtf8(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    void click(const char* button) { QTest::mouseClick(get<QPushButton>(button), Qt::LeftButton); }
    QListWidget* conditions() { return get<QListWidget>("clConditions"); }
    QListWidget* actions() { return get<QListWidget>("clActions"); }
    void toggle(QListWidget* list, int row, bool on) {
        list->item(row)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    bool enabled(QListWidget* list, int row) {
        return list->item(row)->flags().testFlag(Qt::ItemIsEnabled);
    }
    int page() { return get<QStackedWidget>("PageControl1")->currentIndex(); }
    QStringList finish() {
        return answerBoxes([this] { click("btnFinish"); });
    }
    std::vector<ActionKind> actionKinds() {
        std::vector<ActionKind> kinds;
        for (const auto& a : w->WorkRule.actions) kinds.push_back(a.raction);
        return kinds;
    }

    FakeContext ctx;
    std::unique_ptr<RuleWizard> w;
};

TEST_F(RuleWizardTest, ButtonsFollowThePages) {
    open();
    EXPECT_EQ(w->windowTitle(), "Rule Definition");
    EXPECT_TRUE(get<QRadioButton>("rbNewComp")->isChecked());
    auto states = [this] {
        return std::vector<bool>{get<QPushButton>("btnPrevious")->isEnabled(),
                                 get<QPushButton>("btnFinish")->isEnabled(),
                                 get<QPushButton>("btnNext")->isEnabled()};
    };
    EXPECT_EQ(page(), 0);
    EXPECT_EQ(states(), (std::vector<bool>{false, false, true}));
    click("btnNext");
    EXPECT_EQ(page(), 1);
    EXPECT_EQ(states(), (std::vector<bool>{true, true, false}));
    click("btnPrevious");
    EXPECT_EQ(page(), 0);
    EXPECT_EQ(states(), (std::vector<bool>{false, false, true}));
    // Enter moves on: Next on the first page, Finish from the name field.
    QTest::keyClick(w.get(), Qt::Key_Return);
    EXPECT_EQ(page(), 1);
    QStringList texts =
        answerBoxes([this] { QTest::keyClick(get<QLineEdit>("teRuleName"), Qt::Key_Return); });
    EXPECT_EQ(texts, QStringList{"Warning: At least one action must be checked."});
}

TEST_F(RuleWizardTest, FinishWithoutActionWarnsAndStaysOpen) {
    open();
    click("btnNext");
    EXPECT_EQ(finish(), QStringList{"Warning: At least one action must be checked."});
    EXPECT_EQ(w->result(), QDialog::Rejected);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(page(), 1);
    EXPECT_EQ(ctx.saves, 0);
    EXPECT_TRUE(ctx.rules().empty());
}

TEST_F(RuleWizardTest, ThresholdTriggersGetTheirDefaultsAndNewRulesGoLastEnabled) {
    ctx.rules().push_back(NamedRule("older"));
    for (const char* trigger : {"rbTotalFileCount", "rbTotalFileSize"}) {
        open();
        get<QRadioButton>(trigger)->setChecked(true);
        click("btnNext");
        toggle(actions(), 2, true);
        get<QLineEdit>("teRuleName")->setText(trigger);
        EXPECT_TRUE(finish().isEmpty());
        EXPECT_EQ(w->result(), QDialog::Accepted);
    }
    ASSERT_EQ(ctx.rules().size(), 3u);
    EXPECT_EQ(ctx.saves, 2);
    const RuleRec& count = ctx.rules()[1];
    EXPECT_EQ(count.rulename, "rbTotalFileCount");
    EXPECT_EQ(count.mcond, trgFileCount);
    EXPECT_EQ(count.fcnt, 20);
    EXPECT_EQ(count.fsize, 0);
    EXPECT_TRUE(count.enabled);
    const RuleRec& size = ctx.rules()[2];
    EXPECT_EQ(size.mcond, trgTotalSize);
    EXPECT_EQ(size.fsize, 10);
    EXPECT_EQ(size.fcnt, 0);
    EXPECT_EQ(size.actions, std::vector<ruleactionrec>{Action(actDelete)});
}

TEST_F(RuleWizardTest, NewFileTriggerDropsTheDateEntriesAndOthersBringThemBack) {
    open();
    get<QRadioButton>("rbTotalFileCount")->setChecked(true);
    click("btnNext");
    toggle(conditions(), 0, true);
    toggle(conditions(), 2, true);
    ASSERT_EQ(w->WorkRule.condcnt(), 2);
    click("btnPrevious");
    get<QRadioButton>("rbNewComp")->setChecked(true);
    click("btnNext");
    // The name entries stay below extension and size.
    ASSERT_EQ(conditions()->count(), 4);
    EXPECT_EQ(conditions()->item(2)->text(), "Where file name matches specified wildcards");
    ASSERT_EQ(w->WorkRule.condcnt(), 1);
    EXPECT_EQ(w->WorkRule.conds[0].rcond, condExtension);
    EXPECT_EQ(w->WorkRule.mcond, trgNewFile);

    click("btnPrevious");
    get<QRadioButton>("rbTotalFileSize")->setChecked(true);
    click("btnNext");
    ASSERT_EQ(conditions()->count(), 7);
    EXPECT_EQ(conditions()->item(3)->text(),
              "Where file date is the oldest specified of all files");
    EXPECT_EQ(conditions()->item(6)->text(),
              "Where file name matches specified regular expression");
    for (int row = 2; row < 5; ++row) {
        EXPECT_EQ(conditions()->item(row)->checkState(), Qt::Unchecked);
        EXPECT_TRUE(enabled(conditions(), row));
    }
    // The restored entries still add their conditions.
    toggle(conditions(), 4, true);
    EXPECT_EQ(w->WorkRule.conds.back().rcond, condNewest);
    EXPECT_EQ(w->WorkRule.conds.back().newestcnt, -1);
}

TEST_F(RuleWizardTest, OldestAndNewestExcludeEachOtherAndMapCrossedOver) {
    open();
    get<QRadioButton>("rbTotalFileCount")->setChecked(true);
    click("btnNext");
    toggle(conditions(), 3, true);
    EXPECT_FALSE(enabled(conditions(), 4));
    EXPECT_EQ(w->WorkRule.conds.back().rcond, condOldest);
    EXPECT_EQ(w->WorkRule.conds.back().oldestcnt, -1);
    toggle(conditions(), 3, false);
    EXPECT_TRUE(enabled(conditions(), 4));
    EXPECT_TRUE(w->WorkRule.conds.empty());
    toggle(conditions(), 4, true);
    EXPECT_FALSE(enabled(conditions(), 3));
    toggle(conditions(), 4, false);
    EXPECT_TRUE(enabled(conditions(), 3));
    // Launch is entry 4 and FTP entry 5, against their codes.
    toggle(actions(), 3, true);
    toggle(actions(), 4, true);
    EXPECT_EQ(actionKinds(), (std::vector<ActionKind>{actLaunch, actFtp}));
}

TEST_F(RuleWizardTest, MoveAndCopyGoBeforeATrailingDeleteOnly) {
    open();
    click("btnNext");
    toggle(actions(), 2, true);  // delete
    toggle(actions(), 0, true);  // move
    toggle(actions(), 1, true);  // copy
    EXPECT_EQ(actionKinds(), (std::vector<ActionKind>{actMove, actCopy, actDelete}));

    toggle(actions(), 0, false);
    toggle(actions(), 1, false);
    toggle(actions(), 3, true);  // launch after the delete
    toggle(actions(), 0, true);
    EXPECT_EQ(actionKinds(), (std::vector<ActionKind>{actDelete, actLaunch, actMove}));
}

TEST_F(RuleWizardTest, UncheckingAnActionRenumbersTheSummary) {
    open();
    click("btnNext");
    toggle(actions(), 0, true);
    toggle(actions(), 2, true);
    auto* list = get<LinkedSentenceList>("ParamListBox1");
    ASSERT_EQ(list->Count(), 3);
    EXPECT_TRUE(list->Line(2).startsWith("      and <a href=\"rDelete\">"));
    toggle(actions(), 0, false);
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(list->Line(0), "Whenever a new completed file exists");
    EXPECT_EQ(list->Line(1), "    <a href=\"rDelete\">Delete file</a>");
}

TEST_F(RuleWizardTest, FinishChecksActionsThenConditionsThenTheNameThenWhatCouldNeverWork) {
    open();
    get<QRadioButton>("rbTotalFileSize")->setChecked(true);
    click("btnNext");
    for (int row : {0, 1, 2}) toggle(conditions(), row, true);
    toggle(actions(), 1, true);
    toggle(actions(), 0, true);
    toggle(actions(), 4, true);     // FTP, its dialog never filled in
    toggle(actions(), 3, true);     // launch without a program
    toggle(conditions(), 3, true);  // an oldest count never entered
    RuleRec& r = w->WorkRule;
    auto* name = get<QLineEdit>("teRuleName");
    const std::pair<std::function<void()>, QString> steps[] = {
        {[] {}, "Copy file path must be specified."},
        {[&] { r.actions[0].copy.filepath = "/c"; }, "Move file path must be specified."},
        {[&] { r.actions[1].move.filepath = "/m"; }, "File extension must be specified."},
        {[&] { r.conds[0].fileext.ext = "mp3"; }, "File size must be specified."},
        {[&] { r.conds[1].size = 0; }, "Number of days must be specified."},
        {[&] { r.conds[2].rdays = 0; }, "Please a name for the rule"},
        // Past the checks of old, in the order the actions and conditions stand.
        {[&] { name->setText("  as typed "); }, "FTP server must be specified."},
        {[&] { r.actions[2].ftp.ftpserver = "ftp.example.net"; },
         "Program to launch must be specified."},
        {[&] { r.actions[3].launch.fprogram = "/usr/bin/true"; },
         "Number of files must be specified."},
    };
    for (const auto& [fix, message] : steps) {
        fix();
        EXPECT_EQ(finish(), QStringList{message});
        EXPECT_EQ(ctx.saves, 0);
    }
    r.conds[3].oldestcnt = 0;  // zero is a count the user entered
    EXPECT_TRUE(finish().isEmpty());
    ASSERT_EQ(ctx.rules().size(), 1u);
    EXPECT_EQ(ctx.rules()[0].rulename, "  as typed ");
    EXPECT_EQ(ctx.rules()[0].conds.back().oldestcnt, 0);
}

TEST_F(RuleWizardTest, ANewestCountNeverEnteredIsRefusedToo) {
    open();
    get<QRadioButton>("rbTotalFileCount")->setChecked(true);
    click("btnNext");
    toggle(conditions(), 4, true);  // newest
    toggle(actions(), 2, true);     // delete
    get<QLineEdit>("teRuleName")->setText("newest");
    EXPECT_EQ(finish(), QStringList{"Number of files must be specified."});
    w->WorkRule.conds[0].newestcnt = 3;
    EXPECT_TRUE(finish().isEmpty());
}

// Presses the first link named `href` in `line` of the summary list.
void pressLink(LinkedSentenceList* list, int line, const QString& href) {
    const QRect rect = list->visualItemRect(list->item(line));
    for (int x = rect.left(); x < rect.right(); ++x) {
        QString hit;
        const QPoint at(x, rect.center().y());
        if (list->HitTest(at, &hit) == line && hit == href) {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            return;
        }
    }
    ADD_FAILURE() << "no link " << href.toStdString();
}

TEST_F(RuleWizardTest, ALinkOpensItsDialogAndTheSummaryFollowsTheRule) {
    open();
    get<QRadioButton>("rbTotalFileCount")->setChecked(true);
    click("btnNext");
    auto* list = get<LinkedSentenceList>("ParamListBox1");
    auto answer = [list](const char* button) {
        QTimer::singleShot(50, [button] {
            QWidget* input = QApplication::activeModalWidget();
            ASSERT_NE(input, nullptr);
            input->findChild<QLineEdit*>("teInput")->setText("35");
            QTest::mouseClick(input->findChild<QPushButton*>(button), Qt::LeftButton);
        });
        pressLink(list, 0, "FileCount");
    };
    answer("Button3");  // Cancel
    EXPECT_EQ(w->WorkRule.fcnt, 20);
    EXPECT_EQ(list->GetParamValue(0, "FileCount"), "20");
    answer("Button2");  // OK
    EXPECT_EQ(w->WorkRule.fcnt, 35);
    EXPECT_EQ(list->GetParamValue(0, "FileCount"), "35");
}

TEST_F(RuleWizardTest, TheSummaryLinksWorkFromTheKeyboardAndEnterNeverPressesFinish) {
    open();
    get<QRadioButton>("rbTotalFileCount")->setChecked(true);
    click("btnNext");
    toggle(actions(), 0, true);  // move: a second link, "specified"
    auto* list = get<LinkedSentenceList>("ParamListBox1");
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    ASSERT_TRUE(get<QPushButton>("btnFinish")->isDefault() ||
                get<QPushButton>("btnFinish")->autoDefault());

    // Tab into the list lands on its first link; the arrows and Tab go
    // from link to link, and past the last Tab leaves the list.
    get<QListWidget>("clActions")->setFocus(Qt::OtherFocusReason);
    const QImage unfocused = list->viewport()->grab().toImage();
    list->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(list->hasFocus());
    EXPECT_EQ(list->FocusedHref(), "FileCount");
    EXPECT_EQ(list->FocusedLine(), 0);
    QCoreApplication::processEvents();
    const QImage focused = list->viewport()->grab().toImage();
    ASSERT_EQ(focused.size(), unfocused.size());
    int differ = 0;  // the focus mark: a shaded, framed link
    for (int y = 0; y < focused.height(); ++y)
        for (int x = 0; x < focused.width(); ++x)
            differ += focused.pixel(x, y) != unfocused.pixel(x, y);
    EXPECT_GT(differ, 200);

    QTest::keyClick(list, Qt::Key_Right);
    const QString second = list->FocusedHref();
    EXPECT_NE(second, "FileCount");
    EXPECT_FALSE(second.isEmpty());
    EXPECT_GT(list->FocusedLine(), 0);
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(list->FocusedHref(), "FileCount");
    QTest::keyClick(list, Qt::Key_Left);  // no link before the first
    EXPECT_EQ(list->FocusedHref(), "FileCount");
    QTest::keyClick(list, Qt::Key_Tab);
    EXPECT_EQ(list->FocusedHref(), second);
    EXPECT_TRUE(list->hasFocus());
    QTest::keyClick(list, Qt::Key_Backtab);
    EXPECT_EQ(list->FocusedHref(), "FileCount");

    // Enter opens the focused link's dialog, as a click does; the wizard
    // stays open and runs none of its Finish checks.
    QStringList boxes;
    bool sawInput = false;
    QTimer::singleShot(50, [&] {
        QWidget* input = QApplication::activeModalWidget();
        ASSERT_NE(input, nullptr);
        auto* edit = input->findChild<QLineEdit*>("teInput");
        ASSERT_NE(edit, nullptr);
        sawInput = true;
        edit->setText("35");
        QTest::mouseClick(input->findChild<QPushButton*>("Button2"), Qt::LeftButton);
    });
    boxes = answerBoxes([&] { QTest::keyClick(list, Qt::Key_Return); });
    EXPECT_TRUE(sawInput);
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join("|").toStdString();
    EXPECT_EQ(w->WorkRule.fcnt, 35);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(ctx.store.ServiceTable[0].rulelist.rules.empty());

    // Space does the same; Tab past the last link moves on to the next control.
    QTimer::singleShot(50, [] {
        if (QWidget* input = QApplication::activeModalWidget()) input->close();
    });
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_TRUE(w->isVisible());
    QTest::keyClick(list, Qt::Key_Tab);
    QTest::keyClick(list, Qt::Key_Tab);
    EXPECT_FALSE(list->hasFocus());
}

class EditingWizard : public RuleWizardTest {
protected:
    void SetUp() override {
        RuleRec stored = NamedRule("keep");
        stored.fcnt = 7;
        stored.mcond = trgFileExists;
        stored.conds.resize(1);
        stored.conds[0].rcond = condNewest;
        stored.conds[0].newestcnt = 3;
        ruleactionrec ftp = Action(actFtp);
        ftp.ftp.ftpserver = "ftp.example.net";
        stored.actions = {Action(actMove, "/done"), ftp};
        ctx.rules() = {NamedRule("first"), stored, NamedRule("last")};
        original = ctx.rules();
    }
    std::vector<RuleRec> original;
};

TEST_F(EditingWizard, LoadsTheStoredRuleIntoTheControls) {
    open(true, 1);
    EXPECT_TRUE(get<QRadioButton>("rbNewComp")->isChecked());  // code 1 has no button
    EXPECT_EQ(get<QLineEdit>("teRuleName")->text(), "keep");
    EXPECT_EQ(conditions()->item(4)->checkState(), Qt::Checked);
    EXPECT_FALSE(enabled(conditions(), 3));
    EXPECT_EQ(actions()->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(actions()->item(4)->checkState(), Qt::Checked);
    EXPECT_EQ(actions()->item(3)->checkState(), Qt::Unchecked);
    get<QRadioButton>("rbTotalFileCount")->setChecked(true);
    click("btnNext");
    const auto* list = get<LinkedSentenceList>("ParamListBox1");
    ASSERT_EQ(list->Count(), 4);
    EXPECT_TRUE(list->Line(3).contains("<a href=\"rFTP\">"));
}

TEST_F(EditingWizard, CancelAndCloseLeaveEverythingUntouched) {
    for (auto leave : {+[](RuleWizard& d) {
                           QTest::mouseClick(d.findChild<QPushButton*>("Button4"), Qt::LeftButton);
                       },
                       +[](RuleWizard& d) { d.close(); }}) {
        open(true, 1);
        click("btnNext");
        w->WorkRule.actions[0].move.filepath = "/elsewhere";
        w->WorkRule.rulename = "changed";
        toggle(actions(), 2, true);
        leave(*w);
        EXPECT_EQ(w->result(), QDialog::Rejected);
        EXPECT_FALSE(w->isVisible());
    }
    EXPECT_EQ(ctx.rules(), original);
    EXPECT_EQ(ctx.saves, 0);
}

TEST_F(EditingWizard, FinishReplacesInPlaceKeepingEnabled) {
    open(true, 1);
    click("btnNext");
    get<QLineEdit>("teRuleName")->setText("renamed");
    EXPECT_TRUE(finish().isEmpty());
    ASSERT_EQ(ctx.rules().size(), 3u);
    EXPECT_EQ(ctx.rules()[0], original[0]);
    EXPECT_EQ(ctx.rules()[2], original[2]);
    RuleRec expected = original[1];
    expected.rulename = "renamed";
    expected.mcond = trgNewFile;  // code 1 becomes the new-file trigger
    expected.conds.clear();       // which keeps no date condition
    EXPECT_EQ(ctx.rules()[1], expected);
    EXPECT_EQ(ctx.saves, 1);
}

TEST_F(EditingWizard, TheServiceIsLookedUpAgainOnFinishAndAMissingRuleIsAdded) {
    open(true, 7);  // no such rule: the wizard starts a new one
    EXPECT_FALSE(w->RuleEditMode());
    EXPECT_EQ(get<QLineEdit>("teRuleName")->text(), "");
    click("btnNext");
    toggle(actions(), 2, true);
    get<QLineEdit>("teRuleName")->setText("elsewhere");
    ctx.index = 3;
    EXPECT_TRUE(finish().isEmpty());
    EXPECT_EQ(ctx.rules(), original);
    ASSERT_EQ(ctx.rules(3).size(), 1u);
    EXPECT_EQ(ctx.rules(3)[0].rulename, "elsewhere");
}

// The rule extensions through the wizard: a new move never overwrites, its
// sentence says so as a link, a name pattern that does not compile is
// refused in the library's words, a rename needs its name, and an action
// that can never find its file is warned about but kept.
TEST_F(RuleWizardTest, ExtensionsAreLinksWithTheirOwnEditorsAndFinishChecksThem) {
    open();
    click("btnNext");
    toggle(actions(), 0, true);  // move
    ASSERT_EQ(w->WorkRule.actions.size(), 1u);
    EXPECT_EQ(w->WorkRule.actions[0].conflict, ConflictMode::TrashOld);
    auto* list = get<LinkedSentenceList>("ParamListBox1");
    // Line 0 is the trigger's.
    EXPECT_EQ(list->GetParamValue(1, "rMoveConflict"),
              "moving a file of that name to the Trash first");

    // The conflict link's own editor.
    QTimer::singleShot(50, [] {
        QWidget* d = QApplication::activeModalWidget();
        ASSERT_NE(d, nullptr);
        auto* combo = d->findChild<QComboBox*>("cbConflict");
        combo->setCurrentIndex(combo->findText("Keeping both when the name is taken"));
        QTest::mouseClick(d->findChildren<QPushButton*>().first(), Qt::LeftButton);
    });
    pressLink(list, 1, "rMoveConflict");
    EXPECT_EQ(w->WorkRule.actions[0].conflict, ConflictMode::KeepBoth);

    toggle(conditions(), 3, true);  // name matches a regular expression
    ASSERT_EQ(w->WorkRule.conds.back().rcond, condNameRegex);
    const int patternLine = 1;  // conditions come before the actions
    QStringList refused;
    QTimer::singleShot(50, [&refused] {
        QWidget* d = QApplication::activeModalWidget();
        ASSERT_NE(d, nullptr);
        d->findChild<QLineEdit*>("tePattern")->setText("(live");
        refused = answerBoxes(
            [d] { QTest::mouseClick(d->findChildren<QPushButton*>().first(), Qt::LeftButton); });
        d->findChild<QLineEdit*>("tePattern")->setText("(?i).*live.*");
        QTest::mouseClick(d->findChildren<QPushButton*>().first(), Qt::LeftButton);
    });
    pressLink(list, patternLine, "FileRegex");
    ASSERT_EQ(refused.size(), 1);
    EXPECT_TRUE(refused[0].startsWith("The pattern cannot be used: missing )"))
        << refused[0].toStdString();
    EXPECT_EQ(w->WorkRule.conds.back().pattern, "(?i).*live.*");

    get<QLineEdit>("teRuleName")->setText("Sort");
    w->WorkRule.actions[0].move.filepath = "/nonexistent-root-folder/{year}";
    QStringList texts = answerBoxes([this] { click("btnFinish"); });
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].startsWith("The path must begin with a folder that exists"));
    w->WorkRule.actions[0].move.filepath = "/tmp/{year}";

    toggle(actions(), 5, true);  // rename, after the move
    texts = answerBoxes([this] { click("btnFinish"); });
    EXPECT_EQ(texts, QStringList{"New name must be specified."});
    w->WorkRule.actions.back().newname = "{name}.old";
    toggle(actions(), 2, true);  // delete, after the move and the rename
    texts = answerBoxes([this] { click("btnFinish"); });
    ASSERT_EQ(texts.size(), 1);
    EXPECT_EQ(texts[0],
              "The delete comes after the rename: the file is no longer in the shared "
              "folder then, so the delete never deletes anything.");
    EXPECT_EQ(w->result(), QDialog::Accepted) << "a warning, not a refusal";
    ASSERT_EQ(ctx.rules().size(), 1u);
    EXPECT_EQ(ctx.rules()[0].actions.size(), 3u);
}

}  // namespace
}  // namespace kb
