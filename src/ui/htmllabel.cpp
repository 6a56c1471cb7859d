#include "ui/htmllabel.h"

#include <QFocusEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

namespace kb {

HtmlLabel::HtmlLabel(bool scrollable, QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setReadOnly(true);
    setFrameShape(QFrame::NoFrame);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    if (!scrollable) {
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setLineWrapMode(QTextEdit::NoWrap);
        document()->setDocumentMargin(1);
    }
    connect(this, &QTextBrowser::anchorClicked, this,
            [this](const QUrl& url) { emit LinkClicked(url.toString()); });
}

void HtmlLabel::SetHtml(const QString& html) {
    html_ = html;
    setHtml(html);
    // Text without links has nothing to do with the keyboard: Tab passes it by.
    bool links = false;
    for (QTextBlock b = document()->begin(); b.isValid() && !links; b = b.next())
        for (auto it = b.begin(); !it.atEnd() && !links; ++it)
            links = it.fragment().charFormat().isAnchor();
    setFocusPolicy(links ? Qt::StrongFocus : Qt::NoFocus);
}

void HtmlLabel::focusInEvent(QFocusEvent* event) {
    QTextBrowser::focusInEvent(event);
    // Come to by Tab, the first (or, backwards, the last) link is marked at
    // once, so the focus is seen and Enter follows it.
    const bool tab = event->reason() == Qt::TabFocusReason;
    if ((tab || event->reason() == Qt::BacktabFocusReason) && !textCursor().hasSelection()) {
        QTextCursor start(document());
        if (!tab) start.movePosition(QTextCursor::End);
        setTextCursor(start);
        QTextBrowser::focusNextPrevChild(tab);
    }
}

}  // namespace kb
