#include "shell/help.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QListWidget>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QTextBlock>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "runtime/startup.h"
#include "shell/links.h"
#include "ui/icons.h"
#include "ui/msgbox.h"

namespace kb {

namespace {

QPointer<HelpWindow>& OpenWindow() {
    static QPointer<HelpWindow> w;
    return w;
}

}  // namespace

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Kestrelbox Help"));
    setWindowIcon(AppIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    resize(760, 560);

    auto tool = [this](const char* name, const QString& text, QKeySequence::StandardKey key) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        b->setToolTip(text + QStringLiteral(" (") +
                      QKeySequence(key).toString(QKeySequence::NativeText) + QLatin1Char(')'));
        return b;
    };
    BackButton = tool("BackButton", QStringLiteral("\u2190 Back"), QKeySequence::Back);
    ForwardButton = tool("ForwardButton", QStringLiteral("Forward \u2192"), QKeySequence::Forward);
    connect(BackButton, &QToolButton::clicked, this, &HelpWindow::GoBack);
    connect(ForwardButton, &QToolButton::clicked, this, &HelpWindow::GoForward);

    Contents = new QListWidget(this);
    Contents->setObjectName(QStringLiteral("Contents"));
    connect(Contents, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        const int row = Contents->row(item);
        if (row >= 0 && row < anchors_.size()) ShowSection(anchors_[row]);
    });
    connect(Contents, &QListWidget::itemClicked, Contents, &QListWidget::itemActivated);

    Browser = new QTextBrowser(this);
    Browser->setObjectName(QStringLiteral("Browser"));
    // Links are followed here: sections scroll, everything else goes to the
    // desktop's handler.
    Browser->setOpenLinks(false);
    connect(Browser, &QTextBrowser::anchorClicked, this, &HelpWindow::linkClicked);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(Contents);
    splitter->addWidget(Browser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({190, 570});
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(4, 4, 4, 0);
    bar->addWidget(BackButton);
    bar->addWidget(ForwardButton);
    bar->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addLayout(bar);
    layout->addWidget(splitter, 1);

    // A help window is put away like any other document window.
    for (const QKeySequence& k : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W),
                                  QKeySequence(QKeySequence::Close)}) {
        auto* s = new QShortcut(k, this);
        s->setContext(Qt::WindowShortcut);
        connect(s, &QShortcut::activated, this, &QWidget::close);
    }
    auto* back = new QShortcut(QKeySequence::Back, this);
    connect(back, &QShortcut::activated, this, &HelpWindow::GoBack);
    auto* forward = new QShortcut(QKeySequence::Forward, this);
    connect(forward, &QShortcut::activated, this, &HelpWindow::GoForward);
    updateButtons();
}

void HelpWindow::buildContents() {
    Contents->clear();
    anchors_.clear();
    // Each heading carries the anchor of its section.
    for (QTextBlock b = Browser->document()->begin(); b.isValid(); b = b.next()) {
        if (b.blockFormat().headingLevel() == 0) continue;
        QString anchor;
        for (auto it = b.begin(); !it.atEnd() && anchor.isEmpty(); ++it) {
            const QStringList names = it.fragment().charFormat().anchorNames();
            if (!names.isEmpty()) anchor = names.constFirst();
        }
        if (anchor.isEmpty()) continue;
        anchors_ << anchor;
        Contents->addItem(b.text().trimmed());
    }
}

void HelpWindow::scrollTo(const QString& anchor) {
    if (anchor.isEmpty()) {
        Browser->moveCursor(QTextCursor::Start);
        Browser->verticalScrollBar()->setValue(0);
    } else {
        Browser->scrollToAnchor(anchor);
    }
    const int row =
        anchors_.indexOf(anchor.isEmpty() && !anchors_.isEmpty() ? anchors_[0] : anchor);
    if (row >= 0) {
        const QSignalBlocker quiet(Contents);
        Contents->setCurrentRow(row);
    }
}

void HelpWindow::updateButtons() {
    BackButton->setEnabled(current_ > 0);
    ForwardButton->setEnabled(current_ >= 0 && current_ + 1 < history_.size());
}

void HelpWindow::GoBack() {
    if (current_ <= 0) return;
    scrollTo(history_[--current_]);
    updateButtons();
}

void HelpWindow::GoForward() {
    if (current_ < 0 || current_ + 1 >= history_.size()) return;
    scrollTo(history_[++current_]);
    updateButtons();
}

QRect HelpWindowPlace(const QRect& mainFrame, QSize helpFrame, const QRect& screen) {
    constexpr int kGap = 8, kLeastWidth = 420;
    // Narrower rather than over the main window, while it stays readable.
    const int roomRight = screen.right() - mainFrame.right() - kGap;
    const int roomLeft = mainFrame.left() - screen.left() - kGap;
    const int room = std::max(roomRight, roomLeft);
    if (room < helpFrame.width() && room >= kLeastWidth) helpFrame.setWidth(room);
    const int y = std::clamp(mainFrame.top(), screen.top(),
                             std::max(screen.top(), screen.bottom() + 1 - helpFrame.height()));
    if (helpFrame.width() <= roomRight) return {QPoint(mainFrame.right() + 1 + kGap, y), helpFrame};
    if (helpFrame.width() <= roomLeft)
        return {QPoint(mainFrame.left() - kGap - helpFrame.width(), y), helpFrame};
    // No room on either side: against the screen edge on the roomier side.
    const int x = roomRight >= roomLeft ? screen.right() + 1 - helpFrame.width() : screen.left();
    return {QPoint(std::max(screen.left(), x), y), helpFrame};
}

bool HelpWindow::LoadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QString html = QString::fromUtf8(f.readAll());
    path_ = path;
    Browser->setHtml(html);
    buildContents();
    const QString title = Browser->documentTitle();
    setWindowTitle(title.isEmpty() ? QStringLiteral("Kestrelbox Help") : title);
    return true;
}

void HelpWindow::ShowSection(const QString& anchor) {
    scrollTo(anchor);
    if (current_ >= 0 && history_[current_] == anchor) return;
    // A new step drops the steps ahead of it, as in a web browser.
    history_.erase(history_.begin() + (current_ + 1), history_.end());
    history_ << anchor;
    current_ = history_.size() - 1;
    updateButtons();
}

void HelpWindow::linkClicked(const QUrl& url) {
    if (url.scheme().isEmpty() && url.path().isEmpty() && url.hasFragment()) {
        ShowSection(url.fragment());
        return;
    }
    ShellOpenReporting(this, url.toString());
}

HelpWindow* ShowHelpContents(QWidget* mainWindow, const QString& programDir,
                             const QString& anchor) {
    const QString path = HelpFilePath(programDir);
    QPointer<HelpWindow>& w = OpenWindow();
    const bool fresh = !w;
    if (fresh) w = new HelpWindow(mainWindow);
    if (!w->LoadFile(path)) {
        if (fresh) delete w.data();
        WarnAt(mainWindow, QStringLiteral("Unable to find help file: ") + path);
        return nullptr;
    }
    // Opened beside the main window, not over it: the user reads the help
    // while working in the window it explains.
    if (!w->isVisible() && mainWindow) {
        QScreen* screen = mainWindow->screen();
        const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
        const QRect frame = w->frameGeometry();
        const QRect place = HelpWindowPlace(mainWindow->frameGeometry(), frame.size(), area);
        w->resize(w->width() - (frame.width() - place.width()), w->height());
        w->move(place.topLeft());
    }
    w->show();
    w->raise();
    w->activateWindow();
    w->ShowSection(anchor);
    return w;
}

}  // namespace kb
