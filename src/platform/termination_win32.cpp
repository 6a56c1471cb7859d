#include "platform/termination.h"

namespace kb {

// Windows ends a desktop program through the session-end messages, which the
// window handles; there is no signal to catch.
int WatchTerminationRequests() { return -1; }

bool TakeTerminationRequest(int) { return false; }

int WatchReloadRequests() { return -1; }

}  // namespace kb
