// How the window's process hands freed memory back to the system.
#pragma once

namespace tarvo {

// Every freed block of a megabyte or more goes back to the system at once. The C library
// otherwise raises its threshold for such blocks after the first one is freed, and from then
// on keeps the buffers of each photo opened and each trim in its heap, where later ones seldom
// fit: a long session then grows by tens of megabytes although nothing is leaked.
void ReturnFreedLargeBlocksToTheSystem();

}  // namespace tarvo
