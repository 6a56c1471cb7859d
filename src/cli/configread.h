// kbconf.ini as the commands without a window read it: the same file the
// window would use, and a damaged one refused in one way by all of them.
#pragma once

#include <iosfwd>
#include <string>

#include "cli/commandline.h"
#include "store/servicetable.h"

namespace kb {

// The kbconf.ini a command works on: --config, or the one the window would find.
std::string ConfigPathOf(const CommandLine& command);

enum class TableRead {
    Missing,  // there is no file yet: the built-in table
    Clean,    // read through without a warning
    Refused,  // damaged or unreadable: said on `err`, nothing may be changed
};

// Reads `path` over the built-in table. Each problem goes to `err` as
// "kestrelbox: PATH:LINE: what", then one line saying the file is not used.
TableRead ReadTableForCommand(const std::string& path, ServiceStore& store, std::ostream& err);

}  // namespace kb
