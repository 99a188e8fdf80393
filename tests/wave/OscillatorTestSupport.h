#pragma once

// Helpers shared by the oscillator tests: a style customized by the
// synthesizer's own call whose cache lives in a temporary folder, a block-wise
// renderer, and a control producer whose samples a test writes.

#include "synth/ZarnOscillatorShape.h"
#include "tests/support/TempDir.h"
#include "wave/Environment.h"
#include "wave/Oscillator.h"
#include "wave/OscillatorStyle.h"
#include "wave/Producer.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace osctest {

using Shape = zarn::OscillatorShape;
constexpr float cSynthTriangle[3] = {Shape::cTriangleLevel, Shape::cTriangleBrightness, Shape::cTriangleSawAmount};
constexpr float cSynthSawtooth = Shape::cSawtoothLevel;
constexpr float cSynthSquare[2] = {Shape::cSquareLevel, Shape::cSquarePulseShare};
constexpr float cSynthNoise = Shape::cNoiseLevel;

// Customized by the synthesizer's own call, then the pulse share and the
// noise floor as asked: the floor is off unless asked for, so that
// measurements see the wave alone. Not initialized.
inline std::unique_ptr<Oscillator::Style> makeStyle(float pulseShare = cSynthSquare[1], float background = 0.0f) {
  auto style = std::make_unique<Oscillator::Style>();
  zarn::customizeOscillatorStyle(*style);
  style->customizeSquare(style->squareLevel, pulseShare);
  style->customizeNoise(style->noiseLevel, background);
  return style;
}

// A style with its tables, built into (or read from) a cache in a
// temporary folder of its own.
struct BuiltStyle {
  explicit BuiltStyle(float pulseShare = cSynthSquare[1], float background = 0.0f)
      : folder("zarn-osc"), style(makeStyle(pulseShare, background)) {
    style->initialize(folder.file("Zarn.dat"));
  }
  zarn::test::TempDir folder;
  std::unique_ptr<Oscillator::Style> style;
};

inline float noteToPitch(int note) { return std::log2(440.0f) + (static_cast<float>(note) - 69.0f) / 12.0f; }

inline double noteToHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

// Renders n samples, blockSize at a time, as the graph would.
inline std::vector<float> render(wave::Environment& env, wave::Producer& p, int n, int blockSize = 64) {
  std::vector<float> out;
  out.reserve(static_cast<size_t>(n));
  for (int done = 0; done < n;) {
    const int k = std::min(blockSize, n - done);
    env.beginBlock();
    wave::Block* b = p.pull(k);
    out.insert(out.end(), b->data, b->data + k);
    env.endBlock(k);
    done += k;
  }
  return out;
}

// Hands out the next samples of values (the last one repeated once they
// run out), claiming a constant block when told to.
class ControlSignal : public wave::Source {
public:
  ControlSignal(wave::Environment* env, std::vector<float> values, bool claimConstant = false)
      : wave::Source(env), values(std::move(values)), claimConstant(claimConstant) {}
  void produce(wave::Block* block, int n, int flags) override {
    if (flags & wave::cMuteCall) return;
    for (int i = 0; i < n; ++i) {
      size_t k = std::min(position + static_cast<size_t>(i), values.size() - 1);
      block->data[i] = values[k];
    }
    position += static_cast<size_t>(n);
    constantBlock = claimConstant;
  }
  std::vector<float> values;
  bool claimConstant;
  size_t position = 0;
};

inline void setNow(wave::FloatParameterBus& bus, float value) { bus.getParameter().setInterpolated(value, 0.0f); }

} // namespace osctest
