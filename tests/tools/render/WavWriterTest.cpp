#include "tools/render/WavReader.h"
#include "tools/render/WavWriter.h"

#include "tests/support/AllocationCounter.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <csignal>
#include <filesystem>
#include <limits>
#include <sys/resource.h>
#include <vector>

using renderio::WavData;
using renderio::WavReader;
using renderio::WavWriter;
using Encoding = renderio::WavWriter::Encoding;

namespace {

// A test signal with a different sound on each channel.
float signal(int channel, size_t frame) {
  double t = double(frame) / 48000.0;
  return channel == 0 ? float(0.8 * std::sin(2 * M_PI * 441.0 * t)) : float(0.5 * std::cos(2 * M_PI * 97.0 * t) - 0.25);
}

WavData readBack(const std::string& path) {
  WavData data;
  WavReader reader;
  EXPECT_TRUE(reader.read(path, data)) << reader.error();
  return data;
}

} // namespace

TEST(WavWriterTest, FloatFileHoldsExactlyWhatWasWrittenInterleaved) {
  zarn::test::TempDir dir;
  WavWriter wav;
  ASSERT_TRUE(wav.open(dir.file("out.wav"), 48000, Encoding::Float32)) << wav.error();
  // Blocks of odd sizes, one longer than the writer's own chunk.
  std::vector<float> expected;
  size_t frame = 0;
  for (size_t block : {size_t(1000), size_t(1), size_t(3000), size_t(77)}) {
    std::vector<float> interleaved;
    for (size_t i = 0; i < block; ++i, ++frame)
      for (int c = 0; c < 2; ++c) interleaved.push_back(signal(c, frame));
    if (frame > 4000) interleaved[0] = 1.5f; // float files carry values past full scale
    ASSERT_TRUE(wav.writeInterleaved(interleaved.data(), block)) << wav.error();
    expected.insert(expected.end(), interleaved.begin(), interleaved.end());
  }
  EXPECT_EQ(wav.framesWritten(), 4078);
  ASSERT_TRUE(wav.close()) << wav.error();
  EXPECT_FALSE(wav.isOpen());

  WavData data = readBack(dir.file("out.wav"));
  EXPECT_EQ(data.sampleRate, 48000);
  EXPECT_EQ(data.channels, 2);
  EXPECT_TRUE(data.isFloat);
  EXPECT_EQ(data.bitsPerSample, 32);
  ASSERT_EQ(data.frames, 4078);
  EXPECT_EQ(data.samples, expected);
  EXPECT_EQ(data.at(4001, 0), 1.5f);
  EXPECT_EQ(wav.clippedSamples(), 0);
  // No PEAK chunk: it holds the time of writing, and two renders of one song
  // must give the same file.
  EXPECT_EQ(dir.read("out.wav").find("PEAK"), std::string::npos);
}

TEST(WavWriterTest, Pcm24FileMatchesWithinItsPrecisionAndClips) {
  zarn::test::TempDir dir;
  WavWriter wav;
  ASSERT_TRUE(wav.open(dir.file("out.wav"), 44100, Encoding::Pcm24)) << wav.error();
  const size_t frames = 2500;
  std::vector<float> left(frames), right(frames);
  for (size_t i = 0; i < frames; ++i) {
    left[i] = signal(0, i);
    right[i] = signal(1, i);
  }
  // Full scale and beyond: 1.0 must not wrap round to the negative end.
  left[10] = 1.0f;
  left[11] = 1.5f;
  left[12] = -1.0f;
  right[12] = -7.0f;
  ASSERT_TRUE(wav.writeStereo(left.data(), right.data(), 1500)) << wav.error();
  const float* planes[2] = {left.data() + 1500, right.data() + 1500};
  ASSERT_TRUE(wav.writePlanar(planes, frames - 1500)) << wav.error();
  EXPECT_EQ(wav.clippedSamples(), 2);
  ASSERT_TRUE(wav.close()) << wav.error();

  WavData data = readBack(dir.file("out.wav"));
  EXPECT_EQ(data.sampleRate, 44100);
  EXPECT_FALSE(data.isFloat);
  EXPECT_EQ(data.bitsPerSample, 24);
  ASSERT_EQ(data.frames, int64_t(frames));
  const float step = 1.0f / 8388608.0f;
  for (size_t i = 0; i < frames; ++i) {
    if (i == 11 || i == 12) continue;
    ASSERT_NEAR(data.at(int64_t(i), 0), left[i], 1.5f * step) << i;
    ASSERT_NEAR(data.at(int64_t(i), 1), right[i], 1.5f * step) << i;
  }
  EXPECT_NEAR(data.at(11, 0), 1.0f, 1.5f * step);
  EXPECT_NEAR(data.at(12, 1), -1.0f, 1.5f * step);
}

