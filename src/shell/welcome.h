// The texts of the main window's welcome page and banner (markup).
#pragma once

#include <QFrame>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace kb {

class HtmlLabel;

// The banner's texts, index 0..4; the banner shows them in turn.
QStringList BannerTexts();

// The welcome page's markup.
QString WelcomeHtml();

// The paragraph the welcome page adds when download folders of other
// clients were found ("qBittorrent and Transmission"); its link is
// kFoundClientsLink.
QString FoundClientsHtml(const QString& clientNames);
inline constexpr const char* kFoundClientsLink = "kestrelbox:found-clients";

// The welcome page (objectName "tshome"): a white, lowered panel holding the
// welcome text.
class WelcomePage : public QWidget {
    Q_OBJECT

public:
    explicit WelcomePage(QWidget* parent = nullptr);

    // Shows the paragraph offering the clients found, or none for "".
    void SetFoundClients(const QString& clientNames);
    QString FoundClients() const { return found_; }

signals:
    void LinkClicked(const QString& address);

private:
    HtmlLabel* text_ = nullptr;
    QString found_;
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
    HtmlLabel* text_ = nullptr;
};

}  // namespace kb
