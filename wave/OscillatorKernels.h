#pragma once

// The per-sample work of the table oscillator: reading band-limited
// single-cycle tables at a pitch given per sample, as a plain wave or as a
// pulse built from a sawtooth and its mirror image, free-running or
// hard-synced to a virtual master.
//
// Pitch is an exp-frequency (log2 of Hz). It is turned into a phase increment
// and a table number through a per-rate frequency table: x = pitch x
// indexScale + indexOffset is an index into it, read with linear
// interpolation for the normalized frequency and without for the table
// number. The index is held inside the table, so any pitch, even a NaN, reads
// a valid entry (pitches below -10 read the lowest, from 30 on the highest).
//
// Phases are positions in table points, 0 <= phase < size of the table in
// play; when the table changes size the phase is carried over in proportion.
//
// The two fast kernels work four samples at a time (SSE): they look the pitch
// up once per group of four, from the group's first sample, and store whole
// groups into 16-byte-aligned output with room for the count rounded up to a
// multiple of four. Pulse widths are read four at a time too. The two scalar
// sync kernels look the pitch up whenever pitch or sync changes and write
// exactly count samples. A count below 1 does nothing.

#include <cstdint>

// The oscillator kernels' state, kept in the oscillator between blocks.
struct VectorProduceParams {
  // Normalized frequencies (cycles per sample) of the current frequency
  // table's entries, plus one guard entry after them.
  const float* frequencyTable;
  // Table numbers of the same entries.
  const int32_t* tableIndexTable;
  // Play size of each table.
  const int32_t* tableSizes;
  // Floats from one table to the next.
  int32_t tableStride;
  float phase;
  // Position inside the sync period (the virtual master's cycle).
  float syncPhase;
  // The sync phase at which the crossfade that hides the reset begins.
  float crossfadeStart;
  // 1 / (sync period - crossfadeStart).
  float crossfadeSlope;
  // Phase offset of the crossfade target: size - fmod(sync period, size),
  // so that the target reaches the reset where the slave restarts.
  float crossfadeOffset;
  // The table last played.
  int32_t tableIndex;
  float indexOffset;
  float indexScale;
  // Gains of the pulse: pulse = mirror sum x pulseGain, plus the table's own
  // sawtooth x sawGain x (1 - pulse width).
  float pulseGain;
  float sawGain;
  // The sawtooth set's level. The pulse does not subtract (1 - pulse width)
  // x sawLevel: that term put a DC offset on the pulse which moved with the
  // pulse width, so an enveloped square thumped and modulating the width
  // wobbled.
  float sawLevel;
  // The four-lane kernels' last look-up: the pitch, the frequency table it
  // was read from, and what it gave. A block that starts at that pitch
  // takes it without reading the frequency table again (whose entry has
  // mostly left the nearer caches since). indexScale and indexOffset are
  // taken to stay as they are.
  float lookedUpPitch = 0.0f;
  const float* lookedUpIn = nullptr;
  float lookedUpFrequency = 0.0f;
  int32_t lookedUpTable = 0;
  // The frequency table entry that look-up read (-1: none yet), its
  // frequency and the difference to the next entry's: a block that starts
  // at another pitch in the same entry (a slowly moving pitch) interpolates
  // these. lookedUpTable is the entry's table number.
  int32_t lookedUpEntry = -1;
  float lookedUpEntryFrequency = 0.0f;
  float lookedUpEntryStep = 0.0f;
};

// Entries of a per-rate frequency table (exp-frequency -10 up to 30 in steps
// of 1/409.6); the normalized frequencies have one guard entry after them.
constexpr int32_t cFrequencyTableEntries = 16384;

// The sync input, in octaves, is held in [0, cMaxSyncOctaves] (a NaN reads
// 0): a negative or huge value from a modulation source would otherwise read
// outside the table or overflow the period.
constexpr float cMaxSyncOctaves = 30.0f;

