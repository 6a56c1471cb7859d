// Giving memory back to the system while the program sits hidden in the tray.
#pragma once

namespace kb {

// Returns as much of the process's unused memory to the system as it can.
void TrimWorkingSet();

// True when TrimWorkingSet has an effect on this system (the NT family on
// Windows; glibc's allocator on Linux).
bool IsWinNT();

}  // namespace kb
