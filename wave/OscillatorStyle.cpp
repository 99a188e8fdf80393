#include "wave/OscillatorStyle.h"

#include "base/Folders.h"
#include "base/PathUtils.h"
#include "platform/RegularFile.h"
#include "platform/ReplacingFile.h"
#include "wave/ValueCurves.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

// The cache is a raw dump in the machine's byte order, which on the target
// is little-endian.
static_assert(std::endian::native == std::endian::little, "the table cache is little-endian");
static_assert(sizeof(Oscillator::FrequencyTable) == 32770 * 4, "a frequency table is 32770 words");

namespace {

constexpr char cTag[8] = {'Q', 'V', 'O', 's', 'c', 'T', 'b', 'l'};
constexpr int cHeaderSize = 28;
constexpr float cPi = 3.14159265358979323846f;
// Wilbraham-Gibbs constant: the peak of the unwindowed partial sums of
// sum sin(kx) / k. The tapered sums of the sawtooth stay below it.
constexpr double cSawPeak = 1.8519370519824663;

class Guard {
public:
  explicit Guard(std::FILE* f) : file(f) {}
  ~Guard() {
    if (file) std::fclose(file);
  }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;
  std::FILE* file;
};

// zlib's CRC-32 of the header and both table sets, as the file holds them.
uint32_t checksum(const unsigned char* header, const void* triangle, const void* sawtooth) {
  constexpr uInt tableBytes = sizeof(float) * Oscillator::cTableCount * Oscillator::cTableStride;
  uLong crc = crc32(0L, Z_NULL, 0);
  crc = crc32(crc, header, cHeaderSize);
  crc = crc32(crc, static_cast<const Bytef*>(triangle), tableBytes);
  crc = crc32(crc, static_cast<const Bytef*>(sawtooth), tableBytes);
  return static_cast<uint32_t>(crc);
}

bool sameValue(float stored, float current) {
  // Written so that a NaN in the file is never "the same".
  return std::fabs(static_cast<double>(stored) - static_cast<double>(current)) <= 0.0001;
}

bool tablesWithin(const float (*tables)[Oscillator::cTableStride], double bound) {
  const double limit = 2.0 * bound + 1e-6;
  for (int i = 0; i < Oscillator::cTableCount; ++i)
    for (int j = 0; j < Oscillator::cTableStride; ++j) {
      float v = tables[i][j];
      if (!std::isfinite(v) || std::fabs(static_cast<double>(v)) > limit) return false;
    }
  return true;
}

// Adds amplitude x sin(harmonic x 2 pi j / size) to points 0..size of a
// table, stepping through the sine cycle in fixed point (whole points and
// millionths).
void addPartial(float* table, int32_t size, int harmonic, float amplitude, const float* sine) {
  float step = static_cast<float>(harmonic * Oscillator::cMaxTableSize) / static_cast<float>(size);
  int32_t whole = static_cast<int32_t>(std::floor(step));
  int32_t millionths = static_cast<int32_t>(std::floor((step - static_cast<float>(whole)) * 1000000.0f));
  int32_t w = 0;
  int32_t u = 0;
  if (millionths == 0) {
    // Every play size divides the sine cycle, so the step is whole: the same
    // walk without the fraction.
    for (int32_t j = 0; j <= size; ++j) {
      table[j] += amplitude * sine[w & (Oscillator::cMaxTableSize - 1)];
      w += whole;
    }
    return;
  }
  for (int32_t j = 0; j <= size; ++j) {
    table[j] += amplitude * sine[w & (Oscillator::cMaxTableSize - 1)];
    w += whole;
    u += millionths;
    if (u > 999999) {
      w += 1;
      u -= 1000000;
    }
  }
}

} // namespace

