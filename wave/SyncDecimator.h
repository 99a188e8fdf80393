#pragma once

// Brings a hard-synced oscillator rendered at twice the sample rate back
// down to it. A reset of the slave is a jump of the wave, whose spectrum
// reaches far past half the rate: at the base rate every part of it above
// half the rate folds back as a grain between the harmonics. Rendered twice
// as fine, the slave keeps its harmonics up to the base rate, its crossfade
// spans more samples, and what would fold lies far up; a low pass that
// passes up to 0.4 of the base rate and stops from 0.5 on takes everything
// above the audio band away before it can fold.
//
// A linear-phase FIR: a delay of cDelay base samples, the same at every
// pitch. Nothing allocates; the history lives in the object.
//
// Where the processor has 256-bit registers (asked at run time), the input
// is kept split into its even and its odd samples: only every second
// output is wanted, so the inputs that one tap meets in consecutive outputs
// then lie side by side, and eight outputs are summed in the lanes of one
// register. Otherwise one output's taps are summed four lanes at a time.
// Both give the same bits.

class SyncDecimator {
public:
  static constexpr int cFactor = 2;
  // Base samples per call at most.
  static constexpr int cMaxChunk = 64;
  // Taps at the finer rate (odd, symmetric).
  static constexpr int cTaps = 81;
  // The delay in base samples.
  static constexpr int cDelay = (cTaps - 1) / 4;

  // wide: the eight-lane way, where the processor has it.
  explicit SyncDecimator(bool wide = wideAvailable());
  static bool wideAvailable();

  // Silent history.
  void reset();
  // count (<= cMaxChunk) base samples into out from cFactor x count
  // samples in in.
  void process(const float* in, float* out, int count);
  // The inputs the taps still reach (the last cTaps - 1, oldest first) as
  // every stride-th float from at, and back: how a filter's history moves
  // into a lane of SyncDecimatorLanes and out again.
  void saveHistory(float* at, int stride) const;
  void loadHistory(const float* at, int stride);

private:
  // Input samples of one phase that the taps reach back.
  static constexpr int cHistory = (cTaps - 1) / cFactor;
  // The eight-lane way: its even samples start the line, the odd ones
  // start here.
  static constexpr int cOdd = cHistory + cMaxChunk;

  bool wide;
  // Four lanes: history, new samples, and four spare places. Eight lanes:
  // each phase's history and new samples; a last group of outputs reads
  // past the new ones into older values there (its surplus lanes are
  // dropped), never past the phase's end.
  float line[cTaps - 1 + cFactor * cMaxChunk + 4] = {};
  static_assert(2 * cOdd <= cTaps - 1 + cFactor * cMaxChunk + 4, "both phases fit in the line");
};

// The same filter for up to eight synced oscillators at once, one per lane
// of the vector unit (256-bit registers), fed the interleaved output of the
// lane kernel (vectorProduceWaveSyncOversampledLanes). Each lane sums its
// products in the order a SyncDecimator does, so that it gives the samples
// that a SyncDecimator fed that lane alone gives.
class SyncDecimatorLanes {
public:
  static constexpr int cLanes = 8;
  static constexpr int cMaxChunk = SyncDecimator::cMaxChunk;

  // allowAvx512: four outputs at a time in the 32 registers of AVX-512VL
  // where the processor has them (the same sums, bit for bit).
  explicit SyncDecimatorLanes(bool allowAvx512 = true);
  SyncDecimatorLanes(const SyncDecimatorLanes&) = delete;
  SyncDecimatorLanes& operator=(const SyncDecimatorLanes&) = delete;
  // Silent history in every lane.
  void reset();
  // Lane's history from a filter, or silent; and back into a filter.
  void loadLane(int lane, const SyncDecimator& from) { from.saveHistory(lines[cur] + lane, cLanes); }
  void silenceLane(int lane);
  void storeLane(int lane, SyncDecimator& to) const { to.loadHistory(lines[cur] + lane, cLanes); }
  // Keeps every lane's history aside; a lane takes it back after calls
  // that should not have moved it on.
  void keepHistory() { keptAt = lines[cur]; }
  void restoreLane(int lane);
  // Where the next call's input goes: cFactor x count samples of each lane,
  // interleaved (sample j of lane l at j x cLanes + l); 32-byte aligned.
  float* input() { return lines[cur] + cHistory * cLanes; }
  // count (<= cMaxChunk) base samples of lanes [0, lanes) into out[lane]
  // from what input() holds.
  void process(float* const* out, int lanes, int count);

private:
  static constexpr int cHistory = SyncDecimator::cTaps - 1;
  static constexpr int cLine = (cHistory + SyncDecimator::cFactor * cMaxChunk) * cLanes;
  bool avx512;
  // Two lines, each a history and the new samples after it: a call reads
  // the current one and starts the other with the history it leaves, so
  // the history a call began with stays where it was until the call after
  // next. Keeping it aside is then a pointer, not a copy of every lane in
  // every block; only a second call after keepHistory copies it (into
  // kept) before writing over it.
  int cur = 0;
  alignas(32) float lines[2][cLine] = {};
  const float* keptAt = lines[0];
  alignas(32) float kept[cHistory * cLanes] = {};
};
