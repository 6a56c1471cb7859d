#include "shell/links.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>

#include "platform/paths.h"
#include "platform/shellopen.h"
#include "shell/help.h"

namespace kb {

namespace {

constexpr std::array<ProductLink, 3> kProducts = {{
    {"ProgramFolder1", "Open &Program Folder..."},
    {"SettingsFolder1", "Open &Settings Folder..."},
    {"AutostartFolder1", "Open &Autostart Folder..."},
}};

QString ProductTarget(int index, const QString& programDir) {
    switch (index) {
        case 0:
            return programDir;
        case 1:
            return QString::fromStdString(AppConfigDir());
        case 2:
            return QString::fromStdString(ConfigHome() + kPathSeparator + "autostart");
        default:
            return {};
    }
}

}  // namespace

int ShellOpenReporting(QWidget* parent, const QString& target) {
    if (ShellOpen(target.toStdString()) == 0) return 0;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Kestrelbox"),
                    QStringLiteral("Error starting player program."), QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("ShellOpenErrorBox"));
    QScreen* screen =
        parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        box.adjustSize();
        const QRect g = screen->geometry();
        box.move(g.x() + (g.width() - box.width()) / 2, g.y() + (g.height() - box.height()) / 2);
    }
    box.exec();
    return -1;
}

void OpenSupportLink(QWidget* mainWindow, const QString& programDir) {
    ShowHelpContents(mainWindow, programDir, QStringLiteral("support"));
}

void OpenForumsLink(QWidget* mainWindow, const QString& programDir) {
    ShowHelpContents(mainWindow, programDir, QStringLiteral("questions"));
}

void OpenAuthorLink(QWidget* mainWindow, const QString& programDir) {
    ShowHelpContents(mainWindow, programDir, QStringLiteral("author"));
}

const std::array<ProductLink, 3>& ProductLinks() { return kProducts; }

void OpenProductLink(int index, QWidget* mainWindow, const QString& programDir) {
    const QString target = ProductTarget(index, programDir);
    if (target.isEmpty()) return;
    ShellOpenReporting(mainWindow, target);
}

void AddProductLinkEntries(QMenu* links, QWidget* mainWindow, const QString& programDir) {
    for (int i = 0; i < static_cast<int>(kProducts.size()); ++i) {
        QAction* a = links->addAction(QString::fromUtf8(kProducts[i].caption));
        a->setObjectName(QString::fromLatin1(kProducts[i].objectName));
        QObject::connect(a, &QAction::triggered, links, [i, mainWindow, programDir] {
            OpenProductLink(i, mainWindow, programDir);
        });
    }
}

void ConnectLinkEntries(QMenu* links, QWidget* mainWindow, const QString& programDir) {
    using Open = void (*)(QWidget*, const QString&);
    const std::pair<const char*, Open> entries[] = {{"Support1", &OpenSupportLink},
                                                    {"OnlineForums1", &OpenForumsLink},
                                                    {"WhosDaAuthor1", &OpenAuthorLink}};
    for (const auto& entry : entries) {
        const Open open = entry.second;
        if (QAction* a = links->findChild<QAction*>(QString::fromLatin1(entry.first)))
            QObject::connect(a, &QAction::triggered, links,
                             [open, mainWindow, programDir] { open(mainWindow, programDir); });
    }
    AddProductLinkEntries(links, mainWindow, programDir);
}

}  // namespace kb
