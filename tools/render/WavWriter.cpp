#include "tools/render/WavWriter.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>

namespace renderio {

namespace {

// Room left in a RIFF file's 32-bit sizes for the header and the peak chunk
// that come with the sample data.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 4096;

SNDFILE* handle(void* p) { return static_cast<SNDFILE*>(p); }

} // namespace

WavWriter::WavWriter() = default;

WavWriter::~WavWriter() { discard(); }

bool WavWriter::fail(const std::string& reason) {
  if (mError.empty()) mError = mPath.empty() ? reason : mPath + ": " + reason;
  return false;
}

bool WavWriter::open(const std::string& path, double sampleRate, Encoding encoding, int channels) {
  if (mFile) discard();
  mPath = path;
  mError.clear();
  mFrames = mClipped = mNonFinite = 0;
  if (channels != 1 && channels != 2) return fail("a WAV file here has 1 or 2 channels, not " + std::to_string(channels));
  if (!(sampleRate >= 1.0 && sampleRate <= 1e6) || sampleRate != std::floor(sampleRate))
    return fail("sample rate " + std::to_string(sampleRate) + " is not a whole number of hertz up to 1 MHz");

  SF_INFO info{};
  info.samplerate = static_cast<int>(sampleRate);
  info.channels = channels;
  info.format = SF_FORMAT_WAV | (encoding == Encoding::Float32 ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_24);
  if (!mTarget.create(path)) {
    mError = mTarget.error();
    return false;
  }
  SNDFILE* file = sf_open_fd(mTarget.descriptor(), SFM_WRITE, &info, SF_FALSE);
  if (!file) {
    mTarget.discard();
    return fail(std::string("cannot write the file: ") + sf_strerror(nullptr));
  }
  // Samples are clamped to [-1, 1] before they get here; the library clips
  // too, so that its own scaling to 24 bits can never overflow and wrap.
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  // No PEAK chunk: it carries a time stamp, and two renders of the same
  // samples must give the same file.
  sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
  mFile = file;
  mEncoding = encoding;
  mChannels = channels;
  mBuffer.assign(kChunkFrames * size_t(channels), 0.0f);
  return true;
}

float WavWriter::clean(float x) {
  if (!std::isfinite(x)) {
    ++mNonFinite;
    return 0.0f;
  }
  if (mEncoding == Encoding::Pcm24 && (x > 1.0f || x < -1.0f)) {
    ++mClipped;
    return x > 0.0f ? 1.0f : -1.0f;
  }
  return x;
}

bool WavWriter::reserve(size_t frames) {
  if (!mError.empty()) return false;
  if (!mFile) return fail("the file is not open");
  uint64_t bytesPerFrame = uint64_t(mChannels) * (mEncoding == Encoding::Float32 ? 4 : 3);
  uint64_t limitFrames = kMaxDataBytes / bytesPerFrame;
  if (frames > limitFrames || uint64_t(mFrames) + frames > limitFrames) return fail("a WAV file cannot pass 4 GiB");
  return true;
}

bool WavWriter::flush(size_t frames) {
  sf_count_t written = sf_writef_float(handle(mFile), mBuffer.data(), static_cast<sf_count_t>(frames));
  if (written != static_cast<sf_count_t>(frames))
    return fail(std::string("write failed: ") + sf_strerror(handle(mFile)));
  mFrames += written;
  return true;
}

bool WavWriter::writeInterleaved(const float* samples, size_t frames) {
  if (!reserve(frames)) return false;
  size_t channels = size_t(mChannels);
  for (size_t done = 0; done < frames;) {
    size_t n = std::min(kChunkFrames, frames - done);
    const float* in = samples + done * channels;
    for (size_t i = 0; i < n * channels; ++i) mBuffer[i] = clean(in[i]);
    if (!flush(n)) return false;
    done += n;
  }
  return true;
}

bool WavWriter::writePlanar(const float* const* planes, size_t frames) {
  if (!reserve(frames)) return false;
  size_t channels = size_t(mChannels);
  for (size_t done = 0; done < frames;) {
    size_t n = std::min(kChunkFrames, frames - done);
    for (size_t c = 0; c < channels; ++c) {
      const float* in = planes[c] + done;
      for (size_t i = 0; i < n; ++i) mBuffer[i * channels + c] = clean(in[i]);
    }
    if (!flush(n)) return false;
    done += n;
  }
  return true;
}

bool WavWriter::writeStereo(const float* left, const float* right, size_t frames) {
  if (mFile && mChannels != 2) return fail("the file is not stereo");
  const float* planes[2] = {left, right};
  return writePlanar(planes, frames);
}

bool WavWriter::close() {
  if (!mFile) return mError.empty() ? fail("the file is not open") : false;
  // The header's sizes are written now; a failure here leaves a broken file.
  int status = sf_close(handle(mFile));
  mFile = nullptr;
  if (status != 0) fail(std::string("cannot finish the file: ") + sf_error_number(status));
  if (!mError.empty()) {
    mTarget.discard();
    return false;
  }
  if (!mTarget.commit()) {
    mError = mTarget.error();
    return false;
  }
  return true;
}

void WavWriter::discard() {
  if (mFile) sf_close(handle(mFile));
  mFile = nullptr;
  mTarget.discard();
}

} // namespace renderio
