#pragma once

// What all oscillators share: two sets of 128 band-limited single-cycle
// tables (triangle and sawtooth), each table with fewer harmonics than the
// one above it, the play size of each table, and one frequency table per
// sample rate that maps pitch to a phase increment and to the highest table
// that plays at that pitch without aliasing.
//
// Building the table sets takes a while, so they are kept in a cache file
// ("Zarn.dat" in the product's data folder) and built only when the file is
// missing, damaged or was made with other shape values. The file ends in a
// CRC-32 of everything before it: values that look plausible but are not
// the ones written (a block of zeros, say) would otherwise be played
// silently on every later run.
//
// Use: construct, customize..., initialize(path), then build oscillators on
// the style. The tables are written only inside initialize and read without
// a lock afterwards; the style's lock guards only the list of frequency
// tables. prepareSampleRate makes a rate's frequency table ahead of
// rendering, so that the render thread finds it without taking the lock.

#include "base/PlatformServices.h"
#include "wave/Oscillator.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Oscillator::Style : private LockedObject {
public:
  // Frequency-table entries per exp-frequency unit (octave).
  static constexpr float cFrequencyTableFactor = 409.6f;
  // Points per cycle of a table's highest harmonic, at least. The tables are
  // read with linear interpolation, whose error lies on harmonics far above
  // half the rate and folds back: with 32 points the sum of what folds lies
  // about 66 dB below the fundamental of a sawtooth, with 4 to 8 only 46 dB.
  // Tables of more than 128 harmonics play at the full 4096 points, where
  // their tapered top harmonics keep the same 66 dB. The smaller tables of
  // the high notes, whose phase steps far through a table at every sample,
  // stay within few cache lines.
  static constexpr int32_t cPointsPerCycle = 32;
  static constexpr int32_t cMinTableSize = 64;
  // Values in the noise bed: white noise in [-1, 1), about 1.5 s at
  // 44.1 kHz. The oscillators read their faint noise floors from it, each at
  // its own place.
  static constexpr uint32_t cNoiseBedSize = 65536;
  // The cache file: a 28-byte header, the two table sets as raw floats in
  // the machine's (little-endian) byte order, then the CRC-32 (zlib's) of
  // all bytes before it as a little-endian uint32.
  static constexpr const char* cCacheFileName = "Zarn.dat";
  // 3: tables with cPointsPerCycle points per cycle of their highest
  // harmonic and a checksum; version 2 files hold tables with 4 to 8 points
  // and no checksum, and are not read.
  static constexpr int32_t cCacheVersion = 3;
  static constexpr long cCacheChecksumOffset = 28 + 2L * cTableCount * cTableStride * 4;
  static constexpr long cCacheFileSize = cCacheChecksumOffset + 4;

  // Defaults set, table sizes computed, no tables built.
  Style();
  ~Style() override;

  // Store their arguments; call them before initialize.
  void customizeTriangle(float level, float brightness, float sawAmount);
  void customizeSawtooth(float level);
  void customizeSquare(float level, float pulseShare);
  void customizeNoise(float level, float backgroundLevel);

  // Reads the table sets from the cache file at path; when that fails,
  // builds them and writes the file (its folder is created when missing),
  // unless path is empty. When the built tables could not be written,
  // unsaved (if given) tells why as saveTables does, naming the folder when
  // that failed ("" otherwise): the tables serve all the same, but each
  // start builds them again, which the user should know.
  void initialize(const std::string& path, std::string* unsaved = nullptr);
  // dataFolder + "/" + cCacheFileName.
  static std::string getCachePath(const std::string& dataFolder);

  // False when the file cannot be opened or read in full, is not exactly
  // cCacheFileSize bytes, has another tag or version, was made with shape
  // values more than 0.0001 away from the current ones, does not match its
  // checksum, or holds a value that is not finite or lies far outside what
  // the wave form can reach.
  // The table sets may then hold part of the file.
  bool loadTables(const std::string& path);
  // Writes a temporary file beside path and renames it over path, so that a
  // reader never sees half a file (its folder is made when missing). False
  // when that fails, with the reason in reason when given: why, after the
  // folder ("FOLDER: why") when it was the folder that failed; the path,
  // which the caller names, is not said again. Nothing is left behind.
  bool saveTables(const std::string& path, std::string* reason = nullptr);

  // Harmonics of table i: i + 1 up to table 19, then rising exponentially
  // to 999 at table 127.
  static int32_t getTableHarmonics(int table);
  void initializeTableSizeTable();
  void initializeSineTable();
  void initializeTable(float tables[cTableCount][cTableStride], WaveForm waveForm);
  // Adds triangleSawAmount x the sawtooth set to the triangle set.
  void adjustTriangleTable();

  // The frequency table of an integer sample rate, made on first request.
  // Any thread; a rate made before (by prepareSampleRate, say) is found
  // without taking the lock. Tables live until the style is destroyed.
  const FrequencyTable* getFrequencyTable(int rate);
  // Makes the frequency table of trunc(rate) now, on the calling thread.
  // The plug-in calls this where it learns the sample rate.
  void prepareSampleRate(float rate);
  // trunc(rate), the key of a rate's frequency table; 0 for a rate below 1
  // or not a number, whose table holds no motion.
  static int truncateRate(float rate);

  // The highest magnitude the built tables of a wave form can reach, with
  // the current shape values; loadTables rejects values beyond twice it.
  float getPeakBound(WaveForm waveForm) const;

  // cNoiseBedSize values, made by the constructor.
  const float* getNoiseBed() const { return noiseBed.get(); }

  // Owned; guarded by the lock.
  std::vector<FrequencyTable*> frequencyTables;
  float noiseLevel = 1.0f;
  float backgroundNoiseLevel = 0.0f;
  float sawtoothLevel = 1.0f;
  float sawtoothTables[cTableCount][cTableStride];
  float sineTable[cMaxTableSize];
  float squareLevel = 1.0f;
  float squarePulseShare = 1.0f;
  int32_t tableSizes[cTableCount];
  float triangleLevel = 1.0f;
  float triangleBrightness = 1.0f;
  float triangleSawAmount = 0.0f;
  float triangleTables[cTableCount][cTableStride];

private:
  std::unique_ptr<float[]> noiseBed;
  FrequencyTable* findPublished(int rate) const;
  static FrequencyTable* makeFrequencyTable(int rate);

  // The frequency tables readable without the lock: entries are written
  // once, under the lock, before the count that covers them is raised.
  static constexpr int cPublishedMax = 16;
  std::atomic<FrequencyTable*> published[cPublishedMax] = {};
  std::atomic<int> publishedCount{0};
};
