// A read-only label that shows HTML markup (headings, paragraphs, colours,
// links). It never follows a link itself: a click is reported with the
// link's address so the window can hand it to the desktop.
#pragma once

#include <QString>
#include <QTextBrowser>

namespace kb {

class HtmlLabel : public QTextBrowser {
    Q_OBJECT

public:
    // `scrollable` false gives a one-line strip without scroll bars.
    explicit HtmlLabel(bool scrollable, QWidget* parent = nullptr);

    // Replaces the shown markup.
    void SetHtml(const QString& html);
    // The markup last given to SetHtml (not Qt's re-serialised form).
    const QString& Html() const { return html_; }

signals:
    void LinkClicked(const QString& address);

protected:
    void focusInEvent(QFocusEvent* event) override;

private:
    QString html_;
};

}  // namespace kb
