// Help › Contents: the help file "kestrbx.hlp" in the program's directory,
// HTML shown as rich text in a help window whose links work.
#pragma once

#include <QString>
#include <QWidget>

class QTextBrowser;

namespace kb {

class THelpWindow : public QWidget {
    Q_OBJECT

public:
    explicit THelpWindow(QWidget* parent = nullptr);

    // Reads the help file; false (and nothing shown) when it cannot be read.
    bool LoadFile(const QString& path);
    // Scrolls to the section with this anchor name ("" = the top).
    void ShowSection(const QString& anchor);
    const QString& FilePath() const { return path_; }

    QTextBrowser* Browser = nullptr;

private:
    void linkClicked(const QUrl& url);
    QString path_;
};

// The help file's full path: `programDir` (with its trailing separator)
// followed by "kestrbx.hlp", or for an installed copy without one there,
// the one in its installed data folder.
QString HelpFilePath(const QString& programDir);

// Shows the help file in the help window (one window, reused and brought to
// the front), at the section `anchor` when one is given. When the file
// cannot be read, warns "Unable to find help file: " + its full path at the
// main window's top-left corner and returns null.
THelpWindow* ShowHelpContents(QWidget* mainWindow, const QString& programDir,
                              const QString& anchor = QString());

}  // namespace kb
