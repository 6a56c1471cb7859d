#include "shell/welcome.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "ui/htmllabel.h"

namespace kb {

QStringList BannerTexts() {
    // Short tips, each linking to the help section that explains it.
    return {
        QStringLiteral("Tip: rules run from the top; Move Up sets their order. "
                       "<a href=\"help:rules\">More</a>"),
        QStringLiteral("Tip: masks such as *.dat keep rules off a client's own files. "
                       "<a href=\"help:masks\">More</a>"),
        QStringLiteral("Tip: in a launch action, mfile stands for the found file. "
                       "<a href=\"help:mfile\">More</a>"),
        QStringLiteral("Tip: clear a rule's check mark to pause it without deleting it. "
                       "<a href=\"help:rules\">More</a>"),
        QStringLiteral("Thank you for using Kestrelbox"),
    };
}

QString WelcomeHtml() {
    return QStringLiteral(
        "<p align=\"center\"><b><span style=\"font-size:11pt; color:#000080;\">"
        "Welcome To Kestrelbox</span></b></p>"
        "<p align=\"left\">Is your swapping service using all of your bandwidth because it "
        "shares everything you have ever downloaded? Would an automatic way to organise your "
        "shared files, as soon as they finish downloading, make your life easier? Would you "
        "like the files you download with one file-sharing program to be shared with another "
        "one as well? Kestrelbox is a file manager that helps with all of this.</p>"
        "<p align=\"left\">Kestrelbox treats the shared directory of each swapping service "
        "like the inbox of an email client: you define rules for a directory, and Kestrelbox "
        "moves, copies or deletes the files as you desire, every few seconds, whether its "
        "window is open or not.</p>"
        "<p align=\"left\">To begin, choose a network in the side bar on the left, switch its "
        "automation on, check its shared directory and add a rule. "
        "<a href=\"help:rules\">Read the help</a> for what triggers, conditions and actions "
        "do.</p>");
}

QString FoundClientsHtml(const QString& clientNames) {
    return QStringLiteral(
               "<p align=\"left\"><b>Found on this computer:</b> the download "
               "folders of %1. <a href=\"%2\">Set one up as a service</a>; "
               "Kestrelbox fills in its folder and the masks that keep rules off "
               "unfinished downloads.</p>")
        .arg(clientNames.toHtmlEscaped(), QLatin1String(kFoundClientsLink));
}

WelcomePage::WelcomePage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tshome"));
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel2"));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setAutoFillBackground(true);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, Qt::white);
    panel->setPalette(pal);
    auto* pl = new QVBoxLayout(panel);
    pl->setContentsMargins(6, 6, 6, 6);
    text_ = new HtmlLabel(true, panel);
    text_->setObjectName(QStringLiteral("HTMLStaticText1"));
    QPalette tp = text_->palette();
    tp.setColor(QPalette::Base, Qt::white);
    text_->setPalette(tp);
    text_->SetHtml(WelcomeHtml());
    connect(text_, &HtmlLabel::LinkClicked, this, &WelcomePage::LinkClicked);
    pl->addWidget(text_);
    l->addWidget(panel);
}

void WelcomePage::SetFoundClients(const QString& clientNames) {
    if (clientNames == found_) return;
    found_ = clientNames;
    text_->SetHtml(found_.isEmpty() ? WelcomeHtml() : WelcomeHtml() + FoundClientsHtml(found_));
}

Banner::Banner(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("Panel3"));
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setFixedHeight(19);
    auto* bl = new QHBoxLayout(this);
    bl->setContentsMargins(1, 0, 1, 0);
    text_ = new HtmlLabel(false, this);
    text_->setObjectName(QStringLiteral("HTMLStaticText2"));
    QFont courier(QStringLiteral("Courier New"));
    courier.setStyleHint(QFont::Monospace);
    courier.setPointSize(8);
    text_->setFont(courier);
    QPalette bp = text_->palette();
    bp.setColor(QPalette::Text, QColor(0, 0, 0x80));
    bp.setColor(QPalette::Base, palette().color(QPalette::Window));
    text_->setPalette(bp);
    text_->SetHtml(QStringLiteral("Thank you for using Kestrelbox"));
    connect(text_, &HtmlLabel::LinkClicked, this, &Banner::LinkClicked);
    bl->addWidget(text_);
}

void Banner::SetHtml(const QString& html) {
    // Cleared first, so the same text given again is laid out afresh.
    text_->SetHtml(QString());
    text_->SetHtml(html);
}

}  // namespace kb
