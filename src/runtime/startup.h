// Start-up decisions that do not need the window: where the configuration
// file goes, the steps every run that acts takes before its first pass,
// whether to start hidden, and where the main window opens.
#pragma once

#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>

#include "platform/instanceguard.h"
#include "store/additionaloptions.h"
#include "store/servicetable.h"
#include "store/settings.h"

namespace kb {

class Journal;

inline constexpr char kConfigFileName[] = "kbconf.ini";

// The program's state for the whole run, prepared by start-up before the
// window (or the headless loop) exists.
struct ProgramState {
    ServiceStore store;
    AdditionalOptions additional;  // Options › Additional Options, and the window's place
    Settings settings;             // Options › Settings...
    Journal* journal = nullptr;    // the activity journal (owned by start-up); may be null
    std::string ProgramDir;        // the executable's directory, trailing separator included
    std::string ConfigFilePath;
    std::string ExecutablePath;
};

// The folder of the program's installed data (its help file) when it runs
// from an installed tree, <prefix>/share/kestrelbox/ beside <prefix>/bin/,
// trailing separator included; "" for a copy run from its own folder.
std::string InstalledDataDir(const std::string& programDir);

// The help file's full path: `programDir` (with its trailing separator)
// followed by "kestrbx.hlp", or for an installed copy without one there,
// the one in its installed data folder.
QString HelpFilePath(const QString& programDir);

// For a copy run from its own folder, `programDir` + "kbconf.ini" when that
// folder takes new files (a portable copy). Otherwise (an installed copy, or
// one the user cannot write to) the per-user configuration directory's
// "Kestrelbox/kbconf.ini", creating that directory, so that the user's
// changes survive the next start.
std::string ChooseConfigFilePath(const std::string& programDir);

// The configuration file a run that writes nothing reads: the one beside a
// copy run from its own folder when it exists, else the per-user one.
// Creates nothing.
std::string FindConfigFilePath(const std::string& programDir);

// Why the file --config names cannot serve as kbconf.ini ("" when it can):
// it must exist and be a readable file.
std::string ConfigArgumentProblem(const QString& file);

// How start-up tells what went wrong: `warn` for a damaged configuration
// file, `error` for settings that could not be read or created.
struct StartupReports {
    std::function<void(const std::string&)> warn;
    std::function<void(const std::string&)> error;
};

// What a run that acts does once it holds the guard: finds the program and
// its configuration file (`configFile` when given), removes what interrupted
// saves left, loads the settings, the options and the configuration, and
// opens `journal` (pruned of what is older than it keeps).
void PrepareProgramState(ProgramState& state, const QString& configFile, Journal& journal,
                         const StartupReports& reports);

// What a copy that finds the guard held says: "Kestrelbox already runs
// headless (process 123)." or "Kestrelbox already runs (process 123).".
QString AlreadyRunningText(const GuardHolder& holder);

// True when any argument, the program path included, is "startup" in any case.
bool HasStartupArgument(const QStringList& arguments);

// Where the main window opens: the stored position when the stored window
// would still show at least its top-left quarter on a screen of `screen`
// size (negative edges pulled back to 0), otherwise the screen's corner.
QPoint MainWindowStartPosition(const AdditionalOptions& s, const QSize& screen);

}  // namespace kb