// With noise (16-byte aligned, as many values as out is written), each
// output gets noise[i] x noiseLevel added, as vectorMulSAddFast would add it
// afterwards: the oscillator's faint noise floor in the same pass.
// heldPitch promises that every pitch of the block equals pitch[0] (a
// constant block): the kernel then reads pitch[0] alone, with the same
// output.
// allowAvx512 lets a block whose pitch is not held run a build for the 32
// registers of AVX-512VL where the processor has them
// (fastKernelsAvx512Available): the same arithmetic in the same order,
// less spilled, the same bits.
bool fastKernelsAvx512Available();
void vectorProduceWaveFast(VectorProduceParams* params, const float* tables, const float* pitch, float* out,
                           int count, const float* noise = nullptr, float noiseLevel = 0.0f, bool heldPitch = false,
                           bool allowAvx512 = true);
// Pulse widths are held in [0, 1] (a NaN reads 0): 0 is an even square,
// 1 silence. Every sample's width is played as it is, between the table's
// points too, so that a moving width glides rather than steps.
// heldWidth promises, as heldPitch does for the pitch, that every width of
// the block equals pulseWidth[0]: the same output, the mirror's offset
// worked out once where the pitch is held too.
void vectorProduceSquareFast(VectorProduceParams* params, const float* tables, const float* pitch,
                             const float* pulseWidth, float* out, int count, const float* noise = nullptr,
                             float noiseLevel = 0.0f, bool heldPitch = false, bool allowAvx512 = true,
                             bool heldWidth = false);
void vectorProduceWaveSyncCpp(VectorProduceParams* params, const float* tables, const float* pitch,
                              const float* sync, float* out, int count);
void vectorProduceSquareSyncCpp(VectorProduceParams* params, const float* tables, const float* pitch,
                                const float* sync, const float* pulseWidth, float* out, int count);

// The sync kernels at cSyncOversampling times the rate whose frequency
// table params holds: count samples of pitch, sync and pulse width give
// cSyncOversampling x count samples in out, the slave band-limited to half
// the finer rate (for the oscillator's decimator to bring down).
constexpr int cSyncOversampling = 2;
void vectorProduceWaveSyncOversampled(VectorProduceParams* params, const float* tables, const float* pitch,
                                      const float* sync, float* out, int count);
void vectorProduceSquareSyncOversampled(VectorProduceParams* params, const float* tables, const float* pitch,
                                        const float* sync, const float* pulseWidth, float* out, int count);

// vectorProduceWaveSyncOversampled for up to cSyncLanes oscillators at once,
// one per lane of the vector unit (256-bit registers and fused
// multiply-add: ask syncLanesAvailable first). Each lane does the
// arithmetic of the one-oscillator kernel in the same order, so that each
// oscillator gets the samples it gets alone. params, pitch and sync hold
// one entry per lane (lanes, 1 to cSyncLanes; a null params entry leaves
// its lane out of use); every lane renders count samples. out is
// interleaved, lanes side by side: sample j of lane l at out[j x cSyncLanes
// + l], cSyncOversampling x count x cSyncLanes floats, 32-byte aligned; the
// lanes past those in use hold anything.
// allowAvx512 lets it use the 32 registers of AVX-512VL where the
// processor has them (syncLanesAvx512Available): the same arithmetic with
// less spilled, the same bits.
constexpr int cSyncLanes = 8;
bool syncLanesAvailable();
bool syncLanesAvx512Available();
void vectorProduceWaveSyncOversampledLanes(VectorProduceParams* const* params, const float* tables,
                                           const float* const* pitch, const float* const* sync, int lanes,
                                           float* out, int count, bool allowAvx512 = true);
// std::exp of eight floats in [0, cMaxSyncOctaves x ln 2] as the lanes
// work it out, all eight at once (where syncLanesAvailable): for the test
// that holds it to std::exp.
void syncLanesExp(const float* x, float* out);
// The crossfade of four lanes, each fading, as the lanes work it out: out
// = crossfadeBlend(o, alt, (syncPhase - xStart) x xSlope) in double, lane
// by lane (where syncLanesAvailable): for the test that holds it to the
// library's cosine.
void syncLanesCrossfade(const float* o, const float* alt, const float* syncPhase, const float* xStart,
                        const float* xSlope, float* out);
