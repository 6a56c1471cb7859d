#include "runtime/startup.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cstdint>

#include "journal/journal.h"
#include "platform/atomicfile.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "runtime/textformats.h"
#include "store/configfile.h"
#include "store/discovery.h"

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

std::string InstalledDataDir(const std::string& programDir) {
    if (programDir.empty()) return {};
    const QString data =
        QDir::cleanPath(QString::fromStdString(programDir) + QStringLiteral("../share/kestrelbox"));
    if (!QFileInfo(data + QStringLiteral("/kestrbx.hlp")).isFile()) return {};
    return QDir::toNativeSeparators(data).toStdString() + kPathSeparator;
}

QString HelpFilePath(const QString& programDir) {
    QString beside = programDir + QStringLiteral("kestrbx.hlp");
    if (QFileInfo::exists(beside)) return beside;
    // An installed copy keeps it with its other data.
    const std::string data = InstalledDataDir(programDir.toStdString());
    return data.empty() ? beside : QString::fromStdString(data) + QStringLiteral("kestrbx.hlp");
}

std::string ChooseConfigFilePath(const std::string& programDir) {
    // Root can write to /usr/bin; an installed copy still keeps its rules
    // with the user's settings.
    if (InstalledDataDir(programDir).empty() && directoryTakesNewFiles(programDir))
        return programDir + kConfigFileName;
    const std::string dir = AppConfigDir();
    MakeDirectories(dir);
    return dir + kPathSeparator + kConfigFileName;
}

std::string FindConfigFilePath(const std::string& programDir) {
    if (InstalledDataDir(programDir).empty() && !programDir.empty() &&
        QFileInfo(QString::fromStdString(programDir + kConfigFileName)).isFile())
        return programDir + kConfigFileName;
    return AppConfigDir() + kPathSeparator + kConfigFileName;
}

std::string ConfigArgumentProblem(const QString& file) {
    const QFileInfo info(file);
    if (!info.exists()) return "there is no file " + file.toStdString();
    if (!info.isFile()) return file.toStdString() + " is not a file";
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return file.toStdString() + " cannot be read: " + f.errorString().toStdString();
    return {};
}

void PrepareProgramState(ProgramState& state, const QString& configFile, Journal& journal,
                         const StartupReports& reports) {
    SetProcessTextFormats();

    state.ExecutablePath = ExecutablePath();
    if (state.ExecutablePath.empty())
        state.ExecutablePath = QCoreApplication::applicationFilePath().toStdString();
    state.ProgramDir = DirectoryOf(state.ExecutablePath);

    // The defaults: Settings starts with them; the configuration file goes
    // beside the program unless that directory is read-only or the program
    // is installed.
    state.ConfigFilePath = configFile.isEmpty()
                               ? ChooseConfigFilePath(state.ProgramDir)
                               : QFileInfo(configFile).absoluteFilePath().toStdString();
    // Saves cut off by a kill leave their temporary files; this copy holds
    // the guard, so no other one is saving now.
    RemoveAtomicWriteLeftovers(state.ConfigFilePath);
    RemoveRegistryLeftovers();

    InitServiceTable(state.store);

    const std::string settingsError = LoadOrCreateAdditionalOptions(state.additional);
    if (!settingsError.empty() && reports.error) reports.error(settingsError);
    LoadSettings(state.settings);

    // What the rules do is recorded from the first pass on; what is older
    // than the journal keeps goes now (or at the next start, when it cannot).
    static_cast<void>(journal.Prune(QDateTime::currentMSecsSinceEpoch()));
    state.journal = &journal;

    LoadConfigAtStartup(state.ConfigFilePath, state.store, reports.warn);
}

QString AlreadyRunningText(const GuardHolder& holder) {
    const QString who = holder.headless ? QStringLiteral("Kestrelbox already runs headless")
                                        : QStringLiteral("Kestrelbox already runs");
    if (holder.pid <= 0) return who + QLatin1Char('.');
    return who + QStringLiteral(" (process %1).").arg(holder.pid);
}

bool HasStartupArgument(const QStringList& arguments) {
    for (const QString& a : arguments)
        if (a.compare(QLatin1String("startup"), Qt::CaseInsensitive) == 0) return true;
    return false;
}

QPoint MainWindowStartPosition(const AdditionalOptions& s, const QSize& screen) {
    // 64-bit sums: stored values come from a file the user may have edited.
    const std::int64_t left = s.WinLeft, top = s.WinTop;
    const bool onScreen = left + s.WinWidth / 4 < std::int64_t{screen.width()} - 10 &&
                          top + s.WinHeight / 4 < std::int64_t{screen.height()} - 10;
    if (!onScreen) return {0, 0};
    return {s.WinLeft < 1 ? 0 : s.WinLeft, s.WinTop < 1 ? 0 : s.WinTop};
}

}  // namespace kb
