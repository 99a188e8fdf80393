#pragma once

// Aligned memory, byte order and atomic counters.

// Zero-filled block whose address is a multiple of 16; null when memory is
// exhausted. A size of 0 gives a valid block. Free with freeAlignedMem.
void* allocAlignedMem(int size);
void freeAlignedMem(void* p);

int swapByteOrder(int v);
// Between big-endian (network) order and the machine's (little-endian) order.
int convertNetworkByteOrder(int v);
// Between little-endian order and the machine's order: unchanged.
int convertIntelByteOrder(int v);

// Full-barrier read-modify-write operations on a 32-bit int.
bool atomicCompareAndSwap(volatile int* p, int expected, int desired);
int atomicIncrement(volatile int* p); // the new value
int atomicDecrement(volatile int* p); // the new value