TEST(WavWriterTest, WritesNonFiniteSamplesAsSilenceAndCountsThem) {
  zarn::test::TempDir dir;
  for (Encoding encoding : {Encoding::Float32, Encoding::Pcm24}) {
    WavWriter wav;
    ASSERT_TRUE(wav.open(dir.file("out.wav"), 48000, encoding, 1)) << wav.error();
    float mono[4] = {0.25f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                     -std::numeric_limits<float>::infinity()};
    ASSERT_TRUE(wav.writeInterleaved(mono, 4));
    EXPECT_EQ(wav.nonFiniteSamples(), 3);
    EXPECT_EQ(wav.clippedSamples(), 0);
    ASSERT_TRUE(wav.close());
    WavData data = readBack(dir.file("out.wav"));
    EXPECT_EQ(data.channels, 1);
    ASSERT_EQ(data.samples.size(), 4u);
    EXPECT_NEAR(data.samples[0], 0.25f, 1e-6f);
    EXPECT_EQ(data.samples[1], 0.0f);
    EXPECT_EQ(data.samples[2], 0.0f);
    EXPECT_EQ(data.samples[3], 0.0f);
  }
}

TEST(WavWriterTest, WritingAllocatesNothing) {
  zarn::test::TempDir dir;
  WavWriter wav;
  ASSERT_TRUE(wav.open(dir.file("out.wav"), 48000, Encoding::Pcm24));
  std::vector<float> left(5000, 0.5f), right(5000, -0.5f), both(10000, 0.25f);
  zarn::test::AllocationCounter counter;
  bool ok = wav.writeStereo(left.data(), right.data(), 5000) && wav.writeInterleaved(both.data(), 5000);
  long allocations = counter.count();
  EXPECT_TRUE(ok) << wav.error();
  EXPECT_EQ(allocations, 0);
}

TEST(WavWriterTest, RefusesWhatItCannotWrite) {
  zarn::test::TempDir dir;
  WavWriter wav;
  float frame[2] = {0, 0};
  EXPECT_FALSE(wav.writeInterleaved(frame, 1));
  EXPECT_NE(wav.error().find("not open"), std::string::npos);

  EXPECT_FALSE(wav.open(dir.file("no/such/folder/out.wav"), 48000, Encoding::Float32));
  EXPECT_NE(wav.error().find("no/such/folder/out.wav"), std::string::npos);
  EXPECT_FALSE(wav.isOpen());
  EXPECT_FALSE(wav.open(dir.file("a.wav"), 44100.5, Encoding::Float32));
  EXPECT_NE(wav.error().find("whole number"), std::string::npos);
  EXPECT_FALSE(wav.open(dir.file("a.wav"), 0, Encoding::Float32));
  EXPECT_FALSE(wav.open(dir.file("a.wav"), 48000, Encoding::Float32, 3));

  ASSERT_TRUE(wav.open(dir.file("mono.wav"), 48000, Encoding::Float32, 1));
  EXPECT_FALSE(wav.writeStereo(frame, frame, 1));
  EXPECT_NE(wav.error().find("not stereo"), std::string::npos);
  EXPECT_FALSE(wav.close()); // the failed write is reported again

  // Past 4 GiB the RIFF sizes would wrap: refused before a byte is read.
  ASSERT_TRUE(wav.open(dir.file("big.wav"), 48000, Encoding::Float32));
  EXPECT_TRUE(wav.writeInterleaved(frame, 1));
  EXPECT_FALSE(wav.writeInterleaved(frame, size_t(1) << 29));
  EXPECT_NE(wav.error().find("4 GiB"), std::string::npos);
  EXPECT_FALSE(wav.writeInterleaved(frame, 1)); // and stays failed
  EXPECT_FALSE(wav.close());
  EXPECT_FALSE(std::filesystem::exists(dir.file("big.wav"))); // a failed file never appears

  ASSERT_TRUE(wav.open(dir.file("c.wav"), 48000, Encoding::Float32));
  ASSERT_TRUE(wav.close());
  EXPECT_FALSE(wav.writeInterleaved(frame, 1));
}

