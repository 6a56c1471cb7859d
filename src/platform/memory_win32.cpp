#include <windows.h>

#include "platform/memory.h"

namespace kb {

void TrimWorkingSet() {
    HANDLE h = OpenProcess(PROCESS_ALL_ACCESS, FALSE, GetCurrentProcessId());
    if (!h) return;
    SetProcessWorkingSetSize(h, static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
    CloseHandle(h);
}

// Every Windows this program builds for belongs to the NT family.
bool IsWinNT() { return true; }

}  // namespace kb
