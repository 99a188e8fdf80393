#pragma once

// The graph side of the filters: a filter with a smoothed cut-off and peak,
// a response, a slope and a dry/wet mix, whose arithmetic is done by a filter
// unit. The unit is either the filter's own, or one shared by up to eight
// filters, which then filters all of them in one pass.

#include "base/Property.h"
#include "wave/Filter.h"
#include "wave/FloatParameter.h"
#include "wave/MuteController.h"

#include <cmath>
#include <cstdint>
#include <vector>

class GenericFilter : public wave::Filter {
public:
  // Value texts "Low Pass,High Pass,Band Pass".
  enum Response : int32_t { cLowPass = 0, cHighPass = 1, cBandPass = 2 };
  // Value texts "12 dB,24 dB" for 1 and 2. A unit may give other values a
  // meaning of its own (the state-variable filter runs four stages for any
  // value but 1 and 2).
  enum Slope : int32_t { c12dB = 1, c24dB = 2 };

  // The arithmetic of one filter.
  class FilterUnit : public wave::Component {
  public:
    explicit FilterUnit(wave::Environment* env) : wave::Component(env) {}
    virtual ~FilterUnit() = default;
    FilterUnit(const FilterUnit&) = delete;
    FilterUnit& operator=(const FilterUnit&) = delete;

    // Filters count samples (at most the environment's maximum block) from
    // in to out (which may be in). frequency (log2 Hz) and peak (0..1) are
    // per-sample arrays; peakScale, when not null, multiplies the peak per
    // sample; constant says that frequency and peak hold one value
    // throughout.
    virtual void filter(const float* in, float* out, const float* frequency, const float* peak,
                        const float* peakScale, int count, bool constant) = 0;
    virtual bool isResponseSupported(Response r) = 0;
    virtual bool isSlopeSupported(Slope s) = 0;
    virtual void resetState() {}

    // Copied from the filter that uses the unit once per block.
    Property<Response> response{nullptr, cLowPass};
    Property<Slope> slope{nullptr, c12dB};
  };

  // A unit that serves up to eight filters; lane i is the i-th filter added.
  class ParallelFilterUnit : public FilterUnit {
  public:
    static constexpr int cLanes = 8;

    explicit ParallelFilterUnit(wave::Environment* env);
    // The filters still on the unit forget it, so that none of them calls
    // back into a unit that is gone.
    ~ParallelFilterUnit() override;

    // Filters every lane over count samples and stores each served filter's
    // output (storeFilterOutput), so that pulling the others in the same
    // block does not run the unit again.
    virtual void filterParallel(int count) = 0;

    // Appends (not while rendering: the list may grow).
    void addFilter(GenericFilter* f);
    // Removes every occurrence; the later filters move down one lane.
    void removeFilter(GenericFilter* f);
    int getFilterCount() const { return static_cast<int>(filters.size()); }
    // Asked for every lane in every block: kept inline.
  GenericFilter* getFilter(int lane) const {
    return lane >= 0 && lane < static_cast<int>(filters.size()) ? filters[static_cast<size_t>(lane)] : nullptr;
  }

    // What lane feeds the unit in this block. A lane with a sounding, active
    // filter gets its input block, cut-off, peak and peak scale; a lane
    // without a filter, with a muted filter or with a filter whose mix is 0
    // gets peak null (inactive), the cut-off of the silent block and
    // constant true; its input is the filter's input (mix 0) or silence. A
    // filter without an input producer is fed silence.
    void retrieveFilterInput(int lane, const wave::Block*& input, const float*& frequency, const float*& peak,
                             const float*& peakScale, int count, bool& constant);
    // The lane's filter's storeOutput, if the lane has a filter.
    void storeFilterOutput(int lane, const wave::Block* in, wave::Block* out, int count);

  protected:
    // Not owned.
    std::vector<GenericFilter*> filters;
  };

  explicit GenericFilter(wave::Environment* env);
  // Leaves the parallel unit.
  ~GenericFilter() override;

  // Makes unit (not owned) this filter's own unit and leaves any parallel
  // unit.
  void setFilter(FilterUnit* unit);
  // Leaves the previous parallel unit and joins unit (null: none).
  void setParallelFilter(ParallelFilterUnit* unit);
  // Asked in the parallel pass only: a muted filter costs no work.
  void setMuteController(wave::MuteController* c) { muteController = c; }
  wave::MuteController* getMuteController() const { return muteController; }
  // Connects the peak modulator input; it scales the peak only while peak
  // modulation is enabled.
  void setPeakMuteController(wave::Producer* p) { peakModulator.setInput(p); }
  void setPeakModulationEnabled(bool on) { peakModulationEnabled = on; }

  FilterUnit* getFilterUnit() const { return filterUnit; }
  ParallelFilterUnit* getParallelFilter() const { return parallelUnit; }

