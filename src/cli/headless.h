// The program without a window, for a machine without a desktop: the same
// guard, settings, configuration, scan passes and journal as the window,
// with what the window would show written to standard output (what the
// rules did) and standard error (warnings and failures). SIGTERM and SIGINT
// end it once the file in hand is finished.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/commandline.h"
#include "engine/scanpass.h"

namespace kb {

// Runs until asked to end; returns the exit status. Needs no display: only
// a core application object is made.
int RunHeadless(int argc, char** argv, const CommandLine& command);

}  // namespace kb
