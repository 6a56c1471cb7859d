#include <malloc.h>

#include "platform/memory.h"

namespace kb {

void TrimWorkingSet() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

bool IsWinNT() {
#ifdef __GLIBC__
    return true;
#else
    return false;
#endif
}

}  // namespace kb
