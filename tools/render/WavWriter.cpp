#include "tools/render/WavWriter.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace renderio {

namespace {

// Room left in a RIFF file's 32-bit sizes for the header and the peak chunk
// that come with the sample data.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 4096;

SNDFILE* handle(void* p) { return static_cast<SNDFILE*>(p); }

void putLE(unsigned char* at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint32_t getLE32(const unsigned char* at) {
  return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

} // namespace

// The library writes a float file's format chunk in the 16-byte form of
// PCM files. A file whose samples are not PCM carries the extended form
// (18 bytes, the last two the size of an extension, here none) and a fact
// chunk with its length in frames; readers that follow the format warn
// otherwise. The header is written again in that form, in the room the
// library left before the data (it pads its header), so the samples stay
// where they are.
bool WavWriter::rewriteFloatHeader() {
  const int fd = mTarget.descriptor();
  unsigned char head[512];
  const ssize_t got = ::pread(fd, head, sizeof head, 0);
  if (got < 12 || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
    return fail("cannot finish the file: its header cannot be read back");
  // The data chunk's place: the chunks before it are walked by their sizes.
  size_t data = 12;
  while (data + 8 <= size_t(got) && std::memcmp(head + data, "data", 4) != 0)
    data += 8 + ((size_t(getLE32(head + data + 4)) + 1) & ~size_t(1));
  constexpr size_t kFmt = 12, kFact = kFmt + 8 + 18, kEnd = kFact + 8 + 4;
  if (data + 8 > size_t(got) || (data != kEnd && data < kEnd + 8))
    return fail("cannot finish the file: its header leaves no room for the float format");
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_size < off_t(data + 8) || uint64_t(st.st_size) - 8 > 0xFFFFFFFFull)
    return fail("cannot finish the file: its size cannot be read");

  std::memset(head, 0, data);
  std::memcpy(head, "RIFF", 4);
  putLE(head + 4, static_cast<uint32_t>(st.st_size - 8), 4);
  std::memcpy(head + 8, "WAVE", 4);
  unsigned char* fmt = head + kFmt;
  std::memcpy(fmt, "fmt ", 4);
  putLE(fmt + 4, 18, 4);
  putLE(fmt + 8, 3, 2); // IEEE float
  putLE(fmt + 10, static_cast<uint32_t>(mChannels), 2);
  putLE(fmt + 12, static_cast<uint32_t>(mSampleRate), 4);
  putLE(fmt + 16, static_cast<uint32_t>(mSampleRate * mChannels * 4), 4);
  putLE(fmt + 20, static_cast<uint32_t>(mChannels * 4), 2);
  putLE(fmt + 22, 32, 2);
  putLE(fmt + 24, 0, 2); // no extension
  unsigned char* fact = head + kFact;
  std::memcpy(fact, "fact", 4);
  putLE(fact + 4, 4, 4);
  putLE(fact + 8, static_cast<uint32_t>(mFrames), 4);
  if (data > kEnd) {
    // The rest of the room is a chunk readers skip.
    std::memcpy(head + kEnd, "PAD ", 4);
    putLE(head + kEnd + 4, static_cast<uint32_t>(data - kEnd - 8), 4);
  }
  if (::pwrite(fd, head, data, 0) != ssize_t(data)) return fail("cannot finish the file: its header was not written");
  return true;
}

int64_t WavWriter::maxFrames(Encoding encoding, int channels) {
  const uint64_t bytesPerFrame = uint64_t(std::max(channels, 1)) * (encoding == Encoding::Float32 ? 4 : 3);
  return static_cast<int64_t>(kMaxDataBytes / bytesPerFrame);
}

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
  mSampleRate = info.samplerate;
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
  const uint64_t limitFrames = static_cast<uint64_t>(maxFrames(mEncoding, mChannels));
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
  if (mError.empty() && mEncoding == Encoding::Float32) rewriteFloatHeader();
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
