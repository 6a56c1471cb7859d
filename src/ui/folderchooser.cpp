#include "ui/folderchooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace kb {

QString ChooserStart(const QString& fieldText, const QString& fallback) {
    for (const QString& candidate : {fieldText, fallback})
        if (!candidate.isEmpty() && QFileInfo(candidate).isDir())
            return QDir::cleanPath(QDir::fromNativeSeparators(candidate));
    // Where the user's own folders start.
    return QFileInfo(QDir::homePath()).isDir() ? QDir::homePath() : QDir::rootPath();
}

QString ChooseFolder(QWidget* parent, const QString& fieldText, QString& last) {
    QFileDialog chooser(parent, QStringLiteral("Select Folder"), ChooserStart(fieldText, last));
    chooser.setObjectName(QStringLiteral("BrowseForFolder1"));
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly, true);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return {};
    last = chooser.selectedFiles().constFirst();
    return QDir::toNativeSeparators(last);
}

}  // namespace kb
