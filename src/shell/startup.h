// Start-up decisions that do not need the window: where the configuration
// file goes, whether to start hidden, and where the main window opens.
#pragma once

#include <QPoint>
#include <QSize>
#include <QStringList>
#include <string>

#include "store/settings.h"

namespace kb {

inline constexpr char kConfigFileName[] = "kbconf.ini";

// `programDir` + "kbconf.ini" when the program's directory takes new files (a
// portable copy). Otherwise (an installed copy the user cannot write to) the
// per-user configuration directory's "Kestrelbox/kbconf.ini", creating that
// directory, so that the user's changes survive the next start.
std::string ChooseConfigFilePath(const std::string& programDir);

// True when any argument, the program path included, is "startup" in any case.
bool HasStartupArgument(const QStringList& arguments);

// Where the main window opens: the stored position when the stored window
// would still show at least its top-left quarter on a screen of `screen`
// size (negative edges pulled back to 0), otherwise the screen's corner.
QPoint MainWindowStartPosition(const Settings& s, const QSize& screen);

}  // namespace kb
