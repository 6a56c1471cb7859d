#include "ui/sidebar.h"

#include <QLabel>
#include <QScrollArea>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace kb {

namespace {

constexpr int kIconSize = 22;

const char* kStyle =
    // #707070 under white captions: 4.9:1, readable (the usual mid grey
    // gave 3.9:1).
    "kb--SideBar, QWidget#SideBarContent, QScrollArea { background: #707070; }"
    "QLabel#SideBarGroup { background: #a0a0a0; color: black; border: 1px outset #c0c0c0; "
    "font-size: 8pt;"
    "  padding: 4px 6px; }"
    "QToolButton { color: white; background: transparent; border: 1px solid transparent;"
    "  padding: 0px; font-size: 8pt; }"
    "QToolButton:hover { border: 1px outset #c8c8c8; }"
    "QToolButton:pressed { border: 1px inset #c8c8c8; }"
    // Keyboard focus must be seen from across the room: a bright frame and
    // a lighter ground, not a faint dotted line.
    "QToolButton:focus { border: 2px solid #ffd75e; background: #6e6e8c; }"
    // The page shown: a dark ground and a bar at its left edge, whether or
    // not the pointer is over it (white on #34345a: 12:1).
    "QToolButton[current=\"true\"] { background: #34345a; border: 1px solid #34345a;"
    "  border-left: 4px solid #ffd75e; }"
    // ... and with the focus as well, the bright frame around it.
    "QToolButton[current=\"true\"]:focus { border: 2px solid #ffd75e;"
    "  border-left: 4px solid #ffd75e; }";

}  // namespace

SideBar::SideBar(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setAutoFillBackground(true);
    setStyleSheet(QString::fromLatin1(kStyle));
    // A short window must not clip the lower items: they scroll instead.
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);  // the items take the focus, not the strip
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->viewport()->setAutoFillBackground(false);
    content_ = new QWidget(scroll);
    content_->setObjectName(QStringLiteral("SideBarContent"));
    content_->setAutoFillBackground(false);
    scroll->setWidget(content_);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    layout_ = new QVBoxLayout(content_);
    layout_->setContentsMargins(2, 2, 2, 2);
    layout_->setSpacing(0);
    layout_->addStretch(1);
}

int SideBar::AddGroup(const QString& caption) {
    Group g;
    g.caption = new QLabel(caption, content_);
    g.caption->setObjectName(QStringLiteral("SideBarGroup"));
    g.caption->setAlignment(Qt::AlignCenter);
    // Groups stack above the stretch that keeps the items at the top.
    layout_->insertWidget(layout_->count() - 1, g.caption);
    // The bar is never narrower than its captions, with room for the scroll
    // bar a short window brings.
    g.caption->ensurePolished();
    const int frame = 2 * frameWidth() + layout_->contentsMargins().left() +
                      layout_->contentsMargins().right() +
                      style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    setMinimumWidth(std::max(minimumWidth(), g.caption->sizeHint().width() + frame));
    groups_.push_back(g);
    return groups_.size() - 1;
}

int SideBar::AddItem(int group, const QString& caption, const QIcon& icon,
                     const QString& objectName) {
    if (group < 0 || group >= groups_.size()) return -1;
    auto* b = new QToolButton(content_);
    b->setObjectName(objectName);
    b->setText(caption);
    b->setIcon(icon);
    b->setIconSize(QSize(kIconSize, kIconSize));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // Icon, caption and a little air: eight items fit the window's design
    // height without a scroll bar.
    b->ensurePolished();
    b->setFixedHeight(kIconSize + b->fontMetrics().height() + 6);
    b->setAutoRaise(true);
    b->setCheckable(false);
    b->setFocusPolicy(Qt::TabFocus);

    // The new item goes after the last widget of its group.
    QWidget* after = groups_[group].items.isEmpty() ? static_cast<QWidget*>(groups_[group].caption)
                                                    : groups_[group].items.back();
    layout_->insertWidget(layout_->indexOf(after) + 1, b);
    groups_[group].items.push_back(b);
    const int item = groups_[group].items.size() - 1;
    connect(b, &QToolButton::clicked, this, [this, group, item] { emit ItemClick(group, item); });
    return item;
}

int SideBar::ItemCount(int group) const {
    return group >= 0 && group < groups_.size() ? groups_[group].items.size() : 0;
}

void SideBar::SetCurrent(int group, int item) {
    for (int g = 0; g < groups_.size(); ++g) {
        for (int i = 0; i < groups_[g].items.size(); ++i) {
            QToolButton* b = groups_[g].items[i];
            const bool current = g == group && i == item;
            if (b->property("current").toBool() == current) continue;
            b->setProperty("current", current);
            b->setAccessibleDescription(current ? QStringLiteral("shown") : QString());
            b->style()->unpolish(b);
            b->style()->polish(b);
        }
    }
}

bool SideBar::IsCurrent(int group, int item) const {
    const QToolButton* b = Item(group, item);
    return b && b->property("current").toBool();
}

QToolButton* SideBar::Item(int group, int item) const {
    if (group < 0 || group >= groups_.size()) return nullptr;
    const auto& items = groups_[group].items;
    return item >= 0 && item < items.size() ? items[item] : nullptr;
}

}  // namespace kb
