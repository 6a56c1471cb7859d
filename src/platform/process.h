// Starting other programs for the launch action: never through a shell (every
// argument reaches the program exactly as given), never waited for, and never
// left behind as a zombie.
#pragma once

#include <string>
#include <vector>

#include "platform/status.h"

namespace kb {

// Starts the executable `path` with `args` (argument 1 onwards) in its own
// session, stdin from the null device. Returns once the program has been
// started, or with the reason it could not be.
Status StartDetached(const std::string& path, const std::vector<std::string>& args);

// The desktop's "open": when `target` is an executable file (a path, or a
// bare name found on the search path) it is started with `args`; anything else
// is a document or address handed to `opener` (the desktop's default handler,
// xdg-open when empty) as its one argument; `args` then do not apply.
Status OpenProgramOrDocument(const std::string& target, const std::vector<std::string>& args,
                             const std::string& opener = "");

// True while a process with this id exists (another user's included).
bool ProcessIsAlive(long pid);

// This process's id.
long CurrentProcessId();

}  // namespace kb
