// Whole-file replacement that never leaves a half-written file behind: the
// new contents go to a temporary file beside the target, reach the disk, and
// only then take the target's name in one rename.
#pragma once

#include <cstddef>
#include <string>

#include "platform/status.h"

namespace kb {

// Writes `bytes` to a temporary file in path's directory, flushes it to
// disk, renames it over `path`. On any failure the old file is untouched, the
// temporary file removed, and the error is the system's message. ownerOnly:
// readable and writable by this user only.
Status WriteFileAtomically(const std::string& path, const std::string& bytes, bool ownerOnly);

// Removes the temporary files that WriteFileAtomically(path, ...) left beside
// `path` when its process was killed in the middle of a save: those named
// "<file name>.<process id>.<tag>.tmp" whose process no longer runs (or is
// this one: an earlier run with the same id). Returns how many it removed.
int RemoveAtomicWriteLeftovers(const std::string& path);

// For tests only: makes the next WriteFileAtomically fail once it has put
// `afterBytes` bytes into its temporary file, as a full disk would. The fault
// is used up by that one call; a negative value clears a pending fault.
void InjectAtomicWriteFaultForTests(long long afterBytes);

}  // namespace kb
