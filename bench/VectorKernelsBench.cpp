// The block arithmetic kernels, four-lane form against scalar form, on a
// block of the synthesizer's maximum size and on a 32-sample render quantum.
// Items are samples: the figure is samples per second.

#include "wave/VectorKernels.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr int kBlock = 1024;

struct alignas(16) Arrays {
  float a[kBlock], b[kBlock], c[kBlock], d[kBlock], out[kBlock], out2[kBlock];
  Arrays() {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    for (int i = 0; i < kBlock; ++i) {
      a[i] = dist(rng);
      b[i] = dist(rng);
      c[i] = dist(rng);
      d[i] = dist(rng);
    }
  }
};

Arrays& arrays() {
  static Arrays instance;
  return instance;
}

template <typename Run>
void runKernel(benchmark::State& state, Run run) {
  Arrays& x = arrays();
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    run(x, n);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

#define KERNEL_BENCH(NAME, CALL)                                                                              \
  void BM_##NAME(benchmark::State& state) {                                                                   \
    runKernel(state, [](Arrays& x, int n) { CALL; });                                                         \
  }                                                                                                           \
  BENCHMARK(BM_##NAME)->Arg(32)->Arg(kBlock)

KERNEL_BENCH(vectorMultiplyFast, vectorMultiplyFast(x.a, x.b, x.out, n));
KERNEL_BENCH(vectorMultiplyCpp, vectorMultiplyCpp(x.a, x.b, x.out, n));
KERNEL_BENCH(vectorMulAddFast, vectorMulAddFast(x.a, x.b, x.c, x.out, n));
KERNEL_BENCH(vectorMulAddCpp, vectorMulAddCpp(x.a, x.b, x.c, x.out, n));
KERNEL_BENCH(vectorMulSAddFast, vectorMulSAddFast(x.a, 0.5f, x.b, x.out, n));
KERNEL_BENCH(vectorMulSAddCpp, vectorMulSAddCpp(x.a, 0.5f, x.b, x.out, n));
KERNEL_BENCH(vectorMultiply3Fast, vectorMultiply3Fast(x.a, x.b, x.c, x.out, n));
KERNEL_BENCH(vectorMultiply3Cpp, vectorMultiply3Cpp(x.a, x.b, x.c, x.out, n));
KERNEL_BENCH(vectorMul3AddFast, vectorMul3AddFast(x.a, x.b, x.c, x.d, x.out, n));
KERNEL_BENCH(vectorMul3AddCpp, vectorMul3AddCpp(x.a, x.b, x.c, x.d, x.out, n));
KERNEL_BENCH(vectorAddMulAddFast, vectorAddMulAddFast(x.a, x.b, x.c, x.d, x.out, n));
KERNEL_BENCH(vectorAddMulAddCpp, vectorAddMulAddCpp(x.a, x.b, x.c, x.d, x.out, n));
KERNEL_BENCH(vectorLimitFast, vectorLimitFast(x.a, -0.5f, 0.5f, x.out, n));
KERNEL_BENCH(vectorLimitCpp, vectorLimitCpp(x.a, -0.5f, 0.5f, x.out, n));
KERNEL_BENCH(vectorAbsMaxFast, vectorAbsMaxFast(x.a, x.b, x.out, n));
KERNEL_BENCH(vectorAbsMaxCpp, vectorAbsMaxCpp(x.a, x.b, x.out, n));
KERNEL_BENCH(vectorLevelPanVolumeFast, vectorLevelPanVolumeFast(x.a, x.b, x.out, x.out2, n));
KERNEL_BENCH(vectorLevelPanVolumeCpp, vectorLevelPanVolumeCpp(x.a, x.b, x.out, x.out2, n));
KERNEL_BENCH(vectorMul2MulSAddFast, vectorMul2MulSAddFast(x.a, x.b, 0.5f, x.c, x.out, n));
KERNEL_BENCH(vectorMul2MulSAddCpp, vectorMul2MulSAddCpp(x.a, x.b, 0.5f, x.c, x.out, n));

} // namespace
