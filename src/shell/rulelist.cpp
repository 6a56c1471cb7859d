#include "shell/rulelist.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QToolTip>
#include <QVBoxLayout>
#include <exception>
#include <utility>

#include "editor/ruledef.h"
#include "runtime/servicecontext.h"
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

RuleListPanel::RuleListPanel(ServiceContext& ctx, QWidget* parent) : QFrame(parent), ctx_(ctx) {
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto* left = new QVBoxLayout;
    left->setContentsMargins(4, 0, 0, 8);
    left->setSpacing(0);
    auto* caption = new QLabel(QStringLiteral("Swap Rules:"), this);
    caption->setObjectName(QStringLiteral("Label1"));
    caption->setFixedHeight(25);
    caption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    left->addWidget(caption);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("clRuleList"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    left->addWidget(list_);
    outer->addLayout(left, 1);

    // The buttons sit at fixed heights from the panel's top edge, so the
    // column is positioned by hand rather than by a layout.
    auto* column = new QWidget(this);
    column->setObjectName(QStringLiteral("ButtonColumn"));
    column->setFixedWidth(SideButtonColumnWidth());
    column->setMinimumHeight(144 + kButtonHeight + 8);
    add_ = makeButton(column, "btnAdd", QStringLiteral("Add Rule..."), 24, true);
    edit_ = makeButton(column, "btnEdit", QStringLiteral("Edit Rule..."), 52, false);
    delete_ = makeButton(column, "btnDelete", QStringLiteral("Delete Rule..."), 80, false);
    up_ = makeButton(column, "btnMoveUp", QStringLiteral("Move Up"), 120, false);
    down_ = makeButton(column, "btnMoveDown", QStringLiteral("Move Down"), 144, false);
    outer->addWidget(column);

    connect(add_, &QPushButton::clicked, this, &RuleListPanel::addRule);
    connect(edit_, &QPushButton::clicked, this, &RuleListPanel::editRule);
    connect(delete_, &QPushButton::clicked, this, &RuleListPanel::deleteRule);
    connect(up_, &QPushButton::clicked, this, &RuleListPanel::moveUp);
    connect(down_, &QPushButton::clicked, this, &RuleListPanel::moveDown);
    connect(list_, &QListWidget::currentRowChanged, this, [this] {
        if (!filling_) SetButtons();
    });
    connect(list_, &QListWidget::itemChanged, this, &RuleListPanel::checkChanged);
    // A double-click anywhere on the list edits the selected rule, not only
    // one on a line, so watch the viewport rather than the item signal.
    list_->viewport()->installEventFilter(this);
}

void RuleListPanel::FillRules(const RuleList* rules) {
    {
        // Adding checkable lines emits itemChanged and moves the current row;
        // neither is the user's doing.
        filling_ = true;
        list_->clear();
        if (rules) {
            for (const RuleRec& rule : rules->rules) {
                auto* item = new QListWidgetItem(QString::fromStdString(rule.rulename));
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
                item->setCheckState(rule.enabled ? Qt::Checked : Qt::Unchecked);
                list_->addItem(item);
            }
        }
        filling_ = false;
    }
    RefreshMarks();
    if (list_->count() > 0) {
        list_->setCurrentRow(0);
        SetButtons();
    } else {
        for (QPushButton* b : {edit_, delete_, up_, down_}) b->setEnabled(false);
    }
}

void RuleListPanel::SetButtons() {
    add_->setEnabled(true);
    const int n = list_->count();
    if (n == 0) {
        for (QPushButton* b : {edit_, delete_, up_, down_}) b->setEnabled(false);
        return;
    }
    const int i = list_->currentRow();
    edit_->setEnabled(true);
    delete_->setEnabled(true);
    up_->setEnabled(i > 0);
    down_->setEnabled(i >= 0 && i < n - 1);
}

void RuleListPanel::SetCanAdd(bool can) { add_->setEnabled(can); }

RuleList* RuleListPanel::currentRules() {
    const int idx = ctx_.CurrentServiceIndex();
    auto& table = ctx_.Store().ServiceTable;
    if (idx < 0 || idx >= static_cast<int>(table.size())) return nullptr;
    return &table[idx].rulelist;
}

void RuleListPanel::rebuild(int row) {
    ctx_.BuildRuleLists(ctx_.CurrentServiceId());
    if (row >= 0 && row < list_->count()) list_->setCurrentRow(row);
    SetButtons();
}

void RuleListPanel::addRule() {
    RuleWizard wizard(ctx_, false, 0, window());
    if (wizard.exec() != QDialog::Accepted) return;
    rebuild(0);
}

void RuleListPanel::editRule() {
    const int row = list_->currentRow();
    if (row < 0) return;
    RuleWizard wizard(ctx_, true, row, window());
    if (wizard.exec() != QDialog::Accepted) return;
    rebuild(row);
}

void RuleListPanel::deleteRule() {
    const int i = list_->currentRow();
    if (RuleList* list = currentRules(); list && i >= 0 && i < list->rulecnt()) {
        // No question is asked; the deletion can be taken back instead.
        ctx_.RememberDeletedRule(ctx_.CurrentServiceIndex(), i,
                                 list->rules[static_cast<std::size_t>(i)]);
        list->rules.erase(list->rules.begin() + i);
    }
    rebuild(0);
    ctx_.SaveConfig();
}

void RuleListPanel::moveUp() {
    const int i = list_->currentRow();
    RuleList* list = currentRules();
    const bool moved = list && i > 0 && i < list->rulecnt();
    if (moved) std::swap(list->rules[i - 1], list->rules[i]);
    rebuild(moved ? i - 1 : 0);
    ctx_.SaveConfig();
}

void RuleListPanel::moveDown() {
    const int i = list_->currentRow();
    RuleList* list = currentRules();
    const bool moved = list && i >= 0 && i < list_->count() - 1 && i + 1 < list->rulecnt();
    if (moved) std::swap(list->rules[i], list->rules[i + 1]);
    rebuild(moved ? i + 1 : 0);
    ctx_.SaveConfig();
}

void RuleListPanel::checkChanged(QListWidgetItem* item) {
    if (filling_ || !item) return;
    const int row = list_->row(item);
    if (row < 0) return;
    // The toggled line becomes the selected one even when the toggle came from
    // the keyboard or from code rather than a click on the line.
    if (list_->currentRow() != row) list_->setCurrentRow(row);
    RuleList* list = currentRules();
    if (!list || row >= list->rulecnt()) return;
    const bool enabled = item->checkState() == Qt::Checked;
    // itemChanged also reports changes other than the check mark; only a
    // changed flag is worth a save.
    if (list->rules[row].enabled == enabled) return;
    list->rules[row].enabled = enabled;
    ctx_.SaveConfig();
}

void RuleListPanel::RefreshMarks() {
    failing_ = 0;
    const RuleList* rules = currentRules();
    if (!ruleFailure_ || !rules) return;
    const bool wasFilling = std::exchange(filling_, true);
    for (int row = 0; row < list_->count() && row < rules->rulecnt(); ++row) {
        const bool failing = !ruleFailure_(rules->rules[static_cast<std::size_t>(row)]).isEmpty();
        failing_ += failing ? 1 : 0;
        list_->item(row)->setIcon(failing ? style()->standardIcon(QStyle::SP_MessageBoxWarning)
                                          : QIcon());
    }
    filling_ = wasFilling;
}

bool RuleListPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (list_->currentRow() >= 0) editRule();
        return true;
    }
    if (watched == list_->viewport() && event->type() == QEvent::ToolTip && ruleTip_) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const int row = list_->row(list_->itemAt(help->pos()));
        const RuleList* rules = currentRules();
        if (rules && row >= 0 && row < rules->rulecnt()) {
            const QString tip = ruleTip_(rules->rules[static_cast<std::size_t>(row)]);
            if (!tip.isEmpty()) QToolTip::showText(help->globalPos(), tip, list_);
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

}  // namespace kb
