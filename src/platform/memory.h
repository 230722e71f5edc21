#pragma once

namespace lumetra {

// Large blocks (a full ring's trace, its times, a list's cells) go back to the system when
// they are freed. The C library otherwise raises its threshold for that after the first such
// block is freed, and a program that rebuilds a 14 MB trace on every switch of axis would
// keep each old one in its heap.
void returnLargeBlocksToTheSystem();

} // namespace lumetra
