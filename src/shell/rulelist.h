// The rule list panel: the ordered rules of one service as a check list, with
// the commands that add, edit, delete and reorder them. The panel keeps no
// service of its own: every command acts on the current service record the
// context finds, and the list is refilled from the table after each change.
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

class TfrSwapRules : public QFrame {
    Q_OBJECT

public:
    explicit TfrSwapRules(ServiceContext& ctx, QWidget* parent = nullptr);

    // Clears the list and adds one checkable line per rule (text rulename,
    // check = enabled) in rule order, then selects line 0 when there is one,
    // which sets the buttons. An empty list disables every button but
    // "Add Rule...", whose state the caller owns (the Others page enables it
    // only while an additional service exists). nullptr fills an empty list.
    // Filling never runs the check-mark handler.
    void FillRules(const RuleList* rules);

    // Enables the buttons from the list's lines and selection.
    void SetButtons();

    // What the tooltip of a rule's line says (asked when the pointer rests
    // on it, so it is never stale); empty: no tooltip.
    using RuleTip = std::function<QString(const RuleRec& rule)>;
    void SetRuleTip(RuleTip tip) { ruleTip_ = std::move(tip); }

    // Button and list handlers; public so the main window and tests can drive
    // them directly.
    void btnAddClick();
    void btnEditClick();
    void btnDeleteClick();
    void btnMoveUpClick();
    void btnMoveDownClick();
    void clRuleListClick();
    void clRuleListClickCheck(QListWidgetItem* item);
    void clRuleListDblClick();

    QLabel* Label1 = nullptr;
    QListWidget* clRuleList = nullptr;
    QPushButton* btnAdd = nullptr;
    QPushButton* btnEdit = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnMoveUp = nullptr;
    QPushButton* btnMoveDown = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    RuleTip ruleTip_;
    // The current service's rules, or nullptr when there is no current service.
    RuleList* currentRules();
    // Refills this panel through the main window and selects `row` when the
    // refilled list has it.
    void rebuild(int row);
    // Rewrites the configuration file from the table.
    void save();

    ServiceContext& ctx_;
    bool filling_ = false;
};

}  // namespace kb
