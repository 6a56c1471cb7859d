#include "ui/htmllabel.h"

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
}

}  // namespace kb
