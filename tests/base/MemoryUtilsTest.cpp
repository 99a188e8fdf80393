#include "base/MemoryUtils.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

TEST(MemoryUtilsTest, AlignedBlocksAreZeroedAlignedAndFreeable) {
  std::vector<void*> blocks;
  for (int size : {0, 1, 3, 15, 16, 17, 100, 4096, 65537}) {
    unsigned char* p = static_cast<unsigned char*>(allocAlignedMem(size));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u) << size;
    for (int i = 0; i < size; ++i) ASSERT_EQ(p[i], 0) << size;
    // The whole block is writable (AddressSanitizer checks the bounds).
    std::memset(p, 0xAB, static_cast<size_t>(size));
    blocks.push_back(p);
  }
  for (void* p : blocks) freeAlignedMem(p);
  freeAlignedMem(nullptr);
  EXPECT_EQ(allocAlignedMem(-1), nullptr);
}

TEST(MemoryUtilsTest, ByteOrder) {
  EXPECT_EQ(swapByteOrder(0x11223344), 0x44332211);
  EXPECT_EQ(convertNetworkByteOrder(0x01020304), 0x04030201);
  EXPECT_EQ(convertIntelByteOrder(0x01020304), 0x01020304);
  EXPECT_EQ(swapByteOrder(swapByteOrder(-123456)), -123456);
}

TEST(MemoryUtilsThreadTest, AtomicCountersAreExactUnderContention) {
  volatile int counter = 0;
  volatile int cas = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        atomicIncrement(&counter);
        int seen;
        do {
          seen = __atomic_load_n(const_cast<int*>(&cas), __ATOMIC_SEQ_CST);
        } while (!atomicCompareAndSwap(&cas, seen, seen + 2));
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 80000);
  EXPECT_EQ(cas, 160000);
  EXPECT_EQ(atomicDecrement(&counter), 79999);
  EXPECT_FALSE(atomicCompareAndSwap(&counter, 5, 6));
  EXPECT_EQ(counter, 79999);
}
