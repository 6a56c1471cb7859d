// What the Links menu does, and opening addresses with the desktop.
#pragma once

#include <QString>
#include <array>

class QMenu;
class QWidget;

namespace kb {

// Opens a document or address with the desktop's handler. On failure shows
// "Error starting player program." in a box centred on the screen and
// returns -1; returns 0 on success.
int ShellOpenReporting(QWidget* parent, const QString& target);

// Links › Support, Online Forums, Who's Da Author: the matching sections of
// the program's own help (troubleshooting, questions and answers, the author).
void OpenSupportLink(QWidget* mainWindow, const QString& programDir);
void OpenForumsLink(QWidget* mainWindow, const QString& programDir);
void OpenAuthorLink(QWidget* mainWindow, const QString& programDir);

// The Links menu's three further entries, in menu order: the folders that
// hold the program's own files, opened in the desktop's file manager.
struct ProductLink {
    const char* objectName;
    const char* caption;
};
const std::array<ProductLink, 3>& ProductLinks();
// Opens entry `index` of ProductLinks() (0..2; others do nothing).
void OpenProductLink(int index, QWidget* mainWindow, const QString& programDir);
// Appends the three entries to `links`, each opening its folder.
void AddProductLinkEntries(QMenu* links, QWidget* mainWindow, const QString& programDir);

// The whole Links menu's behaviour: connects its entries "Support1",
// "OnlineForums1" and "WhosDaAuthor1" (found by objectName) and appends the
// product entries.
void ConnectLinkEntries(QMenu* links, QWidget* mainWindow, const QString& programDir);

}  // namespace kb
