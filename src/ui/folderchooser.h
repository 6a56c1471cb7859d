// The folder chooser behind every "Browse..." that picks a folder.
#pragma once

#include <QString>

class QWidget;

namespace kb {

// Where a chooser for a field holding `fieldText` opens: that folder when it
// exists, else `fallback` when it exists, else the root.
QString ChooserStart(const QString& fieldText, const QString& fallback);

// Asks for a folder (dialog objectName "BrowseForFolder1", caption "Select
// Folder"), opening at ChooserStart(fieldText, last). Returns the folder
// chosen in native form, or an empty text when cancelled; a folder chosen
// becomes `last`.
QString ChooseFolder(QWidget* parent, const QString& fieldText, QString& last);

}  // namespace kb
