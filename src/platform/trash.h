// Deleting to the Trash, so that a rule's delete can be taken back: on Linux
// the freedesktop Trash (the home trash, or a volume's own .Trash-<uid>),
// written by GIO with the .trashinfo the desktop's trash reads, so either can
// restore the file; on Windows the Recycle Bin.
#pragma once

#include <string>

#include "platform/status.h"

namespace kb {

struct TrashResult : Status {
    TrashResult(Status st, std::string where = {})
        : Status(std::move(st)), location(std::move(where)) {}
    // Where the file now lies in the trash; "" when the system does not say
    // (the Recycle Bin).
    std::string location;
};

// Moves the file (or link) `path` to the Trash; a folder too, whole, when
// `folders`, else a folder fails. So does a file on a volume that has no
// trash: it then stays where it is and the error says why. Never deletes
// anything for good.
TrashResult MoveToTrash(const std::string& path, bool folders = false);

// Puts the file that MoveToTrash left at `location` back at `original`, and
// takes its entry out of the trash. Refuses when something stands at
// `original`, or when the file is no longer in the trash.
Status RestoreFromTrash(const std::string& location, const std::string& original);

}  // namespace kb
