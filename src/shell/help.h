// Help › Contents: the help file "kestrbx.hlp" in the program's directory,
// HTML shown as rich text in a help window whose links work.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

class QListWidget;
class QTextBrowser;
class QToolButton;

namespace kb {

class HelpWindow : public QWidget {
    Q_OBJECT

public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Reads the help file; false (and nothing shown) when it cannot be read.
    bool LoadFile(const QString& path);
    // Scrolls to the section with this anchor name ("" = the top) and
    // records it in the history that Back and Forward walk.
    void ShowSection(const QString& anchor);
    // One step back or forward in the sections shown (Alt+Left, Alt+Right).
    void GoBack();
    void GoForward();
    const QString& FilePath() const { return path_; }

    // The contents list: one line per section heading, in the file's order.
    QListWidget* Contents = nullptr;
    QTextBrowser* Browser = nullptr;
    QToolButton* BackButton = nullptr;
    QToolButton* ForwardButton = nullptr;

private:
    void linkClicked(const QUrl& url);
    // Fills the contents list from the document's headings.
    void buildContents();
    void scrollTo(const QString& anchor);
    void updateButtons();
    QString path_;
    QStringList anchors_;  // the contents lines' sections
    QStringList history_;  // sections shown, oldest first
    int current_ = -1;     // position in history_
};

// Where the help window goes beside the main window: to its right when the
// screen has room there, else to its left (narrowed to the room on the
// roomier side when that still leaves it readable), else against the edge
// farther from it; always on the screen.
QRect HelpWindowPlace(const QRect& mainFrame, QSize helpFrame, const QRect& screen);

// Shows the help file in the help window (one window, reused and brought to
// the front), at the section `anchor` when one is given. When the file
// cannot be read, warns "Unable to find help file: " + its full path at the
// main window's top-left corner and returns null.
HelpWindow* ShowHelpContents(QWidget* mainWindow, const QString& programDir,
                             const QString& anchor = QString());

}  // namespace kb
