// A request from outside to end the program (SIGTERM, or Ctrl+C in a
// terminal), delivered to the GUI's event loop instead of killing the
// process, so it can save its settings and end cleanly.
#pragma once

namespace kb {

// Starts catching the termination signals. Returns a descriptor that becomes
// readable each time one arrives (read and discard one byte per request), or
// -1 when the system has no such signals. Later calls return the same one.
int WatchTerminationRequests();

// Reads one pending request from the descriptor; returns false when there was none.
bool TakeTerminationRequest(int fd);

// Starts catching the request to read the configuration again (SIGHUP), in
// the same way: a descriptor readable once per request, -1 where the system
// has no such signal. TakeTerminationRequest reads its requests too.
int WatchReloadRequests();

}  // namespace kb
