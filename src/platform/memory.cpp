#include "memory.h"

#include <QtGlobal>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace lumetra {

void returnLargeBlocksToTheSystem() {
#if defined(__GLIBC__)
    // Blocks of 1 MB and more are mapped on their own and unmapped when freed.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
#endif
}

} // namespace lumetra