// A render that fails, is abandoned or is killed half way leaves the file
// at the output path as it was; the new file replaces it only when whole.
TEST(WavWriterTest, TheOldFileStaysUntilTheNewOneIsComplete) {
  zarn::test::TempDir dir;
  const std::string path = dir.file("song.wav");
  std::vector<float> left(100, 0.25f), right(100, -0.25f);
  {
    WavWriter first;
    ASSERT_TRUE(first.open(path, 48000, Encoding::Float32));
    ASSERT_TRUE(first.writeStereo(left.data(), right.data(), 100));
    ASSERT_TRUE(first.close()) << first.error();
  }
  auto holdsTheOldFile = [&](const char* when) {
    const WavData old = readBack(path);
    EXPECT_EQ(old.frames, 100) << when;
    EXPECT_EQ(old.at(99, 1), -0.25f) << when;
    // Nothing else is visible beside it.
    int visible = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      if (entry.path().filename().string()[0] != '.') ++visible;
    EXPECT_EQ(visible, 1) << when;
  };

  WavWriter wav;
  ASSERT_TRUE(wav.open(path, 48000, Encoding::Float32));
  ASSERT_TRUE(wav.writeStereo(left.data(), left.data(), 60));
  holdsTheOldFile("while a render runs"); // what a kill now would leave
  wav.discard();
  holdsTheOldFile("after a discarded render");

  ASSERT_TRUE(wav.open(path, 48000, Encoding::Float32));
  ASSERT_TRUE(wav.writeStereo(left.data(), left.data(), 60));
  EXPECT_FALSE(wav.writeInterleaved(left.data(), size_t(1) << 29));
  EXPECT_FALSE(wav.close());
  holdsTheOldFile("after a failed render");
  {
    WavWriter abandoned;
    ASSERT_TRUE(abandoned.open(path, 48000, Encoding::Float32));
    ASSERT_TRUE(abandoned.writeStereo(left.data(), left.data(), 60));
  }
  holdsTheOldFile("after an abandoned render");
  // Only hidden temporary files could be left, and none is.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  ASSERT_TRUE(wav.open(path, 48000, Encoding::Float32));
  ASSERT_TRUE(wav.writeStereo(left.data(), left.data(), 60));
  ASSERT_TRUE(wav.close());
  EXPECT_EQ(readBack(path).frames, 60);
}

TEST(WavWriterTest, ReportsAFailedWrite) {
  zarn::test::TempDir dir;
  // A file size limit makes the disk "full" after 64 KiB.
  struct sigaction ignore {}, old {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &old);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit limited = saved;
  limited.rlim_cur = 64 * 1024;

  WavWriter wav;
  bool opened = wav.open(dir.file("out.wav"), 48000, Encoding::Float32);
  std::vector<float> block(2 * 48000, 0.125f);
  setrlimit(RLIMIT_FSIZE, &limited);
  bool wrote = opened && wav.writeInterleaved(block.data(), 48000);
  bool wroteAfter = opened && wav.writeInterleaved(block.data(), 1);
  bool closed = opened && wav.close();
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &old, nullptr);

  ASSERT_TRUE(opened);
  EXPECT_FALSE(wrote);
  EXPECT_NE(wav.error().find("write failed"), std::string::npos) << wav.error();
  EXPECT_FALSE(wroteAfter);
  EXPECT_FALSE(closed);
  EXPECT_LT(wav.framesWritten(), 48000);
  EXPECT_FALSE(std::filesystem::exists(dir.file("out.wav"))); // no cut-short file is left
}

