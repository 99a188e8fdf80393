// Host-drawn views draw shapes, pictures and icons through the drawing
// port: a shape far larger than the port must cost what shows of it, not
// its nominal size.

#include "platform/DrawPort.h"
#include "platform/PortPicture.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

const platform::PortRect kHuge{-32768, -32768, 32767, 32767};

void BM_HugeOvalInSmallPort(benchmark::State& state) {
  platform::DrawPort port(320, 200);
  port.setForeColor({0xFFFF, 0, 0});
  for (auto _ : state) {
    port.paintOval(kHuge);
    port.frameOval(kHuge);
    benchmark::DoNotOptimize(port.pixels());
  }
}
BENCHMARK(BM_HugeOvalInSmallPort);

void BM_HugePictureAndIconInSmallPort(benchmark::State& state) {
  platform::DrawPort port(320, 200);
  const platform::PortPicture picture(4, 4, std::vector<uint8_t>(64, 200));
  const std::vector<uint8_t> icon(128, 0xA5);
  for (auto _ : state) {
    port.drawPicture(picture, kHuge);
    port.plotIcon(kHuge, icon.data());
    benchmark::DoNotOptimize(port.pixels());
  }
}
BENCHMARK(BM_HugePictureAndIconInSmallPort);

} // namespace
