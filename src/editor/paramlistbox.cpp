#include "editor/paramlistbox.h"

#include <QCursor>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStyledItemDelegate>
#include <algorithm>
#include <stdexcept>

#include "editor/parammarkup.h"

namespace kb {

namespace {

// Text starts this far in from the line's left edge.
constexpr int kLeftInset = 2;
// Added to the rendered text's height for each line.
constexpr int kLinePadding = 4;

TextWidth widthIn(const QFont& font) {
    return [fm = QFontMetrics(font)](const QString& s) { return fm.horizontalAdvance(s); };
}

// Top of the text inside a line's rectangle: the padding split evenly.
int textTop(const QRect& lineRect) { return lineRect.top() + kLinePadding / 2; }

class ParamDelegate : public QStyledItemDelegate {
public:
    explicit ParamDelegate(LinkedSentenceList* box) : QStyledItemDelegate(box), box_(box) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = box_->ShowSelection && (option.state & QStyle::State_Selected);
        const QColor background =
            selected ? box_->SelectionColor : option.palette.color(QPalette::Base);
        const QColor textColor =
            selected ? box_->SelectionFontColor : option.palette.color(QPalette::Text);
        const QColor linkColor = selected ? box_->SelectionFontColor : box_->ParamColor;

        painter->save();
        painter->fillRect(option.rect, background);
        const std::vector<MarkupRun> runs = ParseMarkup(index.data().toString());
        const std::vector<MarkupPiece> pieces =
            LayoutMarkup(runs, option.rect.left() + kLeftInset, widthIn(option.font));
        const int baseline = textTop(option.rect) + QFontMetrics(option.font).ascent();
        QFont linkFont = option.font;
        linkFont.setUnderline(true);
        const bool keyboardLink = box_->hasFocus() && box_->FocusedLine() == index.row();
        for (std::size_t i = 0; i < runs.size(); ++i) {
            if (keyboardLink && box_->FocusedRun() == static_cast<int>(i)) {
                // The link the keyboard is on: shaded and framed, plain to see.
                const QRect r(pieces[i].x0 - 1, option.rect.top() + 1,
                              pieces[i].x1 - pieces[i].x0 + 2, option.rect.height() - 2);
                painter->fillRect(r, option.palette.color(QPalette::Highlight).lighter(170));
                painter->setPen(QPen(option.palette.color(QPalette::Highlight), 1));
                painter->drawRect(r.adjusted(0, 0, -1, -1));
            }
            const bool live = box_->IsLive(runs[i]);
            painter->setFont(live ? linkFont : option.font);
            painter->setPen(live ? linkColor : textColor);
            painter->drawText(QPoint(pieces[i].x0, baseline), runs[i].text);
        }
        if (selected && (option.state & QStyle::State_HasFocus)) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(option);
            focus.backgroundColor = background;
            QStyle* style = option.widget ? option.widget->style() : box_->style();
            style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, option.widget);
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const std::vector<MarkupRun> runs = ParseMarkup(index.data().toString());
        const std::vector<MarkupPiece> pieces =
            LayoutMarkup(runs, kLeftInset, widthIn(option.font));
        const int width = pieces.empty() ? kLeftInset : pieces.back().x1;
        return {width + kLeftInset, QFontMetrics(option.font).height() + kLinePadding};
    }

private:
    LinkedSentenceList* box_;
};

}  // namespace

