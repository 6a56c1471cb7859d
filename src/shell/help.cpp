#include "shell/help.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "shell/links.h"
#include "shell/startup.h"
#include "ui/icons.h"
#include "ui/msgbox.h"

namespace kb {

namespace {

QPointer<THelpWindow>& OpenWindow() {
    static QPointer<THelpWindow> w;
    return w;
}

}  // namespace

THelpWindow::THelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Kestrelbox Help"));
    setWindowIcon(AppIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    resize(640, 560);
    Browser = new QTextBrowser(this);
    Browser->setObjectName(QStringLiteral("Browser"));
    // Links are followed here: sections scroll, everything else goes to the
    // desktop's handler.
    Browser->setOpenLinks(false);
    connect(Browser, &QTextBrowser::anchorClicked, this, &THelpWindow::linkClicked);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Browser);
}

bool THelpWindow::LoadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QString html = QString::fromUtf8(f.readAll());
    path_ = path;
    Browser->setHtml(html);
    const QString title = Browser->documentTitle();
    setWindowTitle(title.isEmpty() ? QStringLiteral("Kestrelbox Help") : title);
    return true;
}

void THelpWindow::ShowSection(const QString& anchor) {
    if (anchor.isEmpty())
        Browser->moveCursor(QTextCursor::Start);
    else
        Browser->scrollToAnchor(anchor);
}

void THelpWindow::linkClicked(const QUrl& url) {
    if (url.scheme().isEmpty() && url.path().isEmpty() && url.hasFragment()) {
        ShowSection(url.fragment());
        return;
    }
    ShellOpenReporting(this, url.toString());
}

QString HelpFilePath(const QString& programDir) {
    const QString beside = programDir + QStringLiteral("kestrbx.hlp");
    if (QFileInfo::exists(beside)) return beside;
    // An installed copy keeps it with its other data.
    const std::string data = InstalledDataDir(programDir.toStdString());
    return data.empty() ? beside : QString::fromStdString(data) + QStringLiteral("kestrbx.hlp");
}

THelpWindow* ShowHelpContents(QWidget* mainWindow, const QString& programDir,
                              const QString& anchor) {
    const QString path = HelpFilePath(programDir);
    QPointer<THelpWindow>& w = OpenWindow();
    const bool fresh = !w;
    if (fresh) w = new THelpWindow(mainWindow);
    if (!w->LoadFile(path)) {
        if (fresh) delete w.data();
        WarnAt(mainWindow, QStringLiteral("Unable to find help file: ") + path);
        return nullptr;
    }
    w->show();
    w->raise();
    w->activateWindow();
    w->ShowSection(anchor);
    return w;
}

}  // namespace kb
