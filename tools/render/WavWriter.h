#pragma once

// Writes a WAV file block by block: 32-bit float or 24-bit PCM, one or two
// channels (stereo is what the renderer writes), from interleaved or planar
// blocks of floats in [-1, 1].
//
//   renderio::WavWriter wav;
//   if (!wav.open("out.wav", 48000, renderio::WavWriter::Encoding::Float32)) fail(wav.error());
//   while (...) if (!wav.writeStereo(left, right, frames)) fail(wav.error());
//   if (!wav.close()) fail(wav.error());
//
// Samples that are not finite are written as 0, and for 24-bit PCM samples
// beyond [-1, 1] are clipped; both are counted so a caller can tell. After a
// failure every further write fails and close() reports it again. A RIFF file
// cannot pass 4 GiB: a write that would is refused. Writing allocates nothing
// once the file is open.
//
// The file appears at its path only when close() succeeds: until then the
// samples go to a temporary file beside it (platform/ReplacingFile.h), so a
// failed, abandoned or killed render leaves a file already at the path as it
// was, and never a file whose header does not match its samples.

#include "platform/ReplacingFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace renderio {

class WavWriter {
public:
  enum class Encoding { Float32, Pcm24 };

  WavWriter();
  ~WavWriter(); // discards a file not closed
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  // The rate must be a whole number of hertz; channels 1 or 2. A file
  // already open is discarded first.
  bool open(const std::string& path, double sampleRate, Encoding encoding, int channels = 2);
  bool isOpen() const { return mFile != nullptr; }

  // frames * channels samples, channel after channel within each frame.
  bool writeInterleaved(const float* samples, size_t frames);
  // One array of frames samples per channel.
  bool writePlanar(const float* const* channels, size_t frames);
  bool writeStereo(const float* left, const float* right, size_t frames);

  // Completes the header and puts the file at its path. False, with the
  // path left as it was, if the file could not be finished or any write
  // before failed.
  bool close();
  // Drops the file being written; the path is left as it was.
  void discard();

  // The most frames a file of this form can hold: a caller that knows its
  // length beforehand can refuse a longer one before writing anything.
  static int64_t maxFrames(Encoding encoding, int channels);

  const std::string& error() const { return mError; }
  int64_t framesWritten() const { return mFrames; }
  int64_t clippedSamples() const { return mClipped; }
  int64_t nonFiniteSamples() const { return mNonFinite; }

private:
  static constexpr size_t kChunkFrames = 1024;

  bool fail(const std::string& reason);
  bool reserve(size_t frames);
  bool flush(size_t frames);
  float clean(float x);
  bool rewriteFloatHeader();

  void* mFile = nullptr; // SNDFILE*
  platform::ReplacingFile mTarget;
  std::string mPath;
  std::string mError;
  Encoding mEncoding = Encoding::Float32;
  int mChannels = 2;
  int mSampleRate = 0;
  int64_t mFrames = 0;
  int64_t mClipped = 0;
  int64_t mNonFinite = 0;
  std::vector<float> mBuffer;
};

} // namespace renderio
