// The texts of the main window's welcome page and banner (markup).
#pragma once

#include <QFrame>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace kb {

class THTMLStaticText;

// The banner's texts, index 0..4; the banner shows them in turn.
QStringList BannerTexts();

// The welcome page's markup.
QString WelcomeHtml();

// The welcome page (objectName "tshome"): a white, lowered panel holding the
// welcome text.
class WelcomePage : public QWidget {
    Q_OBJECT

public:
    explicit WelcomePage(QWidget* parent = nullptr);

signals:
    void LinkClicked(const QString& address);
};

// The banner strip under the pages (objectName "Panel3"), one line of
// markup in navy on the window's colour.
class Banner : public QFrame {
    Q_OBJECT

public:
    explicit Banner(QWidget* parent = nullptr);
    void SetHtml(const QString& html);

signals:
    void LinkClicked(const QString& address);

private:
    THTMLStaticText* text_ = nullptr;
};

}  // namespace kb