LinkedSentenceList::LinkedSentenceList(QWidget* parent) : QListWidget(parent) {
    SelectionColor = palette().color(QPalette::Highlight);
    SelectionFontColor = palette().color(QPalette::HighlightedText);
    setItemDelegate(new ParamDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(false);
    setResizeMode(QListView::Adjust);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
}

void LinkedSentenceList::checkIndex(int idx) const {
    if (idx < 0 || idx >= count()) throw std::out_of_range("Invalid item index");
}

void LinkedSentenceList::Clear() {
    // A refill is not the pointer leaving a link: forget it without a report.
    enteredIdx_ = -1;
    enteredHref_.clear();
    clear();
}

void LinkedSentenceList::AddLine(const QString& markup) { addItem(markup); }

void LinkedSentenceList::InsertLine(int idx, const QString& markup) { insertItem(idx, markup); }

void LinkedSentenceList::SetLine(int idx, const QString& markup) {
    checkIndex(idx);
    item(idx)->setText(markup);
}

int LinkedSentenceList::Count() const { return count(); }

QString LinkedSentenceList::Line(int idx) const {
    checkIndex(idx);
    return item(idx)->text();
}

QString LinkedSentenceList::GetParamValue(int idx, const QString& name) const {
    return MarkupParamValue(Line(idx), name);
}

void LinkedSentenceList::SetParamValue(int idx, const QString& name, const QString& value) {
    SetLine(idx, MarkupSetParamValue(Line(idx), name, value));
}

LinkedSentenceList::Hit LinkedSentenceList::hitAt(const QPoint& pos) const {
    Hit hit;
    const QModelIndex index = indexAt(pos);
    if (!index.isValid() || index.row() >= count()) return hit;
    hit.idx = index.row();
    const QRect rect = visualRect(index);
    const QFontMetrics fm(font());
    const int top = textTop(rect);
    if (pos.y() < top || pos.y() >= top + fm.height()) return hit;
    const std::vector<MarkupRun> runs = ParseMarkup(item(hit.idx)->text());
    const std::vector<MarkupPiece> pieces =
        LayoutMarkup(runs, rect.left() + kLeftInset, widthIn(font()));
    hit.run = LinkRunAt(runs, pieces, pos.x());
    if (hit.run >= 0 && !IsLive(runs[hit.run])) hit.run = -1;
    if (hit.run >= 0) {
        hit.href = runs[hit.run].href;
        hit.raw = runs[hit.run].rawText;
    }
    return hit;
}

int LinkedSentenceList::HitTest(const QPoint& pos, QString* href) const {
    const Hit hit = hitAt(pos);
    if (href) *href = hit.href;
    return hit.idx;
}

void LinkedSentenceList::mousePressEvent(QMouseEvent* event) {
    QListWidget::mousePressEvent(event);
    if (event->button() != Qt::LeftButton) return;
    const Hit hit = hitAt(event->position().toPoint());
    if (hit.run < 0) return;
    focusLink(hit.idx, hit.run);
    QPointer<LinkedSentenceList> self(this);
    activate(hit.idx, hit.run);
    if (self) trackPointer(viewport()->mapFromGlobal(QCursor::pos()));
}

void LinkedSentenceList::activate(int idx, int run) {
    if (idx < 0 || idx >= count()) return;
    const std::vector<MarkupRun> runs = ParseMarkup(item(idx)->text());
    if (run < 0 || run >= static_cast<int>(runs.size()) || !IsLive(runs[run])) return;
    const QString href = runs[run].href;
    const QString old = runs[run].rawText;
    QString value = old;
    // The handler may open a modal dialog and refill the list; the list itself
    // may even be gone by the time it returns.
    QPointer<LinkedSentenceList> self(this);
    emit OnParamClick(idx, href, value);
    if (!self || value == old) return;
    if (idx < count()) {
        SetParamValue(idx, href, value);
        emit OnParamChanged(idx, href, old, value);
    }
}

QString LinkedSentenceList::FocusedHref() const {
    if (focusLine_ < 0 || focusLine_ >= count()) return {};
    const std::vector<MarkupRun> runs = ParseMarkup(item(focusLine_)->text());
    if (focusRun_ < 0 || focusRun_ >= static_cast<int>(runs.size())) return {};
    return IsLive(runs[focusRun_]) ? runs[focusRun_].href : QString();
}

bool LinkedSentenceList::IsLive(const MarkupRun& run) const {
    return run.link && !InertLinks.contains(run.href);
}

std::vector<std::pair<int, int>> LinkedSentenceList::links() const {
    std::vector<std::pair<int, int>> out;
    for (int i = 0; i < count(); ++i) {
        const std::vector<MarkupRun> runs = ParseMarkup(item(i)->text());
        for (int r = 0; r < static_cast<int>(runs.size()); ++r)
            if (IsLive(runs[r])) out.emplace_back(i, r);
    }
    return out;
}

void LinkedSentenceList::focusLink(int line, int run) {
    focusLine_ = line;
    focusRun_ = run;
    if (line >= 0 && line < count()) {
        setCurrentRow(line);
        scrollToItem(item(line));
    }
    viewport()->update();
}

bool LinkedSentenceList::stepLink(int step) {
    const std::vector<std::pair<int, int>> all = links();
    if (all.empty()) return false;
    const auto at = std::find(all.begin(), all.end(), std::make_pair(focusLine_, focusRun_));
    std::ptrdiff_t next = 0;
    if (at == all.end())
        next = step > 0 ? 0 : std::ssize(all) - 1;
    else
        next = (at - all.begin()) + step;
    if (next < 0 || next >= std::ssize(all)) return false;
    focusLink(all[static_cast<std::size_t>(next)].first,
              all[static_cast<std::size_t>(next)].second);
    return true;
}

void LinkedSentenceList::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Right:
        case Qt::Key_Down:
            stepLink(1);
            return;
        case Qt::Key_Left:
        case Qt::Key_Up:
            stepLink(-1);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            // Taken here even without a link: Enter on the list must not
            // reach the dialog's default button.
            if (FocusedHref().isEmpty()) stepLink(1);
            if (!FocusedHref().isEmpty()) activate(focusLine_, focusRun_);
            return;
        default:
            QListWidget::keyPressEvent(event);
    }
}

