// The rule list panel driven through its real widgets, over a real service
// table, with a stand-in for the main window that refills panels the way the
// main window does and records what every save would have written.
#include "shell/rulelist.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "editor/ruledef.h"
#include "gui_modal.h"
#include "runtime/servicecontext.h"
#include "widgets.h"

namespace {

using namespace kb;

RuleRec makeRule(const std::string& name, bool enabled) {
    RuleRec r;
    r.rulename = name;
    r.enabled = enabled;
    r.mcond = trgNewFile;
    ruleacondrec c;
    c.rcond = condExtension;
    c.fileext.ext = name + "-ext";  // tells the rules' bodies apart after a move
    r.conds.push_back(c);
    ruleactionrec a;
    a.raction = actDelete;
    r.actions.push_back(a);
    return r;
}

std::vector<std::string> names(const RuleList& list) {
    std::vector<std::string> out;
    for (const RuleRec& r : list.rules) out.push_back(r.rulename);
    return out;
}

class PanelContext : public ServiceContext {
public:
    PanelContext() { store.InitServiceTable(nullptr); }

    ServiceStore store;
    std::uint8_t currentId = sidKazaa;
    int othersLine = -1;  // selected line of the additional-services list
    std::map<std::uint8_t, RuleListPanel*> panels;
    std::vector<std::vector<rServiceRules>> saved;  // the table at each save
    int builds = 0;

    ServiceStore& Store() override { return store; }
    std::uint8_t CurrentServiceId() const override { return currentId; }
    int CurrentServiceIndex() const override { return lookup(currentId); }
    void BuildRuleLists(std::uint8_t id) override {
        ++builds;
        const auto it = panels.find(id);
        if (it == panels.end()) return;
        const int idx = lookup(id);
        it->second->FillRules(idx >= 0 ? &store.ServiceTable[idx].rulelist : nullptr);
    }
    void SaveConfig() override { saved.push_back(store.ServiceTable); }
    QWidget* MainWindow() const override { return nullptr; }

    RuleList& rules(int index) { return store.ServiceTable[index].rulelist; }

private:
    int lookup(std::uint8_t id) const {
        if (id != sidOther) return store.FindNetwork(id);
        return othersLine < 0 ? -1 : store.FindAdditional(othersLine + 1);
    }
};

using kbtest::ModalAnswerer;

// Enabled states of Add, Edit, Delete, Move Up, Move Down as "1"/"0".
std::string buttons(const RuleListPanel& p) {
    std::string s;
    for (const char* name : {"btnAdd", "btnEdit", "btnDelete", "btnMoveUp", "btnMoveDown"})
        s += kbtest::Button(p, name)->isEnabled() ? '1' : '0';
    return s;
}

class RuleListPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        panel = std::make_unique<RuleListPanel>(ctx);
        panel->resize(400, 220);
        panel->show();
        ctx.panels[sidKazaa] = panel.get();
    }

    void setKazaaRules(const std::vector<std::string>& ruleNames) {
        for (const std::string& n : ruleNames) ctx.rules(0).rules.push_back(makeRule(n, true));
        ctx.BuildRuleLists(sidKazaa);
        ctx.builds = 0;
    }

    QListWidget* rules() { return kbtest::List(*panel, "clRuleList"); }
    QPoint lineCentre(int row) { return rules()->visualItemRect(rules()->item(row)).center(); }
    void clickLine(int row) {
        QTest::mouseClick(rules()->viewport(), Qt::LeftButton, {}, lineCentre(row));
    }
    void click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }

    PanelContext ctx;
    std::unique_ptr<RuleListPanel> panel;
};

TEST_F(RuleListPanelTest, StartsWithOnlyAddRuleEnabledAndTheButtonColumnInPlace) {
    RuleListPanel fresh(ctx);
    EXPECT_EQ(buttons(fresh), "10000");
    const int tops[] = {24, 52, 80, 120, 144};
    const QPushButton* all[] = {kbtest::Button(fresh, "btnAdd"), kbtest::Button(fresh, "btnEdit"),
                                kbtest::Button(fresh, "btnDelete"),
                                kbtest::Button(fresh, "btnMoveUp"),
                                kbtest::Button(fresh, "btnMoveDown")};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(all[i]->mapTo(&fresh, QPoint(0, 0)).y(), tops[i]) << i;
        // At least the design width, and never narrower than the caption needs.
        EXPECT_EQ(all[i]->height(), 25) << i;
        EXPECT_GE(all[i]->width(), 81) << i;
        EXPECT_GE(all[i]->width(), all[i]->sizeHint().width()) << i;
    }
}

