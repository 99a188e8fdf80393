#include "wave/DenormalGuard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <xmmintrin.h>

namespace {

// Sets the control register for the test and puts the old one back.
class ControlState {
public:
  explicit ControlState(unsigned csr) : saved(_mm_getcsr()) { _mm_setcsr(csr); }
  ~ControlState() { _mm_setcsr(saved); }

private:
  unsigned saved;
};

float multiply(float a, float b) {
  volatile float x = a;
  volatile float y = b;
  return x * y;
}

} // namespace

TEST(DenormalGuardTest, FlushesDenormalsWhileItLivesAndRestoresTheState) {
  ControlState plain(0x1f80u); // the usual default: nothing flushed
  const float tiny = 1e-39f;   // a denormal
  ASSERT_EQ(std::fpclassify(multiply(tiny, 1.0f)), FP_SUBNORMAL);
  {
    wave::DenormalGuard guard;
    EXPECT_EQ(_mm_getcsr() & wave::DenormalGuard::cControlBits, wave::DenormalGuard::cRenderState);
    EXPECT_EQ(multiply(tiny, 1.0f), 0.0f);    // a denormal input reads as zero
    EXPECT_EQ(multiply(1e-30f, 1e-9f), 0.0f); // a denormal result is flushed
  }
  EXPECT_EQ(_mm_getcsr() & wave::DenormalGuard::cControlBits, 0x1f80u);
  EXPECT_EQ(std::fpclassify(multiply(tiny, 1.0f)), FP_SUBNORMAL);
}

TEST(DenormalGuardTest, RoundsToNearestInsideAndGivesBackTheCallersRounding) {
  ControlState down(0x1f80u | 0x2000u); // round down
  {
    wave::DenormalGuard guard;
    EXPECT_EQ(_mm_getcsr() & 0x6000u, 0u);
  }
  EXPECT_EQ(_mm_getcsr() & 0x6000u, 0x2000u);
  EXPECT_EQ(_mm_getcsr() & wave::DenormalGuard::cControlBits, 0x1f80u | 0x2000u);
}

TEST(DenormalGuardTest, NestedGuardsRestoreOnlyWhatTheyChanged) {
  ControlState plain(0x1f80u);
  {
    wave::DenormalGuard outer;
    {
      wave::DenormalGuard inner;
      EXPECT_EQ(_mm_getcsr() & wave::DenormalGuard::cControlBits, wave::DenormalGuard::cRenderState);
    }
    // The inner one found the render state and leaves it on.
    EXPECT_EQ(_mm_getcsr() & wave::DenormalGuard::cControlBits, wave::DenormalGuard::cRenderState);
  }
  EXPECT_EQ(_mm_getcsr() & wave::DenormalGuard::cControlBits, 0x1f80u);
}
