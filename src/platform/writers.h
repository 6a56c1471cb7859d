// Whether a file is still open for writing somewhere: the completion gate's
// strongest test that a download has ended, where the system can tell.
#pragma once

#include <string>

namespace kb {

enum class WriterState {
    None,     // no process holds the file open for writing
    Open,     // some process does
    Unknown,  // the system cannot tell for this file (another user's, a network
              // file system, not a regular file); rely on other signs
};

// Asks without getting in the way: on Linux a read lease taken and released
// at once on a non-blocking read-only descriptor; on Windows an open that
// refuses to share write access. Never blocks, never changes the file.
WriterState ProbeWriters(const std::string& path);

}  // namespace kb
