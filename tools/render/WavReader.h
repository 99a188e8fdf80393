#pragma once

// Reads a whole audio file (any format the sound file library knows, WAV
// above all) into interleaved floats, to check what a renderer wrote.

#include <cstdint>
#include <string>
#include <vector>

namespace renderio {

struct WavData {
  int sampleRate = 0;
  int channels = 0;
  int64_t frames = 0;
  bool isFloat = false;   // 32-bit float samples, else integer PCM
  int bitsPerSample = 0;  // 32 for float; 8, 16, 24 or 32 for PCM; 0 otherwise
  std::vector<float> samples; // frames * channels, interleaved; PCM scaled to [-1, 1)

  float at(int64_t frame, int channel) const { return samples[size_t(frame) * size_t(channels) + size_t(channel)]; }
};

class WavReader {
public:
  // Files with more samples than this are refused.
  static constexpr int64_t kMaxSamples = int64_t(1) << 28;

  // False with a one-line reason in error() when the file cannot be read.
  bool read(const std::string& path, WavData& out);
  const std::string& error() const { return mError; }

private:
  std::string mError;
};

} // namespace renderio