Oscillator::Style::Style() : noiseBed(new float[cNoiseBedSize]) {
  uint32_t state = 1u;
  for (uint32_t i = 0; i < cNoiseBedSize; ++i) noiseBed[i] = Oscillator::stepNoise(state);
  std::memset(sawtoothTables, 0, sizeof(sawtoothTables));
  std::memset(sineTable, 0, sizeof(sineTable));
  std::memset(triangleTables, 0, sizeof(triangleTables));
  initializeTableSizeTable();
}

Oscillator::Style::~Style() {
  for (FrequencyTable* t : frequencyTables) delete t;
}

void Oscillator::Style::customizeTriangle(float level, float brightness, float sawAmount) {
  triangleLevel = level;
  triangleBrightness = brightness;
  triangleSawAmount = sawAmount;
}

void Oscillator::Style::customizeSawtooth(float level) { sawtoothLevel = level; }

void Oscillator::Style::customizeSquare(float level, float pulseShare) {
  squareLevel = level;
  squarePulseShare = pulseShare;
}

void Oscillator::Style::customizeNoise(float level, float backgroundLevel) {
  noiseLevel = level;
  backgroundNoiseLevel = backgroundLevel;
}

void Oscillator::Style::initialize(const std::string& path, std::string* unsaved) {
  if (unsaved) unsaved->clear();
  if (loadTables(path)) return;
  initializeSineTable();
  initializeTable(triangleTables, Triangle);
  initializeTable(sawtoothTables, Sawtooth);
  adjustTriangleTable();
  if (!path.empty()) saveTables(path, unsaved);
}

std::string Oscillator::Style::getCachePath(const std::string& dataFolder) {
  return includeTrailingPathDelimiter(dataFolder) + cCacheFileName;
}

bool Oscillator::Style::loadTables(const std::string& path) {
  // Anything but a regular file (a FIFO would wait for a writer for ever)
  // is no cache: the tables are built and a file takes its place.
  platform::FileDescriptor fd = platform::openRegularFile(path);
  if (!fd) return false;
  Guard in(::fdopen(fd.get(), "rb"));
  if (!in.file) return false;
  fd.release(); // the stream closes it
  if (std::fseek(in.file, 0, SEEK_END) != 0 || std::ftell(in.file) != cCacheFileSize) return false;
  if (std::fseek(in.file, 0, SEEK_SET) != 0) return false;

  unsigned char header[cHeaderSize];
  if (std::fread(header, 1, cHeaderSize, in.file) != cHeaderSize) return false;
  if (std::memcmp(header, cTag, sizeof(cTag)) != 0) return false;
  int32_t version;
  float shape[4];
  std::memcpy(&version, header + 8, 4);
  std::memcpy(shape, header + 12, 16);
  if (version != cCacheVersion) return false;
  if (!sameValue(shape[0], triangleLevel) || !sameValue(shape[1], triangleBrightness) ||
      !sameValue(shape[2], triangleSawAmount) || !sameValue(shape[3], sawtoothLevel))
    return false;

  const size_t count = static_cast<size_t>(cTableCount) * cTableStride;
  if (std::fread(triangleTables, sizeof(float), count, in.file) != count) return false;
  if (std::fread(sawtoothTables, sizeof(float), count, in.file) != count) return false;
  unsigned char trailer[4];
  if (std::fread(trailer, 1, sizeof trailer, in.file) != sizeof trailer) return false;
  const uint32_t stored = uint32_t(trailer[0]) | uint32_t(trailer[1]) << 8 | uint32_t(trailer[2]) << 16 |
                          uint32_t(trailer[3]) << 24;
  if (stored != checksum(header, triangleTables, sawtoothTables)) return false;

  // A damaged file must not reach the oscillators: a NaN or a huge value
  // would be played at full level.
  return tablesWithin(triangleTables, getPeakBound(Triangle)) && tablesWithin(sawtoothTables, getPeakBound(Sawtooth));
}

