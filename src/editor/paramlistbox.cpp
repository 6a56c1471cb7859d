#include "editor/paramlistbox.h"

#include <QCursor>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStyledItemDelegate>
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
    explicit ParamDelegate(TParamListBox* box) : QStyledItemDelegate(box), box_(box) {}

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
        for (std::size_t i = 0; i < runs.size(); ++i) {
            painter->setFont(runs[i].link ? linkFont : option.font);
            painter->setPen(runs[i].link ? linkColor : textColor);
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
    TParamListBox* box_;
};

}  // namespace

TParamListBox::TParamListBox(QWidget* parent) : QListWidget(parent) {
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

void TParamListBox::checkIndex(int idx) const {
    if (idx < 0 || idx >= count()) throw std::out_of_range("Invalid item index");
}

void TParamListBox::Clear() {
    // A refill is not the pointer leaving a link: forget it without a report.
    enteredIdx_ = -1;
    enteredHref_.clear();
    clear();
}

void TParamListBox::AddLine(const QString& markup) { addItem(markup); }

void TParamListBox::InsertLine(int idx, const QString& markup) { insertItem(idx, markup); }

void TParamListBox::SetLine(int idx, const QString& markup) {
    checkIndex(idx);
    item(idx)->setText(markup);
}

int TParamListBox::Count() const { return count(); }

QString TParamListBox::Line(int idx) const {
    checkIndex(idx);
    return item(idx)->text();
}

QString TParamListBox::GetParamValue(int idx, const QString& name) const {
    return MarkupParamValue(Line(idx), name);
}

void TParamListBox::SetParamValue(int idx, const QString& name, const QString& value) {
    SetLine(idx, MarkupSetParamValue(Line(idx), name, value));
}

TParamListBox::Hit TParamListBox::hitAt(const QPoint& pos) const {
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
    if (hit.run >= 0) {
        hit.href = runs[hit.run].href;
        hit.raw = runs[hit.run].rawText;
    }
    return hit;
}

int TParamListBox::HitTest(const QPoint& pos, QString* href) const {
    const Hit hit = hitAt(pos);
    if (href) *href = hit.href;
    return hit.idx;
}

void TParamListBox::mousePressEvent(QMouseEvent* event) {
    QListWidget::mousePressEvent(event);
    if (event->button() != Qt::LeftButton) return;
    const Hit hit = hitAt(event->position().toPoint());
    if (hit.run < 0) return;
    const QString old = hit.raw;
    QString value = old;
    // The handler may open a modal dialog and refill the list; the list itself
    // may even be gone by the time it returns.
    QPointer<TParamListBox> self(this);
    emit OnParamClick(hit.idx, hit.href, value);
    if (!self || value == old) return;
    if (hit.idx < count()) {
        SetParamValue(hit.idx, hit.href, value);
        emit OnParamChanged(hit.idx, hit.href, old, value);
    }
    if (self) trackPointer(viewport()->mapFromGlobal(QCursor::pos()));
}

void TParamListBox::mouseMoveEvent(QMouseEvent* event) {
    QListWidget::mouseMoveEvent(event);
    trackPointer(event->position().toPoint());
}

void TParamListBox::trackPointer(const QPoint& pos) {
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

void TParamListBox::forgetLink() {
    if (enteredIdx_ < 0 && enteredHref_.isEmpty()) return;
    const int idx = enteredIdx_;
    const QString href = enteredHref_;
    enteredIdx_ = -1;
    enteredHref_.clear();
    emit OnParamExit(idx, href);
}

bool TParamListBox::viewportEvent(QEvent* event) {
    // Leaving the list forgets the link but keeps the pointer shape; the next
    // move over the list sets it right again.
    if (event->type() == QEvent::Leave) forgetLink();
    return QListWidget::viewportEvent(event);
}

void TParamListBox::changeEvent(QEvent* event) {
    QListWidget::changeEvent(event);
    // Line heights follow the font, so every line is measured again.
    if (event->type() == QEvent::FontChange) doItemsLayout();
}

}  // namespace kb
