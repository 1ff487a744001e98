#include "FreedMemory.h"

// Any C library header says which library this is.
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tarvo {

void ReturnFreedLargeBlocksToTheSystem() {
#if defined(__GLIBC__)
  // A fixed threshold also turns glibc's adjustment of it off.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}

}  // namespace tarvo
