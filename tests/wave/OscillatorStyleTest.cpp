// The shared wave tables: harmonics and sizes, the partials of the built
// tables, the per-rate frequency tables, and the cache file.

#include "base/PlatformServices.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/OrdinaryPermissions.h"
#include "tests/support/ReplacedFiles.h"
#include "tests/support/TempDir.h"
#include "tests/wave/OscillatorTestSupport.h"
#include "wave/ValueCurves.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace osctest;
using zarn::test::TempDir;

namespace {

constexpr size_t cTableBytes = 128u * 4097u * 4u;
constexpr double cPi = 3.14159265358979323846;

TEST(OscillatorStyleTest, TableHarmonicsAndPlaySizes) {
  using S = Oscillator::Style;
  EXPECT_EQ(S::getTableHarmonics(0), 1);
  EXPECT_EQ(S::getTableHarmonics(19), 20);
  EXPECT_EQ(S::getTableHarmonics(20), 21);
  EXPECT_EQ(S::getTableHarmonics(21), 21);
  EXPECT_EQ(S::getTableHarmonics(127), 999);
  for (int i = 1; i < 128; ++i) EXPECT_GE(S::getTableHarmonics(i), S::getTableHarmonics(i - 1));

  auto style = std::make_unique<S>();
  const int firstOfSize[] = {0, 2, 4, 8, 16, 33, 52, 128};
  for (int band = 0; band < 7; ++band)
    for (int i = firstOfSize[band]; i < firstOfSize[band + 1]; ++i)
      EXPECT_EQ(style->tableSizes[i], 64 << band) << "table " << i;
  // The smallest power of two from 64 to 4096 with at least 32 points per
  // cycle of the top harmonic: fewer make the linear reads alias audibly.
  for (int i = 0; i < 128; ++i) {
    const int wanted = std::min(32 * S::getTableHarmonics(i), 4096);
    EXPECT_GE(style->tableSizes[i], wanted) << "table " << i;
    if (style->tableSizes[i] > 64) {
      EXPECT_LT(style->tableSizes[i] / 2, wanted) << "table " << i;
    }
  }
}

// Sine and cosine coefficient of harmonic m over the first size points.
void coefficients(const float* table, int size, int m, double& sine, double& cosine) {
  sine = 0.0;
  cosine = 0.0;
  for (int j = 0; j < size; ++j) {
    sine += table[j] * std::sin(2.0 * cPi * m * j / size);
    cosine += table[j] * std::cos(2.0 * cPi * m * j / size);
  }
  sine *= 2.0 / size;
  cosine *= 2.0 / size;
}

// The tables hold exactly their partials, in sine phase: the sawtooth every
// harmonic up to the table's count at cos^2-tapered 1/k, the triangle the
// odd ones at tapered 1/m^2 darkened by the brightness, plus the sawtooth
// share.
TEST(OscillatorStyleTest, TablesHoldTheirPartials) {
  auto style = makeStyle();
  style->initializeSineTable();
  style->initializeTable(style->triangleTables, Oscillator::Triangle);
  style->initializeTable(style->sawtoothTables, Oscillator::Sawtooth);
  style->adjustTriangleTable();

  for (int i : {0, 9, 25, 60, 100, 127}) {
    const int size = style->tableSizes[i];
    const int h = Oscillator::Style::getTableHarmonics(i);
    const int partials = std::max(h / 2, 1);
    const float* saw = style->sawtoothTables[i];
    const float* tri = style->triangleTables[i];
    EXPECT_EQ(saw[0], saw[size]);
    EXPECT_EQ(tri[0], tri[size]);
    for (int j = size + 1; j < 4097; ++j) ASSERT_EQ(saw[j], 0.0f);
    for (int m : {1, 2, 3, 5, h / 2, h - 1, h, h + 1, h + 2}) {
      if (m < 1 || m >= size / 2) continue;
      double sine, cosine;
      coefficients(saw, size, m, sine, cosine);
      const double taper = std::pow(std::cos((m - 1) * cPi / (2.0 * h)), 2.0);
      const double sawAmp = m <= h ? taper * cSynthSawtooth / m : 0.0;
      EXPECT_NEAR(sine, sawAmp, 2e-5) << "saw table " << i << " harmonic " << m;
      EXPECT_NEAR(cosine, 0.0, 2e-5);

      coefficients(tri, size, m, sine, cosine);
      double triAmp = cSynthTriangle[2] * sawAmp;
      const int k = (m + 1) / 2;
      if (m % 2 == 1 && k <= partials) {
        const double t = std::pow(std::cos((k - 1) * cPi / (2.0 * partials)), 2.0);
        triAmp += t * cSynthTriangle[0] / (m * m) * std::exp(10.0 * (k - 1) * (cSynthTriangle[1] - 1.0));
      }
      EXPECT_NEAR(sine, triAmp, 2e-5) << "triangle table " << i << " harmonic " << m;
      EXPECT_NEAR(cosine, 0.0, 2e-5);
    }
  }
}

// What the loader accepts must cover every table that can be built, with
// the synthesizer's values and with the defaults.
TEST(OscillatorStyleTest, PeakBoundCoversTheBuiltTables) {
  for (bool synth : {true, false}) {
    auto style = synth ? makeStyle() : std::make_unique<Oscillator::Style>();
    style->initializeSineTable();
    style->initializeTable(style->triangleTables, Oscillator::Triangle);
    style->initializeTable(style->sawtoothTables, Oscillator::Sawtooth);
    style->adjustTriangleTable();
    float saw = 0.0f;
    float tri = 0.0f;
    for (int i = 0; i < 128; ++i)
      for (int j = 0; j < 4097; ++j) {
        saw = std::max(saw, std::fabs(style->sawtoothTables[i][j]));
        tri = std::max(tri, std::fabs(style->triangleTables[i][j]));
      }
    EXPECT_LE(saw, style->getPeakBound(Oscillator::Sawtooth));
    EXPECT_LE(tri, style->getPeakBound(Oscillator::Triangle));
    // ... and not by far: a damaged value a few times too large is caught.
    EXPECT_GT(saw, 0.8f * style->getPeakBound(Oscillator::Sawtooth));
    EXPECT_GT(tri, 0.8f * style->getPeakBound(Oscillator::Triangle));
  }
}

// Each entry plays the richest table whose harmonics all stay below half
// the rate; above half the rate the frequency is held at exactly 0.5.
TEST(OscillatorStyleTest, FrequencyTableChoosesTheRichestTableThatFits) {
  Oscillator::Style style;
  for (int rate : {44100, 96000, 22051}) {
    const Oscillator::FrequencyTable* t = style.getFrequencyTable(rate);
    ASSERT_EQ(t->rate, rate);
    for (int i = 0; i < cFrequencyTableEntries; ++i) {
      const float e = static_cast<float>(i) * 0.00244140625f - 10.0f;
      const double f = expFreqToFreq(e);
      ASSERT_NEAR(f, std::exp2(static_cast<double>(e)), f * 1e-6);
      const double fit = std::trunc(rate / (2.0 * f));
      const int table = t->tableIndex[i];
      ASSERT_TRUE(table == 0 || Oscillator::Style::getTableHarmonics(table) <= fit) << rate << " " << i;
      ASSERT_TRUE(table == 127 || Oscillator::Style::getTableHarmonics(table + 1) > fit) << rate << " " << i;
      const double expected = std::min(f, static_cast<double>(rate / 2)) / rate;
      ASSERT_NEAR(t->frequency[i], expected, expected * 1e-6) << rate << " " << i;
      ASSERT_LE(t->frequency[i], 0.5f);
      if (rate == 44100 && f > 22050.5) {
        ASSERT_EQ(t->frequency[i], 0.5f);
        ASSERT_EQ(table, 0);
      }
    }
    EXPECT_EQ(t->frequency[cFrequencyTableEntries], t->frequency[cFrequencyTableEntries - 1]);
  }
}

TEST(OscillatorStyleTest, OneFrequencyTablePerRateSharedByOscillators) {
  auto owned = makeStyle();
  Oscillator::Style* style = owned.get();
  wave::Environment env(64);
  env.setSampleRate(48000.0f);
  Oscillator a(style, &env);
  Oscillator b(style, &env);
  EXPECT_EQ(a.frequencyTable, b.frequencyTable);
  EXPECT_EQ(a.frequencyTable->rate, 48000);
  ASSERT_EQ(style->frequencyTables.size(), 1u);

  style->prepareSampleRate(96000.7f);
  ASSERT_EQ(style->frequencyTables.size(), 2u);
  EXPECT_EQ(style->frequencyTables[0], a.frequencyTable);
  env.setSampleRate(96000.7f);
  render(env, a, 64);
  EXPECT_EQ(a.frequencyTable, style->frequencyTables[1]);
  EXPECT_EQ(a.frequencyTable->rate, 96000);
  EXPECT_EQ(style->frequencyTables.size(), 2u);
  EXPECT_EQ(style->getFrequencyTable(48000), b.frequencyTable);
}

// A rate of 0 (or no number) gets a table without motion: the oscillator
// holds still instead of dividing by zero.
TEST(OscillatorStyleTest, NoRateHoldsStill) {
  BuiltStyle built;
  wave::Environment env(64);
  env.setSampleRate(0.0f);
  Oscillator osc(built.style.get(), &env);
  std::vector<float> x = render(env, osc, 256);
  for (float v : x) {
    ASSERT_TRUE(std::isfinite(v));
    ASSERT_EQ(v, x[0]);
  }
  EXPECT_EQ(Oscillator::Style::truncateRate(std::numeric_limits<float>::quiet_NaN()), 0);
  EXPECT_EQ(Oscillator::Style::truncateRate(44100.9f), 44100);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

float floatAt(const std::string& bytes, size_t offset) {
  float v;
  std::memcpy(&v, bytes.data() + offset, 4);
  return v;
}

void putFloat(std::string& bytes, size_t offset, float v) { std::memcpy(bytes.data() + offset, &v, 4); }

// The file's CRC-32 trailer made to match its content again, as a file
// written that way would have it.
std::string sealed(std::string bytes) {
  const size_t body = bytes.size() - 4;
  const uint32_t crc = static_cast<uint32_t>(
      crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(body)));
  for (int i = 0; i < 4; ++i) bytes[body + static_cast<size_t>(i)] = static_cast<char>(crc >> (8 * i));
  return bytes;
}

// Offset of a point of a table in the file.
size_t pointOffset(bool sawtooth, int table, int point) {
  return 28 + (sawtooth ? cTableBytes : 0) + (static_cast<size_t>(table) * 4097 + static_cast<size_t>(point)) * 4;
}

TEST(OscillatorCacheTest, WritesTheTablesInTheirByteLayout) {
  TempDir dir;
  // The data folder does not exist yet on a first run.
  const std::string path = Oscillator::Style::getCachePath(dir.file("Quorvane/Zarn"));
  EXPECT_EQ(path, dir.file("Quorvane/Zarn/Zarn.dat"));
  EXPECT_EQ(Oscillator::Style::getCachePath(dir.file("x/")), dir.file("x/Zarn.dat"));
  auto style = makeStyle();
  style->initialize(path);

  const std::string bytes = readFile(path);
  ASSERT_EQ(bytes.size(), 4195360u);
  EXPECT_EQ(bytes.substr(0, 8), "QVOscTbl");
  EXPECT_EQ(bytes.substr(8, 4), std::string("\x03\x00\x00\x00", 4));
  EXPECT_EQ(floatAt(bytes, 12), 0.7f);
  EXPECT_EQ(floatAt(bytes, 16), 0.45f);
  EXPECT_EQ(floatAt(bytes, 20), 0.02f);
  EXPECT_EQ(floatAt(bytes, 24), 0.5f);
  EXPECT_EQ(std::memcmp(bytes.data() + 28, style->triangleTables, cTableBytes), 0);
  EXPECT_EQ(std::memcmp(bytes.data() + 2097692, style->sawtoothTables, cTableBytes), 0);
  EXPECT_NE(style->sawtoothTables[127][1], 0.0f);
  // The last four bytes: zlib's CRC-32 of all before them, little-endian.
  EXPECT_EQ(sealed(bytes), bytes);
  // Nothing but the file is left in the folder.
  std::unique_ptr<FileEnumerator> files(createFileEnumerator(dir.file("Quorvane/Zarn/*"), FileEnumerator::files));
  int count = 0;
  while (files->findNext()) ++count;
  EXPECT_EQ(count, 1);
}

// A start with the same shape values reads the file instead of building:
// a value changed in the file shows up in the tables.
TEST(OscillatorCacheTest, SameShapeReadsTheFileOtherSquareOrNoiseToo) {
  TempDir dir;
  const std::string path = dir.file("Zarn.dat");
  makeStyle()->initialize(path);
  std::string bytes = readFile(path);
  const float marked = floatAt(bytes, pointOffset(true, 40, 7)) + 0.001f;
  putFloat(bytes, pointOffset(true, 40, 7), marked);
  bytes = sealed(bytes);
  writeFile(path, bytes);

  auto same = makeStyle();
  same->initialize(path);
  EXPECT_EQ(same->sawtoothTables[40][7], marked);

  // Square and noise values do not shape the tables; values within 0.0001
  // count as the same.
  auto other = makeStyle(0.9f, 0.01f);
  other->customizeSquare(0.3f, 0.9f);
  other->customizeNoise(0.5f, 0.01f);
  other->customizeSawtooth(cSynthSawtooth + 0.00009f);
  other->initialize(path);
  EXPECT_EQ(other->sawtoothTables[40][7], marked);
  EXPECT_EQ(readFile(path), bytes);
}

TEST(OscillatorCacheTest, OtherShapeValuesRebuildAndRewrite) {
  TempDir dir;
  const std::string path = dir.file("Zarn.dat");
  auto first = makeStyle();
  first->initialize(path);
  const std::string before = readFile(path);

  auto louder = makeStyle();
  louder->customizeSawtooth(0.6f);
  louder->initialize(path);
  const std::string after = readFile(path);
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(floatAt(after, 24), 0.6f);
  EXPECT_NEAR(louder->sawtoothTables[127][100], first->sawtoothTables[127][100] * 1.2f, 1e-5f);
  EXPECT_EQ(std::memcmp(after.data() + 2097692, louder->sawtoothTables, cTableBytes), 0);

  // Each triangle value counts on its own (more than 0.0001 apart).
  const float triangle[3] = {cSynthTriangle[0], cSynthTriangle[1], cSynthTriangle[2]};
  for (int which = 0; which < 3; ++which) {
    float v[3] = {triangle[0], triangle[1], triangle[2]};
    v[which] += 0.0002f;
    auto style = makeStyle();
    style->customizeSawtooth(0.6f);
    style->customizeTriangle(v[0], v[1], v[2]);
    EXPECT_FALSE(style->loadTables(path)) << which;
    style->customizeTriangle(triangle[0], triangle[1], triangle[2]);
    EXPECT_TRUE(style->loadTables(path)) << which;
  }
}

// Damaged files are refused: short, long, another tag or version, shape
// values that are no numbers, tables with values that are not finite or far
// beyond the wave's reach.
TEST(OscillatorCacheTest, RefusesDamagedFiles) {
  TempDir dir;
  const std::string path = dir.file("Zarn.dat");
  makeStyle()->initialize(path);
  const std::string good = readFile(path);
  auto style = makeStyle();
  ASSERT_TRUE(style->loadTables(path));

  // Checked with the checksum made to match, so that each check is seen
  // on its own.
  auto refused = [&](std::string bytes, const char* what) {
    writeFile(path, bytes.size() == good.size() ? sealed(bytes) : bytes);
    EXPECT_FALSE(style->loadTables(path)) << what;
  };
  refused(good.substr(0, good.size() - 1), "truncated");
  refused(good + '\0', "longer");
  refused("", "empty");
  std::string b = good;
  b[7] = 'L';
  refused(b, "tag");
  b = good;
  b[8] = 1;
  refused(b, "version 1");
  b = good;
  putFloat(b, 16, std::numeric_limits<float>::quiet_NaN());
  refused(b, "shape value NaN");
  for (bool sawtooth : {false, true}) {
    b = good;
    putFloat(b, pointOffset(sawtooth, 90, 1000), std::numeric_limits<float>::quiet_NaN());
    refused(b, "NaN");
    b = good;
    putFloat(b, pointOffset(sawtooth, 3, 4096), std::numeric_limits<float>::infinity());
    refused(b, "infinity");
    b = good;
    putFloat(b, pointOffset(sawtooth, 127, 5), 3.0f);
    refused(b, "far out of range");
  }
  std::remove(path.c_str());
  EXPECT_FALSE(style->loadTables(path));
}

// Values inside every bound that are not the ones written: the checksum
// tells. A sawtooth set overwritten with zeros played at -130 dBFS on
// every later start before.
TEST(OscillatorCacheTest, ContentThatDoesNotMatchItsChecksumIsRebuilt) {
  TempDir dir;
  const std::string path = dir.file("Zarn.dat");
  makeStyle()->initialize(path);
  const std::string good = readFile(path);

  std::string zeroed = good;
  std::memset(zeroed.data() + 28 + cTableBytes, 0, cTableBytes);
  std::string flipped = good;
  flipped[pointOffset(false, 64, 10)] ^= 0x01; // the lowest bit of one triangle value
  std::string badSum = good;
  badSum.back() ^= 0x40;
  for (const std::string& damaged : {zeroed, flipped, badSum}) {
    writeFile(path, damaged);
    auto style = makeStyle();
    EXPECT_FALSE(style->loadTables(path));
    style->initialize(path);
    EXPECT_NE(style->sawtoothTables[0][16], 0.0f);
    EXPECT_EQ(std::memcmp(good.data() + 28 + cTableBytes, style->sawtoothTables, cTableBytes), 0);
    EXPECT_EQ(readFile(path), good);
  }
}

TEST(OscillatorCacheTest, DamagedOrOldFileIsRebuiltAndReplaced) {
  TempDir dir;
  const std::string path = dir.file("Zarn.dat");
  makeStyle()->initialize(path);
  const std::string good = readFile(path);

  // Version 2 files hold tables built with too few points per cycle.
  std::string old = good;
  old[8] = 1;
  std::string previous = good;
  previous[8] = 2;
  for (const std::string& damaged : {good.substr(0, 1000), old, previous}) {
    writeFile(path, damaged);
    auto style = makeStyle();
    style->initialize(path);
    EXPECT_EQ(readFile(path), good);
    EXPECT_EQ(std::memcmp(good.data() + 28, style->triangleTables, cTableBytes), 0);
  }
}

// A cache that cannot be written leaves working tables, says why (naming
// the folder when that is what failed; the plug-in, which tells the user,
// whose every later start builds them again, names the cache) and leaves
// nothing behind. In a child process: one
// case meets permissions as an ordinary user does, which root does not.
TEST(OscillatorCacheTest, UnwritableFolderStillBuildsTheTablesAndSaysWhy) {
  struct Case {
    const char* what;
    const char* cache; // below DIR
    std::string said;  // DIR for the folder
  };
  const std::vector<Case> cases = {
      {"a file where the folder should be", "blocker/Quorvane/Zarn.dat", "DIR/blocker/Quorvane: Not a directory"},
      // The path itself, which the caller names, is not said again.
      {"a folder at the cache's name", "Zarn.dat", "Is a directory"},
      {"a FIFO at the cache's name", "fifo/Zarn.dat", "it is a FIFO (a named pipe), not a regular file"},
      {"a folder that takes no new file", "ro/Zarn.dat", "DIR/ro: Permission denied"},
      {"a folder that takes it", "fine/Zarn.dat", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    dir.write("blocker", "a file where the folder should be");
    ASSERT_EQ(::mkdir(dir.file("Zarn.dat").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(dir.file("ro").c_str(), 0500), 0);
    ASSERT_EQ(::mkdir(dir.file("fifo").c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo/Zarn.dat").c_str(), 0600), 0);
    const zarn::test::ChildResult r = zarn::test::runInChild([&] {
      if (!zarn::test::meetPermissionsAsOwner()) return std::string("permissions are passed by");
      auto style = makeStyle();
      std::string unsaved = "not told";
      style->initialize(dir.file(c.cache), &unsaved);
      if (style->sawtoothTables[60][3] == 0.0f || style->triangleTables[60][3] == 0.0f) return std::string("no tables");
      for (size_t at = unsaved.find(dir.path()); at != std::string::npos; at = unsaved.find(dir.path(), at))
        unsaved.replace(at, dir.path().size(), "DIR");
      return unsaved;
    });
    EXPECT_EQ(r.output, c.said);
    ASSERT_EQ(::chmod(dir.file("ro").c_str(), 0700), 0);
    // The files there afterwards, hidden ones too: the cache only where it
    // could be written, and no temporary file.
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path()))
      if (e.is_regular_file()) left.push_back(std::filesystem::relative(e.path(), dir.path()).string());
    std::sort(left.begin(), left.end());
    const std::vector<std::string> expected =
        c.said.empty() ? std::vector<std::string>{"blocker", "fine/Zarn.dat"} : std::vector<std::string>{"blocker"};
    EXPECT_EQ(left, expected);
  }
}

} // namespace

// The cache is saved as every file of the user: a link at its name stays a
// link, the file it names keeps its mode, and only a regular file or
// nothing is ever replaced.
TEST(OscillatorCacheTest, SavesOnlyIntoARegularFileAndFollowsALink) {
  auto style = makeStyle();
  TempDir first;
  std::string reason;
  ASSERT_TRUE(style->saveTables(first.file("Zarn.dat"), &reason)) << reason;
  zarn::test::Saver saver;
  saver.name = "Zarn.dat";
  saver.write = [&](const std::string& path, const std::function<void()>&) { return style->saveTables(path); };
  saver.written = first.read("Zarn.dat");
  ASSERT_EQ(saver.written.size(), static_cast<size_t>(Oscillator::Style::cCacheFileSize));
  saver.newMode = 0644;
  zarn::test::expectOnlyRegularFilesSaved(saver);
}