  void resetState() override;

  // Pulls the cut-off and peak (and the peak modulator while enabled) and
  // reads the mix for count samples. Returns whether the filter is active,
  // that is whether its mix is not constantly 0.
  bool retrieveInput(const float*& frequency, const float*& peak, const float*& peakScale, int count, int flags,
                     bool& constant);
  // Makes in (inactive), out (mix 1) or their crossfade in out the output of
  // this block, and marks the filter produced.
  void storeOutput(const wave::Block* in, wave::Block* out, int count);

  void filter(const wave::Block* in, wave::Block* out, int count, int flags) override;

  bool isActive() const { return active; }

private:
  // What a parallel pass reads of every lane in every block comes first,
  // beside the input and the cut-off's producer: fewer lines of each
  // voice's filters to fetch.
  wave::MuteController* muteController = nullptr;
  bool peakModulationEnabled = false;
  bool active = false;
  bool mixConstant = true;
  // mixValues[0].
  float mixFirst = 0.0f;
  const float* mixValues = nullptr;
  wave::Consumer peakModulator;
  FilterUnit* filterUnit = nullptr;
  ParallelFilterUnit* parallelUnit = nullptr;

public:
  // Cut-off in log2 Hz; starts fully open (20.0).
  wave::FloatParameterBus frequency;
  // Dry/wet, [0, 1].
  wave::FloatParameter mix;
  // 0..1.
  wave::FloatParameterBus peak;
  Property<Response> response{nullptr, cLowPass};
  Property<Slope> slope{nullptr, c12dB};

private:
  // A mix this close to 0 or 1 counts as dry or wet.
  static constexpr float cMixEpsilon = 1.1920929e-7f;

  void copySettingsTo(FilterUnit* unit);

};

inline bool GenericFilter::retrieveInput(const float*& freq, const float*& pk, const float*& peakScale, int count,
                                         int flags, bool& constant) {
  const float* silence = env->silentBlock->data;
  wave::Producer* fp = frequency.output;
  wave::Producer* pp = peak.output;
  const wave::Block* fb = fp->pull(count, flags);
  const wave::Block* pb = pp->pull(count, flags);
  freq = fb ? fb->data : silence;
  pk = pb ? pb->data : silence;

  peakScale = nullptr;
  if (peakModulationEnabled && peakModulator.input) {
    const wave::Block* sb = peakModulator.input->pull(count, flags);
    if (sb) peakScale = sb->data;
  }
  constant = fp->constantBlock && pp->constantBlock;

  mixValues = mix.getInterpolatedBlock(count, flags, mixConstant)->data;
  // A constant block holds the target: read from there, the mix spares a
  // visit to a block that has long left the cache while it stays put.
  mixFirst = mixConstant && count > 0 && !(flags & wave::cMuteCall) ? mix.getTarget() : mixValues[0];
  active = !(mixConstant && std::fabs(mixFirst) <= cMixEpsilon);
  return active;
}

inline void GenericFilter::storeOutput(const wave::Block* in, wave::Block* out, int count) {
  if (!active) {
    // Readers only read a producer's current block.
    current = const_cast<wave::Block*>(in);
  } else {
    if (!(mixConstant && std::fabs(mixFirst - 1.0f) <= cMixEpsilon) && count > 0) {
      const float* x = in->data;
      float* y = out->data;
      const float* m = mixValues;
      for (int i = 0; i < count; ++i) y[i] = x[i] + (y[i] - x[i]) * m[i];
    }
    current = out;
  }
  stamp = env->stamp;
}

// Asked for every lane of every pass: inline, so that a pass reads its
// lanes without a call per lane.
inline void GenericFilter::ParallelFilterUnit::retrieveFilterInput(int lane, const wave::Block*& input,
                                                                   const float*& frequency, const float*& peak,
                                                                   const float*& peakScale, int count,
                                                                   bool& constant) {
  wave::Block* silence = env->silentBlock;
  GenericFilter* f = getFilter(lane);
  if (f && !(f->muteController && f->muteController->isMute())) {
    const wave::Block* in = f->input ? f->input->pull(count, 0) : nullptr;
    input = in ? in : silence;
    if (f->retrieveInput(frequency, peak, peakScale, count, 0, constant)) return;
  } else {
    input = silence;
    // A muted filter outputs its (silent) lane input: were it left active
    // from an earlier block, it would hand out the lane block of a pass that
    // did not run for it.
    if (f) f->active = false;
  }
  frequency = silence->data;
  peak = nullptr;
  peakScale = nullptr;
  constant = true;
}

inline void GenericFilter::ParallelFilterUnit::storeFilterOutput(int lane, const wave::Block* in,
                                                                 wave::Block* out, int count) {
  if (GenericFilter* f = getFilter(lane)) f->storeOutput(in, out, count);
}
