#pragma once

// The synthesizer's filter: a cascade of up to four state-variable stages,
// each run three times per sample, with an amplitude-dependent (cubic)
// damping term in the first stage, hard limits on the internal states and a
// table-driven soft clipper at the output. Coefficients are worked out once
// per run of samples (a run ends every 32 samples or when the cut-off moves
// by more than a tenth of an octave), not per sample.
//
// As a parallel unit it filters up to eight GenericFilters in one pass, two
// groups of four lanes side by side in the vector unit. A characteristic (a subclass overriding customize, getInputScale
// and activeClipTable) replaces the mapping from (cut-off, peak) to the
// per-run values and brings its own clip table.

#include "base/FunctionTableFunction.h"
#include "wave/Block.h"
#include "wave/FunctionTable.h"
#include "wave/GenericFilter.h"
#include "wave/PairedUnit.h"
#include "wave/StateVariableFilterKernels.h"

#include <cstdint>
#include <vector>

class StateVariableFilter : public GenericFilter::ParallelFilterUnit, public PairedUnit<StateVariableFilter> {
public:
  // Lowest and highest cut-off and sample rate (log2 Hz) the frequency
  // table covers.
  static constexpr float cMinCutOff = -12.0f;
  static constexpr float cMaxCutOff = 34.0f;
  static constexpr float cMinSampleRate = 14.0f;
  static constexpr float cMaxSampleRate = 18.0f;
  // Longest run of samples that shares one coefficient set.
  static constexpr int cUpdateInterval = 32;
  // Cut-off change (log2 Hz) that starts a new run; a change of exactly
  // this much does not.
  static constexpr float cUpdateEpsilon = 0.1f;

  // The frequency coefficient of a section run three times per sample, for
  // the argument cut-off - log2 sample rate: 2 sin(pi/3 fc/fs), fc/fs held at
  // 1 and the result capped at 0.95.
  class FreqFunction : public FunctionTableFunction {
  public:
    double operator()(double x) const override;
  };
  // Damping from a damping input: 2 (1 - x^0.25); 0 gives 2 (no resonance),
  // 1 gives 0, more than 1 negative damping (self-oscillation, held by the
  // state limits).
  class DampFunction : public FunctionTableFunction {
  public:
    double operator()(double x) const override;
  };
  // The largest damping that keeps a section with frequency coefficient x
  // stable: 2 up to x = 0.01, else min(2/x - x, 2).
  class DampLimitFunction : public FunctionTableFunction {
  public:
    double operator()(double x) const override;
  };

  // The output soft clipper: atan(b x) / b for x >= 0 and atan(x) below, b
  // the clip balance. With b = 1 it is a symmetric arctangent; with b < 1
  // positive values saturate later than negative ones. The table spans
  // [-40, 40] and is read clamped to its ends, so a louder argument
  // saturates instead of reading the opposite end.
  class ClipTable {
  public:
    class ClipFunction : public FunctionTableFunction {
    public:
      explicit ClipFunction(float balance) : balance(balance) {}
      double operator()(double x) const override;
      float balance;
    };

    // Balance 0 and no table until setClipBalance.
    ClipTable() = default;
    explicit ClipTable(float balance) { setClipBalance(balance); }
    ClipTable(const ClipTable&) = delete;
    ClipTable& operator=(const ClipTable&) = delete;

    // Rebuilds the table (8192 points over [-40, 40]) when b differs from
    // the balance by more than the single-precision epsilon. Allocates;
    // never while a filter reads the table.
    void setClipBalance(float b);
    float getClipBalance() const { return clipBalance; }
    const FunctionTable<float>& getTable() const { return table; }

    // out = T(in x scales[k]) x gains[k] for the samples of run k; runs of
    // runLength[k] samples cover count samples in order. out may be in.
    // Uses the four-sample kernel where the runs allow it (aligned arrays,
    // runs that are whole groups of four) and the scalar one elsewhere;
    // both give the same samples.
    void clip(float* out, const float* in, const float* scales, const float* gains, const int* runLength,
              int count) const;

  private:
    float clipBalance = 0.0f;
    FunctionTable<float> table;
  };

