// The command line's dry run: the configuration read without changing
// anything, every switched-on rule previewed, and the previews printed as
// text for a person or as JSON lines for a script.
#pragma once

#include <iosfwd>
#include <vector>

#include "cli/commandline.h"
#include "engine/dryrun.h"

namespace kb {

// Reads the configuration `command` names (or the usual one), previews its
// rules and prints them to `out`; problems go to `err`. Writes nothing,
// takes no guard and starts nothing. Returns the exit status: 0, or 1 when
// the configuration file cannot be read at all.
int RunDryRun(const CommandLine& command, std::ostream& out, std::ostream& err);

// The previews for a person: each service once, then its rules.
void PrintDryRunText(const std::vector<RulePreview>& previews, std::ostream& out);

// One JSON object per rule, one per line.
void PrintDryRunJson(const std::vector<RulePreview>& previews, std::ostream& out);

}  // namespace kb
