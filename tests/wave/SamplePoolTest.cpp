#include "wave/SamplePool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <sys/resource.h>
#include <vector>

namespace {

long pageFaultsOfThisThread() {
  rusage r;
  getrusage(RUSAGE_THREAD, &r);
  return r.ru_minflt + r.ru_majflt;
}

// A size no other code asks for.
constexpr size_t kOddBytes = 3 * 4096 + 100;

} // namespace

// The render thread writes into a block for the first time when its unit
// first sounds; that write must not make the kernel map the page then.
TEST(SamplePoolTest, FreshBuffersAreMappedBeforeTheyAreWritten) {
  // 128 buffers of a size of their own, about 8 MB: four large pages where
  // the kernel has them, a thousand small ones where it has not.
  constexpr size_t kBytes = 60000;
  std::vector<float*> buffers;
  for (int i = 0; i < 128; ++i) {
    void* p = wave::SamplePool::allocate(kBytes);
    ASSERT_NE(p, nullptr);
    buffers.push_back(static_cast<float*>(p));
  }
  const long before = pageFaultsOfThisThread();
  for (float* b : buffers) {
    b[0] = 1.0f;
    b[kBytes / sizeof(float) - 1] = 1.0f;
  }
  // Left to the first writes, these took a fault per large page, or two
  // per buffer.
  EXPECT_LT(pageFaultsOfThisThread() - before, 2);
  for (float* b : buffers) wave::SamplePool::release(b, kBytes);
}

TEST(SamplePoolTest, BuffersAreAlignedApartAndZeroedWhenHandedOutAgain) {
  std::vector<unsigned char*> buffers;
  for (int i = 0; i < 3; ++i) buffers.push_back(static_cast<unsigned char*>(wave::SamplePool::allocate(kOddBytes)));
  for (size_t i = 0; i < buffers.size(); ++i) {
    ASSERT_NE(buffers[i], nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffers[i]) % 64, 0u);
    for (size_t j = 0; j < i; ++j) {
      const uintptr_t a = reinterpret_cast<uintptr_t>(buffers[i]), b = reinterpret_cast<uintptr_t>(buffers[j]);
      EXPECT_GE(a > b ? a - b : b - a, kOddBytes);
    }
    std::memset(buffers[i], 0xa5, kOddBytes);
  }
  // A buffer given back and handed out again holds zeros, whatever its last
  // user left in it.
  wave::SamplePool::release(buffers[1], kOddBytes);
  auto* again = static_cast<unsigned char*>(wave::SamplePool::allocate(kOddBytes));
  ASSERT_NE(again, nullptr);
  size_t nonZero = 0;
  for (size_t k = 0; k < kOddBytes; ++k) nonZero += again[k] != 0;
  EXPECT_EQ(nonZero, 0u);
  EXPECT_EQ(wave::SamplePool::allocate(wave::SamplePool::cLargest + 1), nullptr);
  wave::SamplePool::release(again, kOddBytes);
  wave::SamplePool::release(buffers[0], kOddBytes);
  wave::SamplePool::release(buffers[2], kOddBytes);
}
