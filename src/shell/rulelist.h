// The rule list panel: the ordered rules of one service as a check list, with
// the commands that add, edit, delete and reorder them. The panel keeps no
// service of its own: every command acts on the current service record the
// context finds, and the list is refilled from the table after each change.
// Its controls keep the names the help and the tests know them by (Label1,
// clRuleList, btnAdd, btnEdit, btnDelete, btnMoveUp, btnMoveDown).
#pragma once

#include <QFrame>
#include <functional>

#include "store/model.h"

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace kb {

class ServiceContext;

class RuleListPanel : public QFrame {
    Q_OBJECT

public:
    explicit RuleListPanel(ServiceContext& ctx, QWidget* parent = nullptr);

    // Clears the list and adds one checkable line per rule (text rulename,
    // check = enabled) in rule order, then selects line 0 when there is one,
    // which sets the buttons. An empty list disables every button but
    // "Add Rule...", whose state the page owns (SetCanAdd). nullptr fills an
    // empty list. Filling never counts as the user's check-mark change.
    void FillRules(const RuleList* rules);

    // Enables the buttons from the list's lines and selection.
    void SetButtons();
    // Whether "Add Rule..." may be pressed (the Others page: while an
    // additional service exists).
    void SetCanAdd(bool can);

    // What the tooltip of a rule's line says (asked when the pointer rests
    // on it, so it is never stale); empty: no tooltip.
    using RuleTip = std::function<QString(const RuleRec& rule)>;
    void SetRuleTip(RuleTip tip) { ruleTip_ = std::move(tip); }

    // Why a rule's latest outcome failed ("" when it did not): such a line
    // carries a warning icon. RefreshMarks asks again for every line.
    void SetRuleFailure(RuleTip failure) { ruleFailure_ = std::move(failure); }
    void RefreshMarks();
    // How many of the lines are marked failing.
    int FailingCount() const { return failing_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addRule();
    void editRule();
    void deleteRule();
    void moveUp();
    void moveDown();
    void checkChanged(QListWidgetItem* item);
    // The current service's rules, or nullptr when there is no current service.
    RuleList* currentRules();
    // Has the page refill this panel and selects `row` when the refilled
    // list has it.
    void rebuild(int row);

    ServiceContext& ctx_;
    RuleTip ruleTip_;
    RuleTip ruleFailure_;
    int failing_ = 0;
    bool filling_ = false;
    QListWidget* list_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* up_ = nullptr;
    QPushButton* down_ = nullptr;
};

}  // namespace kb
