// The rules without the window: --rules prints them as the window shows
// them, --export-rules writes them as a rule file and --import-rules makes a
// rule file the rules of kbconf.ini.
#pragma once

#include <iosfwd>

#include "cli/commandline.h"

namespace kb {

// Each returns the exit status: 0 done; 1 a file could not be read or
// written, or (import) the rule file has errors, each printed as
// "FILE:LINE:COLUMN: what is wrong" with nothing changed.
int PrintRules(const CommandLine& command, std::ostream& out, std::ostream& err);
int ExportRules(const CommandLine& command, std::ostream& out, std::ostream& err);
int ImportRules(const CommandLine& command, std::ostream& out, std::ostream& err);

}  // namespace kb