TEST_F(RuleListPanelTest, FillingShowsEachRuleWithItsCheckAndNeverCountsAsAToggle) {
    ctx.rules(0).rules = {makeRule("On", true), makeRule("Off", false)};
    ctx.BuildRuleLists(sidKazaa);
    ASSERT_EQ(rules()->count(), 2);
    EXPECT_EQ(rules()->item(0)->text(), "On");
    EXPECT_EQ(rules()->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(rules()->item(1)->checkState(), Qt::Unchecked);
    EXPECT_EQ(rules()->currentRow(), 0);
    EXPECT_EQ(buttons(*panel), "11101");
    EXPECT_TRUE(ctx.saved.empty());
    EXPECT_TRUE(ctx.rules(0).rules[0].enabled);
    EXPECT_FALSE(ctx.rules(0).rules[1].enabled);

    // Refilling with other states must not be mistaken for the user toggling.
    ctx.rules(0).rules[0].enabled = false;
    ctx.rules(0).rules[1].enabled = true;
    ctx.BuildRuleLists(sidKazaa);
    EXPECT_EQ(rules()->item(0)->checkState(), Qt::Unchecked);
    EXPECT_EQ(rules()->item(1)->checkState(), Qt::Checked);
    EXPECT_TRUE(ctx.saved.empty());
}

TEST_F(RuleListPanelTest, AnEmptyFillDisablesTheRuleButtonsButLeavesAddToTheCaller) {
    setKazaaRules({"A", "B"});
    kbtest::Button(*panel, "btnAdd")->setEnabled(false);  // the Others page with no service
    panel->FillRules(nullptr);
    EXPECT_EQ(rules()->count(), 0);
    EXPECT_EQ(buttons(*panel), "00000");

    kbtest::Button(*panel, "btnAdd")->setEnabled(true);
    panel->FillRules(&ctx.rules(0));
    EXPECT_EQ(buttons(*panel), "11101");
}

TEST_F(RuleListPanelTest, SelectingALineEnablesOnlyTheMovesItAllows) {
    setKazaaRules({"A", "B"});
    clickLine(1);
    EXPECT_EQ(rules()->currentRow(), 1);
    EXPECT_EQ(buttons(*panel), "11110");
    clickLine(0);
    EXPECT_EQ(buttons(*panel), "11101");

    ctx.rules(0).rules.push_back(makeRule("C", true));
    ctx.BuildRuleLists(sidKazaa);
    clickLine(1);
    EXPECT_EQ(buttons(*panel), "11111");
    EXPECT_TRUE(ctx.saved.empty());
}

TEST_F(RuleListPanelTest, DeletingAMiddleRuleKeepsTheOthersInOrderAndSelectsLineZero) {
    setKazaaRules({"A", "B", "C", "D"});
    clickLine(2);
    click(kbtest::Button(*panel, "btnDelete"));
    EXPECT_EQ(names(ctx.rules(0)), (std::vector<std::string>{"A", "B", "D"}));
    EXPECT_EQ(ctx.rules(0).rules[2].conds[0].fileext.ext, "D-ext");
    ASSERT_EQ(rules()->count(), 3);
    EXPECT_EQ(rules()->item(2)->text(), "D");
    EXPECT_EQ(rules()->currentRow(), 0);
    EXPECT_EQ(buttons(*panel), "11101");
    ASSERT_EQ(ctx.saved.size(), 1u);
    EXPECT_EQ(names(ctx.saved[0][0].rulelist), (std::vector<std::string>{"A", "B", "D"}));
}

TEST_F(RuleListPanelTest, DeletingTheOnlyRuleLeavesOnlyAddEnabledAndSavesTheEmptyList) {
    setKazaaRules({"Only"});
    click(kbtest::Button(*panel, "btnDelete"));
    EXPECT_EQ(rules()->count(), 0);
    EXPECT_EQ(buttons(*panel), "10000");
    ASSERT_EQ(ctx.saved.size(), 1u);
    EXPECT_TRUE(ctx.saved[0][0].rulelist.rules.empty());
    // Other services' rules are not touched by a delete on this one.
    EXPECT_TRUE(ctx.saved[0][1].rulelist.rules.empty());
}

TEST_F(RuleListPanelTest, WithoutASelectionEditAndDeleteChangeNoRule) {
    setKazaaRules({"A", "B", "C"});
    rules()->setCurrentRow(-1);
    ASSERT_EQ(rules()->currentRow(), -1);
    // Edit and Delete follow the list, the moves the selection.
    EXPECT_EQ(buttons(*panel), "11100");
    ModalAnswerer answerer([](QWidget* w) { w->close(); });
    click(kbtest::Button(*panel, "btnEdit"));
    EXPECT_EQ(answerer.opened, 0);
    EXPECT_EQ(ctx.builds, 0);
    // Delete still refills the list (selecting line 0) and saves.
    click(kbtest::Button(*panel, "btnDelete"));
    EXPECT_EQ(names(ctx.rules(0)), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(ctx.saved.size(), 1u);
    EXPECT_EQ(ctx.builds, 1);
    EXPECT_EQ(rules()->currentRow(), 0);
}

TEST_F(RuleListPanelTest, MovingARuleCarriesItsWholeRecordAndKeepsItSelected) {
    setKazaaRules({"A", "B", "C"});
    ctx.rules(0).rules[1].enabled = false;
    ctx.BuildRuleLists(sidKazaa);

    clickLine(1);
    click(kbtest::Button(*panel, "btnMoveDown"));
    EXPECT_EQ(names(ctx.rules(0)), (std::vector<std::string>{"A", "C", "B"}));
    EXPECT_EQ(ctx.rules(0).rules[2].conds[0].fileext.ext, "B-ext");
    EXPECT_FALSE(ctx.rules(0).rules[2].enabled);
    EXPECT_EQ(rules()->currentRow(), 2);
    EXPECT_EQ(rules()->item(2)->checkState(), Qt::Unchecked);
    EXPECT_EQ(buttons(*panel), "11110");
    ASSERT_EQ(ctx.saved.size(), 1u);
    EXPECT_EQ(names(ctx.saved[0][0].rulelist), (std::vector<std::string>{"A", "C", "B"}));

    clickLine(1);
    click(kbtest::Button(*panel, "btnMoveUp"));
    EXPECT_EQ(names(ctx.rules(0)), (std::vector<std::string>{"C", "A", "B"}));
    EXPECT_EQ(rules()->currentRow(), 0);
    EXPECT_EQ(buttons(*panel), "11101");
    ASSERT_EQ(ctx.saved.size(), 2u);
    EXPECT_EQ(names(ctx.saved[1][0].rulelist), (std::vector<std::string>{"C", "A", "B"}));
}

// The check-mark indicator of a line, where a user clicks to toggle it.
QPoint checkIndicator(QListWidget* list, int row) {
    QStyleOptionViewItem opt;
    opt.initFrom(list);
    opt.rect = list->visualItemRect(list->item(row));
    opt.features |= QStyleOptionViewItem::HasCheckIndicator;
    return list->style()
        ->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, list)
        .center();
}

TEST_F(RuleListPanelTest, ACheckMarkOnTheOthersPageSwitchesOnlyItsOwnRuleOfTheSelectedService) {
    for (const char* n : {"First", "Second"}) {
        const int idx = ctx.store.AppendAdditional(n, "/srv", "");
        ctx.rules(idx).rules = {makeRule(std::string(n) + "0", true),
                                makeRule(std::string(n) + "1", true)};
    }
    RuleListPanel others(ctx);
    others.resize(400, 220);
    others.show();
    ctx.panels[sidOther] = &others;
    ctx.currentId = sidOther;
    ctx.othersLine = 1;
    ctx.BuildRuleLists(sidOther);
    ctx.builds = 0;
    ASSERT_EQ(kbtest::List(others, "clRuleList")->item(1)->text(), "Second1");

    QTest::mouseClick(kbtest::List(others, "clRuleList")->viewport(), Qt::LeftButton, {},
                      checkIndicator(kbtest::List(others, "clRuleList"), 1));
    EXPECT_EQ(kbtest::List(others, "clRuleList")->item(1)->checkState(), Qt::Unchecked);
    EXPECT_EQ(kbtest::List(others, "clRuleList")->currentRow(), 1);
    EXPECT_EQ(buttons(others), "11110");
    const int first = ctx.store.FindAdditional(1), second = ctx.store.FindAdditional(2);
    EXPECT_TRUE(ctx.rules(second).rules[0].enabled);
    EXPECT_FALSE(ctx.rules(second).rules[1].enabled);
    EXPECT_TRUE(ctx.rules(first).rules[0].enabled);
    EXPECT_TRUE(ctx.rules(first).rules[1].enabled);
    ASSERT_EQ(ctx.saved.size(), 1u);
    EXPECT_FALSE(ctx.saved[0][second].rulelist.rules[1].enabled);
    EXPECT_EQ(ctx.builds, 0);

    // Toggled from code or the keyboard rather than a click, the line still
    // becomes the selected one.
    kbtest::List(others, "clRuleList")->setCurrentRow(1);
    kbtest::List(others, "clRuleList")->item(0)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(kbtest::List(others, "clRuleList")->currentRow(), 0);
    EXPECT_FALSE(ctx.rules(second).rules[0].enabled);
    EXPECT_EQ(ctx.saved.size(), 2u);
}

TEST_F(RuleListPanelTest, ADoubleClickOnAnEmptyListOpensNothing) {
    ModalAnswerer answerer([](QWidget* w) { w->close(); });
    QTest::mouseDClick(rules()->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    QTest::qWait(30);
    EXPECT_EQ(answerer.opened, 0);
    EXPECT_TRUE(ctx.saved.empty());
}

TEST_F(RuleListPanelTest, ADoubleClickEditsTheSelectedRuleAndACancelledWizardChangesNothing) {
    setKazaaRules({"A", "B", "C"});
    clickLine(2);
    bool editMode = false;
    int editIndex = -1;
    ModalAnswerer answerer([&](QWidget* w) {
        auto* wizard = qobject_cast<RuleWizard*>(w);
        ASSERT_NE(wizard, nullptr);
        editMode = wizard->RuleEditMode();
        editIndex = wizard->EditRuleIndex();
        QTest::mouseClick(wizard->findChild<QPushButton*>("Button4"), Qt::LeftButton);
    });
    QTest::mouseDClick(rules()->viewport(), Qt::LeftButton, {}, lineCentre(2));
    EXPECT_EQ(answerer.opened, 1);
    EXPECT_TRUE(editMode);
    EXPECT_EQ(editIndex, 2);
    EXPECT_EQ(names(ctx.rules(0)), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_TRUE(ctx.saved.empty());
    EXPECT_EQ(ctx.builds, 0);
    EXPECT_EQ(rules()->currentRow(), 2);
}

TEST_F(RuleListPanelTest, AfterEditingARuleItsLineIsSelectedAgain) {
    setKazaaRules({"A", "B", "C", "D"});
    clickLine(3);
    ModalAnswerer answerer([](QWidget* w) {
        auto* wizard = qobject_cast<RuleWizard*>(w);
        ASSERT_NE(wizard, nullptr);
        wizard->findChild<QLineEdit*>("teRuleName")->setText("Renamed");
        wizard->findChild<QPushButton*>("btnNext")->click();
        wizard->findChild<QPushButton*>("btnFinish")->click();
    });
    click(kbtest::Button(*panel, "btnEdit"));
    EXPECT_EQ(answerer.opened, 1);
    EXPECT_EQ(names(ctx.rules(0)), (std::vector<std::string>{"A", "B", "C", "Renamed"}));
    EXPECT_EQ(rules()->item(3)->text(), "Renamed");
    EXPECT_EQ(rules()->currentRow(), 3);
    EXPECT_EQ(buttons(*panel), "11110");
    // The wizard saved; the panel adds no save of its own.
    EXPECT_EQ(ctx.saved.size(), 1u);
}

TEST_F(RuleListPanelTest, AfterAddingARuleLineZeroIsSelectedNotTheNewRule) {
    setKazaaRules({"A", "B"});
    clickLine(1);
    ModalAnswerer answerer([](QWidget* w) {
        auto* wizard = qobject_cast<RuleWizard*>(w);
        ASSERT_NE(wizard, nullptr);
        EXPECT_FALSE(wizard->RuleEditMode());
        ruleactionrec del;
        del.raction = actDelete;
        wizard->WorkRule.actions = {del};
        wizard->findChild<QLineEdit*>("teRuleName")->setText("New");
        wizard->findChild<QPushButton*>("btnNext")->click();
        wizard->findChild<QPushButton*>("btnFinish")->click();
    });
    click(kbtest::Button(*panel, "btnAdd"));
    EXPECT_EQ(answerer.opened, 1);
    EXPECT_EQ(names(ctx.rules(0)), (std::vector<std::string>{"A", "B", "New"}));
    EXPECT_EQ(rules()->count(), 3);
    EXPECT_EQ(rules()->currentRow(), 0);
    EXPECT_EQ(buttons(*panel), "11101");
    EXPECT_EQ(ctx.saved.size(), 1u);
}

TEST_F(RuleListPanelTest, ACancelledAddLeavesRulesSelectionAndFileAlone) {
    setKazaaRules({"A", "B"});
    clickLine(1);
    ModalAnswerer answerer([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    click(kbtest::Button(*panel, "btnAdd"));
    EXPECT_EQ(answerer.opened, 1);
    EXPECT_EQ(names(ctx.rules(0)), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(rules()->currentRow(), 1);
    EXPECT_TRUE(ctx.saved.empty());
    EXPECT_EQ(ctx.builds, 0);
}

}  // namespace