bool Oscillator::Style::saveTables(const std::string& path, std::string* reason) {
  // The caller names the cache's path: only another place is named here.
  auto failed = [&](const std::string& where, const std::string& why) {
    if (reason) *reason = where == path ? why : where + ": " + why;
    return false;
  };
  const std::string::size_type slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  if (!folderExists(folder) && !createFolder(folder)) return failed(folder, std::strerror(errno ? errno : EIO));

  // The program's one writer of a user's file: a link at the cache's name
  // stays a link, and the file replaced keeps its mode.
  platform::ReplacingFile file;
  if (!file.create(path, 0644)) return failed(file.failedAt(), file.reason());

  unsigned char header[cHeaderSize];
  std::memcpy(header, cTag, sizeof(cTag));
  const int32_t version = cCacheVersion;
  const float shape[4] = {triangleLevel, triangleBrightness, triangleSawAmount, sawtoothLevel};
  std::memcpy(header + 8, &version, 4);
  std::memcpy(header + 12, shape, 16);

  const size_t tableBytes = sizeof(float) * static_cast<size_t>(cTableCount) * cTableStride;
  const uint32_t sum = checksum(header, triangleTables, sawtoothTables);
  const unsigned char trailer[4] = {static_cast<unsigned char>(sum), static_cast<unsigned char>(sum >> 8),
                                    static_cast<unsigned char>(sum >> 16), static_cast<unsigned char>(sum >> 24)};
  if (file.writeAll(header, cHeaderSize) && file.writeAll(triangleTables, tableBytes) &&
      file.writeAll(sawtoothTables, tableBytes) && file.writeAll(trailer, sizeof trailer) && file.commit())
    return true;
  return failed(path, file.reason());
}

int32_t Oscillator::Style::getTableHarmonics(int table) {
  if (table + 1 < 21) return table + 1;
  static const float c = std::log(47.61905f) * 0.009345794f;
  return static_cast<int32_t>(21.0f * std::exp(static_cast<float>(table - 20) * c));
}

void Oscillator::Style::initializeTableSizeTable() {
  // The smallest power of two (at least 64) with at least cPointsPerCycle
  // points per cycle of the table's highest harmonic, at most the full
  // table; never larger than the table above.
  int32_t size = cMaxTableSize;
  for (int i = cTableCount - 1; i >= 0; --i) {
    const int32_t harmonics = getTableHarmonics(i);
    while (size / 2 >= cPointsPerCycle * harmonics && size / 2 >= cMinTableSize) size /= 2;
    tableSizes[i] = size;
  }
}

void Oscillator::Style::initializeSineTable() {
  for (int j = 0; j < cMaxTableSize; ++j)
    sineTable[j] = static_cast<float>(std::sin(static_cast<double>(j) * 0.0015339807878856412));
}

void Oscillator::Style::initializeTable(float tables[cTableCount][cTableStride], WaveForm waveForm) {
  std::memset(tables, 0, sizeof(float) * cTableCount * cTableStride);
  for (int i = 0; i < cTableCount; ++i) {
    const int32_t size = tableSizes[i];
    const int32_t harmonics = getTableHarmonics(i);
    float* table = tables[i];
    if (waveForm == Sawtooth) {
      // Every harmonic, 1/k, tapered by cos^2 towards the table's limit so
      // that the table's top does not ring.
      const float w = 1.0f / (2.0f * static_cast<float>(harmonics)) * cPi;
      for (int k = 1; k <= harmonics; ++k) {
        const float c = std::cos(static_cast<float>(k - 1) * w);
        const float a = c * c * sawtoothLevel / static_cast<float>(k);
        addPartial(table, size, k, a, sineTable);
      }
    } else {
      // Odd harmonics, 1/m^2, tapered, and darkened per partial by the
      // brightness.
      const int32_t partials = harmonics / 2 > 1 ? harmonics / 2 : 1;
      const float w = 1.0f / (2.0f * static_cast<float>(partials)) * cPi;
      for (int k = 1; k <= partials; ++k) {
        const int m = 2 * k - 1;
        const float c = std::cos(static_cast<float>(k - 1) * w);
        const float a = c * c * triangleLevel / static_cast<float>(m * m) *
                        std::exp(10.0f * static_cast<float>(k - 1) * (triangleBrightness - 1.0f));
        addPartial(table, size, m, a, sineTable);
      }
    }
  }
}