  // Uses the shared default clip table (balance 1).
  explicit StateVariableFilter(wave::Environment* env);
  // Uses clipTable (not owned), unless a subclass picks another through
  // activeClipTable.
  StateVariableFilter(wave::Environment* env, ClipTable& clipTable);
  ~StateVariableFilter() override;

  // Builds the shared tables once per process (thread-safe), creates the
  // lane output blocks, points the state arrays into the state store and
  // resets the states.
  void initialize();

  void filter(const float* in, float* out, const float* frequency, const float* peak, const float* peakScale,
              int count, bool constant) override;
  bool isResponseSupported(GenericFilter::Response r) override;
  // Every slope but 0.
  bool isSlopeSupported(GenericFilter::Slope s) override;
  // All states 0.
  void resetState() override;
  // The eight-lane pass over the served filters (count at most the
  // environment's maximum block). Lanes without a sounding, active filter
  // are silenced: their states are cleared, so that they do not ring on
  // with stale coefficients and into the next note.
  void filterParallel(int count) override;
  // As a pair (pairWith), the first of two units asked to filter in a
  // block runs both, each with its own settings, lanes,
  // coefficients and states, in one pass where the processor and their
  // settings allow, so that their chains overlap in the vector unit; each
  // gives the samples it gives alone. The partner goes along only while
  // none of its filters is muted or may be muted before it is asked
  // (MuteController::mayMuteWhenPulled); it is then asked in the same block
  // anyway and sees its lanes as it would then.

  // Makes this unit's pair and other's pair (null: none) neighbours, each
  // side leaving any earlier neighbour: where the processor has the 256-bit
  // unit, the first of the four units asked in a block takes the other pair
  // along on the same terms as its partner, and two pairs with the same
  // settings go through one pass of thirty-two lanes. Link both units of
  // one pair to those of the other (a with c, b with d).
  void joinPairs(StateVariableFilter* other);
  StateVariableFilter* getNeighbour() const { return neighbour; }

  // Maps one (cut-off, peak) pair to the per-run values: the damping input
  // of the first stage, the cubic damping and the clip scale (the factor
  // before the output clipper). Here: min(peak, 0.999), 0 and 0.1.
  // dampInput holds the value of the previous call on entry.
  virtual void customize(float frequency, float peak, float& dampInput, float& cubicDamping, float& clipScale);
  // Multiplies the filter input; the output is divided by it again after
  // the clipper. 1 here.
  virtual float getInputScale();

  // The response the kernels output and the number of stages, from the
  // unit's response and slope; picks up a new sample rate.
  void prepareBlock(VectorFilterResponse& response, int& stages);

  // The clip table the next block is clipped with.
  const ClipTable& getClipTable() const { return activeClipTable(); }
  // Band and low states by index: the stage in one-lane use, 16 x group +
  // 4 x stage + lane within its group (lane l is in group l / 4) in
  // eight-lane use.
  float getBandState(int index) const { return band[index]; }
  float getLowState(int index) const { return low[index]; }
  // The output block of lane l of the eight-lane pass.
  wave::Block* getLaneOutput(int lane) const { return laneOutputs[lane]; }

  // Shared by every filter of the process; built by the first one
  // constructed.
  static FunctionTable<float> sFreqTable;
  static FunctionTable<float> sDampTable;
  static FunctionTable<float> sDampLimitTable;
  static ClipTable sDefaultClipTable;
  static bool sInitialized;

protected:
  // The clip table for the coming block, asked once per block on the render
  // thread: no allocation, no lock. The one given at construction here.
  virtual const ClipTable& activeClipTable() const;
  // Asked once per block on the render thread. 0 (here): customize may read
  // anything, and the per-run values are worked out anew for every run. A
  // subclass returns anything else only if customize's results depend on
  // nothing but its cut-off and peak and on state whose every change
  // changes this value (not on the damping input handed in); then a lane
  // whose cut-off, peak, stage count, input scale, sample rate and this
  // value are those of its last run takes the values of that run again.
  virtual uint64_t customizeStamp() const;

private:
  // The inputs and results of one lane's last worked-out run.
  struct CoefficientCache {
    uint64_t stamp = 0; // 0: nothing kept
    float frequency = 0.0f;
    float peak = 0.0f;
    float inputScale = 0.0f;
    float log2SampleRate = 0.0f;
    int stages = 0;
    float freq = 0.0f;
    float damping[4] = {};
    float cubic = 0.0f;
    float clipScale = 0.0f;
    float gain = 0.0f;
    float dampInput = 0.0f;
  };