void LinkedSentenceList::focusInEvent(QFocusEvent* event) {
    QListWidget::focusInEvent(event);
    const std::vector<std::pair<int, int>> all = links();
    const bool known =
        std::find(all.begin(), all.end(), std::make_pair(focusLine_, focusRun_)) != all.end();
    if (event->reason() == Qt::TabFocusReason && !all.empty())
        focusLink(all.front().first, all.front().second);
    else if (event->reason() == Qt::BacktabFocusReason && !all.empty())
        focusLink(all.back().first, all.back().second);
    else if (!known && !all.empty())
        focusLink(all.front().first, all.front().second);
    viewport()->update();
}

void LinkedSentenceList::focusOutEvent(QFocusEvent* event) {
    QListWidget::focusOutEvent(event);
    viewport()->update();
}

bool LinkedSentenceList::focusNextPrevChild(bool next) {
    // Tab goes through the links first, then on to the next control.
    if (hasFocus() && stepLink(next ? 1 : -1)) return true;
    return QListWidget::focusNextPrevChild(next);
}

void LinkedSentenceList::mouseMoveEvent(QMouseEvent* event) {
    QListWidget::mouseMoveEvent(event);
    trackPointer(event->position().toPoint());
}

void LinkedSentenceList::trackPointer(const QPoint& pos) {
    const Hit hit = hitAt(pos);
    if (hit.run >= 0) {
        if (!handShown_) {
            viewport()->setCursor(Qt::PointingHandCursor);
            handShown_ = true;
        }
        if (hit.idx != enteredIdx_ || hit.href != enteredHref_) {
            enteredIdx_ = hit.idx;
            enteredHref_ = hit.href;
            emit OnParamEnter(hit.idx, hit.href, hit.raw);
        }
    } else if (handShown_) {
        viewport()->unsetCursor();
        handShown_ = false;
        forgetLink();
    }
}

void LinkedSentenceList::forgetLink() {
    if (enteredIdx_ < 0 && enteredHref_.isEmpty()) return;
    const int idx = enteredIdx_;
    const QString href = enteredHref_;
    enteredIdx_ = -1;
    enteredHref_.clear();
    emit OnParamExit(idx, href);
}

bool LinkedSentenceList::viewportEvent(QEvent* event) {
    // Leaving the list forgets the link but keeps the pointer shape; the next
    // move over the list sets it right again.
    if (event->type() == QEvent::Leave) forgetLink();
    return QListWidget::viewportEvent(event);
}

void LinkedSentenceList::changeEvent(QEvent* event) {
    QListWidget::changeEvent(event);
    // Line heights follow the font, so every line is measured again.
    if (event->type() == QEvent::FontChange) doItemsLayout();
}

}  // namespace kb