void Oscillator::Style::adjustTriangleTable() {
  for (int i = 0; i < cTableCount; ++i)
    for (int32_t j = 0; j <= tableSizes[i]; ++j) triangleTables[i][j] += triangleSawAmount * sawtoothTables[i][j];
}

float Oscillator::Style::getPeakBound(WaveForm waveForm) const {
  const double saw = cSawPeak * std::fabs(static_cast<double>(sawtoothLevel));
  if (waveForm != Triangle) return static_cast<float>(saw);
  // The sum of the partials' magnitudes of the richest table (every term
  // grows with the table's partial count).
  const int32_t partials = getTableHarmonics(cTableCount - 1) / 2;
  double sum = 0.0;
  for (int k = 1; k <= partials; ++k) {
    const double m = 2.0 * k - 1.0;
    const double c = std::cos((k - 1) * 3.14159265358979323846 / (2.0 * partials));
    sum += c * c / (m * m) * std::exp(10.0 * (k - 1) * (static_cast<double>(triangleBrightness) - 1.0));
  }
  return static_cast<float>(sum * std::fabs(static_cast<double>(triangleLevel)) +
                            std::fabs(static_cast<double>(triangleSawAmount)) * saw);
}

Oscillator::FrequencyTable* Oscillator::Style::findPublished(int rate) const {
  const int n = publishedCount.load(std::memory_order_acquire);
  for (int i = 0; i < n; ++i) {
    FrequencyTable* t = published[i].load(std::memory_order_acquire);
    if (t && t->rate == rate) return t;
  }
  return nullptr;
}

Oscillator::FrequencyTable* Oscillator::Style::makeFrequencyTable(int rate) {
  FrequencyTable* t = new FrequencyTable;
  t->rate = rate;
  int32_t table = cTableCount - 1;
  for (int32_t i = 0; i < cFrequencyTableEntries; ++i) {
    const float e = static_cast<float>(i) * 0.00244140625f - 10.0f;
    const float f = expFreqToFreq(e);
    // Harmonics that stay below half the rate.
    const double fit = std::trunc(static_cast<double>(rate) / (2.0 * static_cast<double>(f)));
    while (table >= 1 && fit < static_cast<double>(getTableHarmonics(table))) --table;
    t->tableIndex[i] = table;
    if (rate >= 1) {
      const float half = static_cast<float>(rate / 2);
      t->frequency[i] = (f < half ? f : half) / static_cast<float>(rate);
    } else {
      t->frequency[i] = 0.0f; // no rate, no motion
    }
  }
  // The interpolation at the top entry reads one past it.
  t->frequency[cFrequencyTableEntries] = t->frequency[cFrequencyTableEntries - 1];
  return t;
}

const Oscillator::FrequencyTable* Oscillator::Style::getFrequencyTable(int rate) {
  if (FrequencyTable* t = findPublished(rate)) return t;

  struct Locked {
    explicit Locked(Style* s) : style(s) { style->lock(); }
    ~Locked() { style->unlock(); }
    Style* style;
  } locked(this);

  for (FrequencyTable* t : frequencyTables)
    if (t->rate == rate) return t;
  frequencyTables.reserve(frequencyTables.size() + 1);
  FrequencyTable* t = makeFrequencyTable(rate);
  frequencyTables.push_back(t);
  const int n = publishedCount.load(std::memory_order_relaxed);
  if (n < cPublishedMax) {
    published[n].store(t, std::memory_order_release);
    publishedCount.store(n + 1, std::memory_order_release);
  }
  return t;
}

int Oscillator::Style::truncateRate(float rate) {
  return rate >= 1.0f && rate < 2147483520.0f ? static_cast<int>(rate) : 0;
}

void Oscillator::Style::prepareSampleRate(float rate) { getFrequencyTable(truncateRate(rate)); }
