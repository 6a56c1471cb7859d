#include "shell/startup.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cstdint>

#include "platform/paths.h"

namespace kb {

namespace {

bool directoryTakesNewFiles(const std::string& dir) {
    // Permission bits do not tell about read-only mounts or ACLs; creating a
    // file does.
    if (dir.empty() || !QFileInfo(QString::fromStdString(dir)).isDir()) return false;
    QTemporaryFile probe(
        QDir(QString::fromStdString(dir)).filePath(QStringLiteral(".kbprobe-XXXXXX")));
    return probe.open();
}

}  // namespace

std::string ChooseConfigFilePath(const std::string& programDir) {
    if (directoryTakesNewFiles(programDir)) return programDir + kConfigFileName;
    const std::string dir = AppConfigDir();
    MakeDirectories(dir);
    return dir + kPathSeparator + kConfigFileName;
}

bool HasStartupArgument(const QStringList& arguments) {
    for (const QString& a : arguments)
        if (a.compare(QLatin1String("startup"), Qt::CaseInsensitive) == 0) return true;
    return false;
}

QPoint MainWindowStartPosition(const Settings& s, const QSize& screen) {
    // 64-bit sums: stored values come from a file the user may have edited.
    const std::int64_t left = s.WinLeft, top = s.WinTop;
    const bool onScreen = left + s.WinWidth / 4 < std::int64_t{screen.width()} - 10 &&
                          top + s.WinHeight / 4 < std::int64_t{screen.height()} - 10;
    if (!onScreen) return {0, 0};
    return {s.WinLeft < 1 ? 0 : s.WinLeft, s.WinTop < 1 ? 0 : s.WinTop};
}

}  // namespace kb
