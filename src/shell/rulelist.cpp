#include "shell/rulelist.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <exception>
#include <utility>

#include "editor/ruledef.h"
#include "editor/servicecontext.h"
#include "shell/buttoncolumn.h"

namespace kb {

namespace {

constexpr int kButtonHeight = 25;
constexpr int kButtonLeft = 4;

QPushButton* makeButton(QWidget* column, const char* name, const QString& caption, int top,
                        bool enabled) {
    auto* b = new QPushButton(caption, column);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(kButtonLeft, top, SideButtonWidth(), kButtonHeight);
    b->setEnabled(enabled);
    return b;
}

}  // namespace

TfrSwapRules::TfrSwapRules(ServiceContext& ctx, QWidget* parent) : QFrame(parent), ctx_(ctx) {
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto* left = new QVBoxLayout;
    left->setContentsMargins(4, 0, 0, 8);
    left->setSpacing(0);
    Label1 = new QLabel(QStringLiteral("Swap Rules:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFixedHeight(25);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    left->addWidget(Label1);
    clRuleList = new QListWidget(this);
    clRuleList->setObjectName(QStringLiteral("clRuleList"));
    clRuleList->setSelectionMode(QAbstractItemView::SingleSelection);
    clRuleList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    left->addWidget(clRuleList);
    outer->addLayout(left, 1);

    // The buttons sit at fixed heights from the panel's top edge, so the
    // column is positioned by hand rather than by a layout.
    auto* column = new QWidget(this);
    column->setObjectName(QStringLiteral("ButtonColumn"));
    column->setFixedWidth(SideButtonColumnWidth());
    column->setMinimumHeight(144 + kButtonHeight + 8);
    btnAdd = makeButton(column, "btnAdd", QStringLiteral("Add Rule..."), 24, true);
    btnEdit = makeButton(column, "btnEdit", QStringLiteral("Edit Rule..."), 52, false);
    btnDelete = makeButton(column, "btnDelete", QStringLiteral("Delete Rule..."), 80, false);
    btnMoveUp = makeButton(column, "btnMoveUp", QStringLiteral("Move Up"), 120, false);
    btnMoveDown = makeButton(column, "btnMoveDown", QStringLiteral("Move Down"), 144, false);
    outer->addWidget(column);

    connect(btnAdd, &QPushButton::clicked, this, &TfrSwapRules::btnAddClick);
    connect(btnEdit, &QPushButton::clicked, this, &TfrSwapRules::btnEditClick);
    connect(btnDelete, &QPushButton::clicked, this, &TfrSwapRules::btnDeleteClick);
    connect(btnMoveUp, &QPushButton::clicked, this, &TfrSwapRules::btnMoveUpClick);
    connect(btnMoveDown, &QPushButton::clicked, this, &TfrSwapRules::btnMoveDownClick);
    connect(clRuleList, &QListWidget::currentRowChanged, this, [this] {
        if (!filling_) clRuleListClick();
    });
    connect(clRuleList, &QListWidget::itemChanged, this, &TfrSwapRules::clRuleListClickCheck);
    // A double-click anywhere on the list edits the selected rule, not only
    // one on a line, so watch the viewport rather than the item signal.
    clRuleList->viewport()->installEventFilter(this);
}

void TfrSwapRules::FillRules(const RuleList* rules) {
    {
        // Adding checkable lines emits itemChanged and moves the current row;
        // neither is the user's doing.
        filling_ = true;
        clRuleList->clear();
        if (rules) {
            for (const RuleRec& rule : rules->rules) {
                auto* item = new QListWidgetItem(QString::fromStdString(rule.rulename));
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
                item->setCheckState(rule.enabled ? Qt::Checked : Qt::Unchecked);
                clRuleList->addItem(item);
            }
        }
        filling_ = false;
    }
    if (clRuleList->count() > 0) {
        clRuleList->setCurrentRow(0);
        clRuleListClick();
    } else {
        btnEdit->setEnabled(false);
        btnDelete->setEnabled(false);
        btnMoveUp->setEnabled(false);
        btnMoveDown->setEnabled(false);
    }
}

void TfrSwapRules::SetButtons() {
    btnAdd->setEnabled(true);
    const int n = clRuleList->count();
    if (n == 0) {
        btnEdit->setEnabled(false);
        btnDelete->setEnabled(false);
        btnMoveDown->setEnabled(false);
        btnMoveUp->setEnabled(false);
        return;
    }
    const int i = clRuleList->currentRow();
    btnEdit->setEnabled(true);
    btnDelete->setEnabled(true);
    btnMoveUp->setEnabled(i > 0);
    btnMoveDown->setEnabled(i >= 0 && i < n - 1);
}

RuleList* TfrSwapRules::currentRules() {
    const int idx = ctx_.CurrentServiceIndex();
    auto& table = ctx_.Store().ServiceTable;
    if (idx < 0 || idx >= static_cast<int>(table.size())) return nullptr;
    return &table[idx].rulelist;
}

void TfrSwapRules::rebuild(int row) {
    ctx_.BuildRuleLists(ctx_.CurrentServiceId());
    if (row >= 0 && row < clRuleList->count()) clRuleList->setCurrentRow(row);
    SetButtons();
}

void TfrSwapRules::save() { ctx_.SaveConfig(); }

void TfrSwapRules::btnAddClick() {
    TfrmRule wizard(ctx_, false, 0, window());
    if (wizard.exec() != QDialog::Accepted) return;
    rebuild(0);
}

void TfrSwapRules::btnEditClick() {
    const int EditRuleIndex = clRuleList->currentRow();
    if (EditRuleIndex < 0) return;
    TfrmRule wizard(ctx_, true, EditRuleIndex, window());
    if (wizard.exec() != QDialog::Accepted) return;
    rebuild(EditRuleIndex);
}

void TfrSwapRules::btnDeleteClick() {
    const int i = clRuleList->currentRow();
    if (RuleList* list = currentRules(); list && i >= 0 && i < list->rulecnt())
        list->rules.erase(list->rules.begin() + i);
    rebuild(0);
    save();
}

void TfrSwapRules::btnMoveUpClick() {
    const int i = clRuleList->currentRow();
    RuleList* list = currentRules();
    const bool moved = list && i > 0 && i < list->rulecnt();
    if (moved) std::swap(list->rules[i - 1], list->rules[i]);
    rebuild(moved ? i - 1 : 0);
    save();
}

void TfrSwapRules::btnMoveDownClick() {
    const int i = clRuleList->currentRow();
    RuleList* list = currentRules();
    const bool moved = list && i >= 0 && i < clRuleList->count() - 1 && i + 1 < list->rulecnt();
    if (moved) std::swap(list->rules[i], list->rules[i + 1]);
    rebuild(moved ? i + 1 : 0);
    save();
}

void TfrSwapRules::clRuleListClick() { SetButtons(); }

void TfrSwapRules::clRuleListClickCheck(QListWidgetItem* item) {
    if (filling_ || !item) return;
    const int row = clRuleList->row(item);
    if (row < 0) return;
    // The toggled line becomes the selected one even when the toggle came from
    // the keyboard or from code rather than a click on the line.
    if (clRuleList->currentRow() != row) clRuleList->setCurrentRow(row);
    RuleList* list = currentRules();
    if (!list || row >= list->rulecnt()) return;
    const bool enabled = item->checkState() == Qt::Checked;
    // itemChanged also reports changes other than the check mark; only a
    // changed flag is worth a save.
    if (list->rules[row].enabled == enabled) return;
    list->rules[row].enabled = enabled;
    save();
}

void TfrSwapRules::clRuleListDblClick() {
    if (clRuleList->currentRow() >= 0) btnEditClick();
}

bool TfrSwapRules::eventFilter(QObject* watched, QEvent* event) {
    if (watched == clRuleList->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        clRuleListDblClick();
        return true;
    }
    if (watched == clRuleList->viewport() && event->type() == QEvent::ToolTip && ruleTip_) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const int row = clRuleList->row(clRuleList->itemAt(help->pos()));
        const RuleList* rules = currentRules();
        if (rules && row >= 0 && row < rules->rulecnt()) {
            const QString tip = ruleTip_(rules->rules[static_cast<std::size_t>(row)]);
            if (!tip.isEmpty()) QToolTip::showText(help->globalPos(), tip, clRuleList);
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

}  // namespace kb