TEST(WavReaderTest, RefusesWhatIsNotASoundFile) {
  zarn::test::TempDir dir;
  WavData data;
  WavReader reader;
  EXPECT_FALSE(reader.read(dir.file("missing.wav"), data));
  EXPECT_NE(reader.error().find("missing.wav"), std::string::npos);
  dir.write("text.wav", "RIFF this is not really a sound file at all");
  EXPECT_FALSE(reader.read(dir.file("text.wav"), data));
  EXPECT_FALSE(reader.error().empty());
  EXPECT_TRUE(data.samples.empty());
}

namespace {

uint32_t le(const std::string& bytes, size_t at, int size) {
  uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes.at(at + size_t(i)));
  return v;
}

} // namespace

// A float file carries the header of a WAV file whose samples are not PCM:
// the format chunk in its 18-byte form ending in an extension size of 0,
// and a fact chunk with the number of frames. Read from the file's bytes,
// chunk by chunk, as a strict reader walks them.
TEST(WavWriterTest, FloatFileCarriesTheNonPcmHeader) {
  zarn::test::TempDir dir;
  for (int channels : {1, 2}) {
    const std::string path = dir.file("float" + std::to_string(channels) + ".wav");
    WavWriter wav;
    ASSERT_TRUE(wav.open(path, 44100, Encoding::Float32, channels)) << wav.error();
    const size_t frames = 1234;
    std::vector<float> samples(frames * size_t(channels));
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = signal(int(i % 2), i / 2);
    ASSERT_TRUE(wav.writeInterleaved(samples.data(), frames)) << wav.error();
    ASSERT_TRUE(wav.close()) << wav.error();

    const std::string bytes = dir.read(path.substr(path.rfind('/') + 1));
    ASSERT_GE(bytes.size(), 12u);
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(le(bytes, 4, 4), bytes.size() - 8);
    EXPECT_EQ(bytes.substr(8, 4), "WAVE");
    std::vector<std::string> order;
    bool sawFmt = false, sawFact = false, sawData = false;
    for (size_t at = 12; at + 8 <= bytes.size();) {
      const std::string id = bytes.substr(at, 4);
      const uint32_t size = le(bytes, at + 4, 4);
      order.push_back(id);
      const size_t body = at + 8;
      ASSERT_LE(body + size, bytes.size()) << id;
      if (id == "fmt ") {
        sawFmt = true;
        EXPECT_EQ(size, 18u);
        EXPECT_EQ(le(bytes, body, 2), 3u); // IEEE float
        EXPECT_EQ(le(bytes, body + 2, 2), uint32_t(channels));
        EXPECT_EQ(le(bytes, body + 4, 4), 44100u);
        EXPECT_EQ(le(bytes, body + 8, 4), 44100u * 4u * uint32_t(channels));
        EXPECT_EQ(le(bytes, body + 12, 2), 4u * uint32_t(channels));
        EXPECT_EQ(le(bytes, body + 14, 2), 32u);
        EXPECT_EQ(le(bytes, body + 16, 2), 0u);
      } else if (id == "fact") {
        sawFact = true;
        EXPECT_EQ(size, 4u);
        EXPECT_EQ(le(bytes, body, 4), frames);
      } else if (id == "data") {
        sawData = true;
        EXPECT_EQ(size, frames * 4u * size_t(channels));
        float first = 0.0f;
        std::memcpy(&first, bytes.data() + body, 4);
        EXPECT_EQ(first, samples[0]);
      }
      at = body + ((size_t(size) + 1) & ~size_t(1));
    }
    EXPECT_TRUE(sawFmt && sawFact && sawData);
    ASSERT_GE(order.size(), 3u);
    EXPECT_EQ(order.front(), "fmt ");
    EXPECT_EQ(order.back(), "data");
    EXPECT_EQ(readBack(path).samples, samples);
  }
}