  // One block's pass over the lanes: what they feed in and, once prepared,
  // their groups, coefficients and settings.
  struct Pass {
    const wave::Block* inputs[cLanes];
    // Their samples, read while the input's block is at hand.
    const float* inputData[cLanes];
    const float* freq[cLanes];
    const float* peaks[cLanes];
    const float* scales[cLanes];
    bool constants[cLanes];
    bool groupActive[2];
    int served;
    VectorFilterResponse response;
    int stages;
    float inputScale;
    const ClipTable* clipper;
    int rowStride;
    VectorFilterLanes groups[2];
    int passes;
  };

  static void initializeTables();
  // Pulls every lane's input. Without a sounding lane, stores the outputs
  // (each filter passes its input on), resets the states and returns
  // false.
  bool gatherLanes(int count, Pass& p);
  // The coefficients and runs of the sounding groups (under the render
  // state of the floating-point unit).
  void preparePass(int count, Pass& p);
  // The cascade and the clipper over the prepared groups.
  void runPass(Pass& p, int count);
  void storePass(const Pass& p, int count);
  bool allFiltersSounding() const;
  // Whether the unit, not yet asked in this block, goes along with the one
  // asked (and then marks it asked and gives it its filters' settings).
  bool joinsPass();
  // Whether two prepared passes of eight lanes each may go through one
  // kernel pass.
  static bool canShare(const Pass& a, const Pass& b);

  // Works out the per-run values for one cut-off and peak and stores them
  // at the given places (the damping of stage s at damping[s x stride]);
  // takes them from the lane's cache when its inputs are those of the last
  // run (stamp as customizeStamp gave it for the block).
  void computeCoefficients(float frequency, float peak, float inputScale, int stages, float* freq, float* damping,
                           int dampingStride, float* cubic, float* clipScale, float* gain, CoefficientCache& cache,
                           uint64_t stamp);
  void filterChunk(const float* in, float* out, const float* frequency, const float* peak, const float* peakScale,
                   int count, bool constant);

  ClipTable& clipTable;
  wave::Block stateStore;
  wave::Block dampingRows;
  wave::Block cubicDampings;
  wave::Block frequencies;
  float log2SampleRate = 0.0f;
  wave::Block* laneOutputs[cLanes] = {};
  // Their samples, side by side: a pass takes them without a visit to
  // each block.
  float* laneOutputData[cLanes] = {};
  wave::Block gains;
  wave::Block clipScales;
  // Entry 0 is always 0; run k's length is at entry k + 1.
  std::vector<int32_t> runLengths;
  float lastSampleRate = 0.0f;
  // The damping input of the last customize call, handed to the next.
  float dampInput = 0.0f;
  float* band = nullptr;
  float* low = nullptr;
  // One per lane of the eight-lane pass and one for the one-lane use.
  CoefficientCache coefficientCaches[cLanes + 1];
  // What a group of four lanes' single run was worked out from, while the
  // group's rows still hold its values: with the same inputs again, every
  // lane would take the values its cache holds, which are already there.
  struct GroupRun {
    bool valid = false; // false: the rows hold anything else
    uint64_t stamp = 0;
    float inputScale = 0.0f;
    float log2SampleRate = 0.0f;
    int stages = 0;
    int rowStride = 0;
    bool active[4] = {};
    uint32_t frequency[4] = {}; // the bits of the active lanes' values
    uint32_t peak[4] = {};
    // What the last active lane's cache held as its damping input.
    float dampInput = 0.0f;
  };
  GroupRun groupRuns[2];
  // The environment's stamp of the block last filtered.
  int32_t passStamp = -1;
  // The neighbouring pair's unit (joinPairs).
  StateVariableFilter* neighbour = nullptr;
};
