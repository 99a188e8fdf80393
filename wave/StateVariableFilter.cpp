#include "wave/StateVariableFilter.h"

#include "wave/DenormalGuard.h"
#include "wave/TableKernels.h"
#include "wave/ValueCurves.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <mutex>

namespace {

constexpr float cEpsilon = 1.1920929e-7f;
constexpr double cPi = 3.14159265358979323846;

std::once_flag sTablesOnce;

bool isAligned(const void* p) { return (reinterpret_cast<uintptr_t>(p) & 15u) == 0; }

bool sameBits(float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); }

} // namespace

FunctionTable<float> StateVariableFilter::sFreqTable;
FunctionTable<float> StateVariableFilter::sDampTable;
FunctionTable<float> StateVariableFilter::sDampLimitTable;
StateVariableFilter::ClipTable StateVariableFilter::sDefaultClipTable;
bool StateVariableFilter::sInitialized = false;

// ---------------------------------------------------------------------------
// Curves

double StateVariableFilter::FreqFunction::operator()(double x) const {
  double ratio = expFreqToFreq(static_cast<float>(x));
  if (ratio > 1.0) ratio = 1.0;
  const double f = 2.0 * std::sin(cPi / 3.0 * ratio);
  return f < 0.95 ? f : 0.95;
}

double StateVariableFilter::DampFunction::operator()(double x) const {
  return 2.0 * (1.0 - std::pow(x > 0.0 ? x : 0.0, 0.25));
}

double StateVariableFilter::DampLimitFunction::operator()(double x) const {
  if (x <= 0.01) return 2.0;
  const double d = 2.0 / x - x;
  return d < 2.0 ? d : 2.0;
}

double StateVariableFilter::ClipTable::ClipFunction::operator()(double x) const {
  if (x < 0.0) return std::atan(x);
  const double b = balance;
  // atan(b x) / b tends to x as b goes to 0.
  if (std::fabs(b) < 1e-12) return x;
  return std::atan(b * x) / b;
}

// ---------------------------------------------------------------------------
// ClipTable

void StateVariableFilter::ClipTable::setClipBalance(float b) {
  if (std::fabs(b - clipBalance) <= cEpsilon && table.getPoints() > 0) return;
  clipBalance = b;
  table.initialize(8192, ClipFunction(b), -40.0f, 40.0f);
}

void StateVariableFilter::ClipTable::clip(float* out, const float* in, const float* scales, const float* gains,
                                          const int* runLength, int count) const {
  if (count < 1 || table.getPoints() < 2) return;
  const float* values = table.getValues();
  const float frac = table.getFracOffset();
  const int intOffset = table.getIntOffset();
  const float scale = table.getScale();
  const unsigned mask = table.getMask();

  // The four-sample kernel takes whole groups with the run of their first
  // sample, so it may only cover the groups in which no run ends, and
  // writes whole groups: it handles the aligned prefix up to the first run
  // that is not a whole number of groups, the scalar kernel the rest.
  int fast = 0;
  int r = 0;
  if (isAligned(in) && isAligned(out)) {
    const int limit = count & ~3;
    while (fast < limit) {
      const int len = runLength[r];
      // A run that reaches the last whole group starts on a group boundary
      // and may lend the kernel everything up to there.
      if (fast + len >= limit) {
        fast = limit;
        break;
      }
      if (len & 3) break;
      fast += len;
      ++r;
    }
    if (fast > 0)
      vectorConvertBlockScaledRunsFast(values, frac, intOffset, scale, mask, in, scales, gains, runLength, out,
                                       fast);
  }

  if (fast >= count) return;

  // The rest run by run, starting inside the run that holds sample fast.
  int start = 0;
  r = 0;
  while (start + runLength[r] <= fast) start += runLength[r++];
  int pos = fast;
  while (pos < count) {
    const int end = start + runLength[r];
    const int stop = end < count ? end : count;
    if (stop > pos) {
      const int len = stop - pos;
      vectorConvertBlockScaledRunsCpp(values, frac, intOffset, scale, mask, in + pos, scales + r, gains + r, &len,
                                      out + pos, len);
      pos = stop;
    }
    start = end;
    ++r;
  }
}

// ---------------------------------------------------------------------------
// StateVariableFilter

StateVariableFilter::StateVariableFilter(wave::Environment* env) : StateVariableFilter(env, sDefaultClipTable) {}

StateVariableFilter::StateVariableFilter(wave::Environment* env, ClipTable& table)
    : ParallelFilterUnit(env), clipTable(table), stateStore(env), dampingRows(env, 4 * cLanes),
      cubicDampings(env, cLanes), frequencies(env, cLanes), gains(env, cLanes), clipScales(env, cLanes) {
  initialize();
}

StateVariableFilter::~StateVariableFilter() {
  joinPairs(nullptr);
  for (wave::Block*& b : laneOutputs) {
    delete b;
    b = nullptr;
  }
}

void StateVariableFilter::initializeTables() {
  sFreqTable.initialize(8192, FreqFunction(), cMinCutOff - cMaxSampleRate, cMaxCutOff - cMinSampleRate);
  sDampTable.initialize(4096, DampFunction(), 0.0f, 5.0f);
  sDampLimitTable.initialize(4906, DampLimitFunction(), 0.0f, 1.0f);
  if (std::fabs(sDefaultClipTable.getClipBalance() - 1.0f) > cEpsilon || sDefaultClipTable.getTable().getPoints() == 0)
    sDefaultClipTable.setClipBalance(1.0f);
  sInitialized = true;
}

void StateVariableFilter::initialize() {
  // Filters may be built on several threads at once (one per plug-in
  // instance); the tables are built exactly once and are complete before
  // any of them goes on.
  std::call_once(sTablesOnce, initializeTables);
  for (int l = 0; l < cLanes; ++l) {
    if (!laneOutputs[l]) laneOutputs[l] = new wave::Block(env);
    laneOutputData[l] = laneOutputs[l]->data;
  }
  // One list of runs per group of four lanes.
  runLengths.assign(2 * (static_cast<size_t>(env->maxBlockSize > 0 ? env->maxBlockSize : 0) + 1), 0);
  lastSampleRate = 0.0f;
  groupRuns[0].valid = groupRuns[1].valid = false;
  // Two arrays of 32 states (four stages of eight lanes), whatever the
  // block size.
  if (stateStore.size < 64) stateStore.initialize(64);
  band = stateStore.data;
  low = stateStore.data + 32;
  resetState();
}

bool StateVariableFilter::isResponseSupported(GenericFilter::Response) { return true; }

bool StateVariableFilter::isSlopeSupported(GenericFilter::Slope s) { return s != 0; }

void StateVariableFilter::resetState() {
  for (int i = 0; i < 32; ++i) {
    band[i] = 0.0f;
    low[i] = 0.0f;
  }
}

void StateVariableFilter::customize(float, float peakValue, float& damp, float& cubicDamping, float& clipScale) {
  damp = peakValue < 0.999f ? peakValue : 0.999f;
  cubicDamping = 0.0f;
  clipScale = 0.1f;
}

float StateVariableFilter::getInputScale() { return 1.0f; }

const StateVariableFilter::ClipTable& StateVariableFilter::activeClipTable() const { return clipTable; }

void StateVariableFilter::prepareBlock(VectorFilterResponse& r, int& stages) {
  const float rate = env->sampleRate;
  if (rate != lastSampleRate) {
    lastSampleRate = rate;
    log2SampleRate = freqToExpFreq(rate);
  }
  switch (response.get()) {
  case GenericFilter::cLowPass:
    r = cVectorFilterLowPass;
    break;
  case GenericFilter::cHighPass:
    r = cVectorFilterHighPass;
    break;
  default:
    r = cVectorFilterBandPass;
    break;
  }
  const int s = slope.get();
  stages = s == 1 ? 1 : (s == 2 ? 2 : 4);
}

uint64_t StateVariableFilter::customizeStamp() const { return 0; }

void StateVariableFilter::computeCoefficients(float fr, float p, float inputScale, int stages, float* freq,
                                              float* damping, int dampingStride, float* cubic, float* clipScale,
                                              float* gain, CoefficientCache& cache, uint64_t stamp) {
  // Compared bit for bit: a value that is equal but not the same (0 and
  // -0, not-a-number) is worked out anew.
  if (stamp != 0 && cache.stamp == stamp && sameBits(cache.frequency, fr) && sameBits(cache.peak, p) &&
      sameBits(cache.inputScale, inputScale) && sameBits(cache.log2SampleRate, log2SampleRate) &&
      cache.stages == stages) {
    dampInput = cache.dampInput;
    *cubic = cache.cubic;
    *clipScale = cache.clipScale;
    *gain = cache.gain;
    *freq = cache.freq;
    for (int s = 0; s < stages; ++s) damping[s * dampingStride] = cache.damping[s];
    return;
  }
  customize(fr, p, dampInput, *cubic, *clipScale);
  *gain = 1.0f / (inputScale * *clipScale);
  const float f = readFunctionTable(sFreqTable, fr - log2SampleRate);
  *freq = f;
  const float limit = readFunctionTable(sDampLimitTable, f);
  const float d0 = readFunctionTable(sDampTable, dampInput);
  damping[0] = d0 < limit ? d0 : limit;
  for (int s = 1; s < stages; ++s) {
    const float d = readFunctionTable(sDampTable, static_cast<float>(4 - s) * p * 0.035f);
    damping[s * dampingStride] = d < limit ? d : limit;
  }
  cache.stamp = stamp;
  if (stamp == 0) return;
  cache.frequency = fr;
  cache.peak = p;
  cache.inputScale = inputScale;
  cache.log2SampleRate = log2SampleRate;
  cache.stages = stages;
  cache.freq = f;
  for (int s = 0; s < stages; ++s) cache.damping[s] = damping[s * dampingStride];
  cache.cubic = *cubic;
  cache.clipScale = *clipScale;
  cache.gain = *gain;
  cache.dampInput = dampInput;
}

void StateVariableFilter::filter(const float* in, float* out, const float* frequency, const float* peakValues,
                                 const float* peakScale, int count, bool constant) {
  // Longer stretches than a block go through in blocks; the runs restart at
  // each.
  const int maxBlock = env->maxBlockSize;
  if (maxBlock < 1) return;
  while (count > maxBlock) {
    filterChunk(in, out, frequency, peakValues, peakScale, maxBlock, constant);
    in += maxBlock;
    out += maxBlock;
    frequency += maxBlock;
    peakValues += maxBlock;
    if (peakScale) peakScale += maxBlock;
    count -= maxBlock;
  }
  filterChunk(in, out, frequency, peakValues, peakScale, count, constant);
}

void StateVariableFilter::filterChunk(const float* in, float* out, const float* frequency, const float* peakValues,
                                      const float* peakScale, int count, bool constant) {
  if (count < 1) return;
  VectorFilterResponse r;
  int stages;
  prepareBlock(r, stages);
  const float inputScale = getInputScale();
  const ClipTable& clipper = activeClipTable();
  const uint64_t stamp = customizeStamp();

  float* F = frequencies.data;
  float* D = dampingRows.data;
  float* G = cubicDampings.data;
  float* S = clipScales.data;
  float* A = gains.data;
  int32_t* runs = runLengths.data();
  runs[0] = 0;
  // The rows are written over.
  groupRuns[0].valid = groupRuns[1].valid = false;

  auto coefficients = [&](int k, int i) {
    const float p = peakScale ? peakValues[i] * peakScale[i] : peakValues[i];
    computeCoefficients(frequency[i], p, inputScale, stages, F + k, D + k, count, G + k, S + k, A + k,
                        coefficientCaches[cLanes], stamp);
  };

  int k = 0;
  if (constant && !peakScale) {
    coefficients(0, 0);
    runs[1] = count;
    k = 1;
  } else {
    int start = 0;
    float runFrequency = frequency[0];
    for (int i = 1; i < count; ++i) {
      if (i % cUpdateInterval == 0 || std::fabs(frequency[i] - runFrequency) > cUpdateEpsilon) {
        coefficients(k, start);
        runs[++k] = i - start;
        start = i;
        runFrequency = frequency[i];
      }
    }
    coefficients(k, start);
    runs[++k] = count - start;
  }

  const int* lengths = runs + 1;
  vectorFilterDriveCpp(in, inputScale, F, D, G, lengths, low[0], band[0], r, out, count);
  for (int s = 1; s < stages; ++s) vectorFilterCpp(out, F, D + s * count, lengths, low[s], band[s], r, out, count);
  clipper.clip(out, out, S, A, lengths, count);
}

bool StateVariableFilter::gatherLanes(int count, Pass& p) {
  // Lanes 0-3 and 4-7 form two groups of four; a group without a sounding
  // lane is left out of the pass.
  p.groupActive[0] = p.groupActive[1] = false;
  for (int l = 0; l < cLanes; ++l) {
    retrieveFilterInput(l, p.inputs[l], p.freq[l], p.peaks[l], p.scales[l], count, p.constants[l]);
    if (p.peaks[l]) p.groupActive[l / 4] = true;
  }
  const bool anyActive = p.groupActive[0] || p.groupActive[1];
  p.served = getFilterCount() < cLanes ? getFilterCount() : cLanes;
  if (!anyActive || count < 1) {
    for (int l = 0; l < p.served; ++l) storeFilterOutput(l, p.inputs[l], laneOutputs[l], count);
    // No lane sounds: each starts from rest when it sounds again.
    if (!anyActive) resetState();
    return false;
  }
  // The inputs' blocks were pulled just now: their samples' addresses are
  // at hand here, not by the time the pass is prepared.
  for (int l = 0; l < cLanes; ++l) p.inputData[l] = p.inputs[l]->data;
  return true;
}

void StateVariableFilter::preparePass(int count, Pass& pass) {
  const int maxBlock = env->maxBlockSize;
  const float* const* freq = pass.freq;
  const float* const* peaks = pass.peaks;
  const float* const* scales = pass.scales;
  const bool* constants = pass.constants;
  const bool* groupActive = pass.groupActive;
  const float* const* inputs = pass.inputData;
  VectorFilterResponse& r = pass.response;
  int& stages = pass.stages;
  prepareBlock(r, stages);
  pass.inputScale = getInputScale();
  const float inputScale = pass.inputScale;
  pass.clipper = &activeClipTable();
  const uint64_t stamp = customizeStamp();
  const int rowStride = 4 * maxBlock;
  pass.rowStride = rowStride;
  VectorFilterLanes* groups = pass.groups;
  int& passes = pass.passes;
  passes = 0;
  for (int h = 0; h < 2; ++h) {
    float* lowH = low + 16 * h;
    float* bandH = band + 16 * h;
    if (!groupActive[h]) {
      // A silent group starts from rest when it sounds again.
      for (int i = 0; i < 16; ++i) lowH[i] = bandH[i] = 0.0f;
      continue;
    }
    const int first = 4 * h;
    float* F = frequencies.data + h * rowStride;
    float* D = dampingRows.data + h * 4 * rowStride;
    float* G = cubicDampings.data + h * rowStride;
    float* S = clipScales.data + h * rowStride;
    float* A = gains.data + h * rowStride;
    int32_t* runs = runLengths.data() + h * (maxBlock + 1);
    runs[0] = 0;

    auto coefficients = [&](int k, int i) {
      for (int j = 0; j < 4; ++j) {
        const int l = first + j;
        const int c = 4 * k + j;
        if (!peaks[l]) {
          // Inactive lanes are held at rest: zero coefficients on zero
          // states and silent input give silence (their output is not
          // used: their filters pass their input on).
          F[c] = 0.0f;
          G[c] = 0.0f;
          S[c] = 0.0f;
          A[c] = 0.0f;
          for (int s = 0; s < stages; ++s) D[s * rowStride + c] = 0.0f;
          continue;
        }
        const float p = scales[l] ? peaks[l][i] * scales[l][i] : peaks[l][i];
        computeCoefficients(freq[l][i], p, inputScale, stages, F + c, D + c, rowStride, G + c, S + c, A + c,
                            coefficientCaches[l], stamp);
      }
    };

    bool oneRun = true;
    for (int j = first; j < first + 4; ++j)
      if (!constants[j] || scales[j]) oneRun = false;

    GroupRun& memo = groupRuns[h];
    int k = 0;
    if (oneRun) {
      // A held note's group repeats its inputs block after block.
      bool same = stamp != 0 && memo.valid && memo.stamp == stamp && memo.stages == stages &&
                  memo.rowStride == rowStride && sameBits(memo.inputScale, inputScale) &&
                  sameBits(memo.log2SampleRate, log2SampleRate);
      for (int j = 0; j < 4 && same; ++j) {
        const int l = first + j;
        same = memo.active[j] == (peaks[l] != nullptr) &&
               (!peaks[l] || (memo.frequency[j] == std::bit_cast<uint32_t>(freq[l][0]) &&
                              memo.peak[j] == std::bit_cast<uint32_t>(peaks[l][0])));
      }
      if (same) {
        // What the lanes' caches would hand on, the last active lane's
        // damping input last (the memo keeps it: the caches of its lanes
        // change only where the memo is made anew or given up).
        if (memo.active[0] || memo.active[1] || memo.active[2] || memo.active[3]) dampInput = memo.dampInput;
      } else {
        coefficients(0, 0);
        memo.valid = stamp != 0;
        memo.stamp = stamp;
        memo.inputScale = inputScale;
        memo.log2SampleRate = log2SampleRate;
        memo.stages = stages;
        memo.rowStride = rowStride;
        for (int j = 0; j < 4; ++j) {
          const int l = first + j;
          memo.active[j] = peaks[l] != nullptr;
          memo.frequency[j] = peaks[l] ? std::bit_cast<uint32_t>(freq[l][0]) : 0u;
          memo.peak[j] = peaks[l] ? std::bit_cast<uint32_t>(peaks[l][0]) : 0u;
        }
        for (int j = 3; j >= 0; --j)
          if (memo.active[j]) {
            memo.dampInput = coefficientCaches[first + j].dampInput;
            break;
          }
      }
      runs[1] = count;
    } else {
      memo.valid = false;
      int start = 0;
      float runFrequency[4];
      for (int j = 0; j < 4; ++j) runFrequency[j] = freq[first + j][0];
      for (int i = 1; i < count; ++i) {
        bool split = i % cUpdateInterval == 0;
        for (int j = 0; j < 4 && !split; ++j)
          if (std::fabs(freq[first + j][i] - runFrequency[j]) > cUpdateEpsilon) split = true;
        if (split) {
          coefficients(k, start);
          runs[++k] = i - start;
          start = i;
          for (int j = 0; j < 4; ++j) runFrequency[j] = freq[first + j][i];
        }
      }
      coefficients(k, start);
      runs[++k] = count - start;
    }

    // Inactive lanes start from rest.
    for (int j = 0; j < 4; ++j) {
      if (peaks[first + j]) continue;
      for (int s = 0; s < 4; ++s) {
        lowH[4 * s + j] = 0.0f;
        bandH[4 * s + j] = 0.0f;
      }
    }

    VectorFilterLanes& g = groups[passes++];
    for (int j = 0; j < 4; ++j) {
      g.in[j] = inputs[first + j];
      g.out[j] = laneOutputData[first + j];
    }
    g.frequency = F;
    g.damping = D;
    g.cubicDamping = G;
    g.runLength = runs + 1;
    g.low = lowH;
    g.band = bandH;
    g.clipScale = S;
    g.clipGain = A;
  }
}

void StateVariableFilter::runPass(Pass& p, int count) {
  VectorFilterLanes* groups = p.groups;
  const int passes = p.passes;
  const int rowStride = p.rowStride;
  const int stages = p.stages;
  const VectorFilterResponse r = p.response;
  const float inputScale = p.inputScale;
  // The clipper runs inside the filter's pass, where its table reads fill
  // the time the filter's chain of dependent operations leaves idle; two
  // groups go through the 256-bit unit where the processor has one (the
  // same samples to the bit, half the operations).
  const FunctionTable<float>& table = p.clipper->getTable();
  const bool wide = passes == 2 && vectorFilterWideAvailable();
  if (table.getPoints() >= 2) {
    const VectorFilterClip clip = {table.getValues(), table.getFracOffset(), table.getIntOffset(), table.getScale(),
                                   table.getMask()};
    if (wide)
      vectorFilterCascadeClippedWide(groups, inputScale, rowStride, stages, r, clip, count);
    else
      vectorFilterCascadeClippedFast(groups, passes, inputScale, rowStride, stages, r, clip, count);
  } else if (wide) {
    vectorFilterCascadeEightLanesWide(groups, inputScale, rowStride, stages, r, count);
  } else if (passes == 2) {
    vectorFilterCascadeEightLanesFast(groups, inputScale, rowStride, stages, r, count);
  } else {
    const VectorFilterLanes& g = groups[0];
    vectorFilterCascadeParallelFast(g.in, inputScale, g.frequency, g.damping, rowStride, g.cubicDamping,
                                    g.runLength, g.low, g.band, stages, r, g.out, count);
  }
}

void StateVariableFilter::storePass(const Pass& p, int count) {
  for (int l = 0; l < p.served; ++l) storeFilterOutput(l, p.inputs[l], laneOutputs[l], count);
}

bool StateVariableFilter::allFiltersSounding() const {
  if (filters.empty()) return false;
  // Neighbouring lanes are mostly one voice's two channels: nothing runs
  // between the questions, so one controller answers alike twice in a row.
  const wave::MuteController* asked = nullptr;
  for (GenericFilter* f : filters) {
    wave::MuteController* m = f->getMuteController();
    if (!m || m == asked) continue;
    if (m->isMute() || m->mayMuteWhenPulled()) return false;
    asked = m;
  }
  return true;
}

void StateVariableFilter::joinPairs(StateVariableFilter* other) {
  if (other == this) other = nullptr;
  if (neighbour) neighbour->neighbour = nullptr;
  neighbour = other;
  if (!other) return;
  if (other->neighbour) other->neighbour->neighbour = nullptr;
  other->neighbour = this;
}

bool StateVariableFilter::joinsPass() {
  if (passStamp == env->stamp || !allFiltersSounding()) return false;
  passStamp = env->stamp;
  // The settings its filters would copy to it when asking it.
  if (GenericFilter* f = getFilter(0)) {
    slope = f->slope.get();
    response = f->response.get();
  }
  return true;
}

bool StateVariableFilter::canShare(const Pass& a, const Pass& b) {
  return a.passes == 2 && b.passes == 2 && a.response == b.response && a.stages == b.stages &&
         a.inputScale == b.inputScale && a.clipper == b.clipper && a.clipper->getTable().getPoints() >= 2;
}

void StateVariableFilter::filterParallel(int count) {
  const int maxBlock = env->maxBlockSize;
  if (count > maxBlock) count = maxBlock;
  passStamp = env->stamp;
  // This unit, its partner and the neighbouring pair. A unit goes along if
  // it has not been asked in this block yet and will be, with every lane as
  // it stands now: none of its filters is muted or may be muted by its
  // voice's own pull still to come (a lane's mute is asked when the unit
  // runs). Without the 256-bit unit the sets gain nothing from one pass.
  StateVariableFilter* units[4] = {this, nullptr, nullptr, nullptr};
  if (vectorFilterWideAvailable()) {
    units[1] = partner;
    if (neighbour) {
      units[2] = neighbour;
      units[3] = neighbour->partner;
    }
  }
  Pass pass[4];
  bool active[4] = {};
  bool anyActive = false;
  for (int u = 0; u < 4; ++u) {
    if (u > 0 && units[u] && !units[u]->joinsPass()) units[u] = nullptr;
    if (units[u]) active[u] = units[u]->gatherLanes(count, pass[u]);
    anyActive = anyActive || active[u];
  }
  if (!anyActive) return;

  wave::DenormalGuard guard;
  for (int u = 0; u < 4; ++u)
    if (active[u]) units[u]->preparePass(count, pass[u]);
  // Two sets of eight lanes with the same settings go through one pass,
  // where their chains overlap; two such pairs alike through one pass of
  // thirty-two lanes.
  const bool joint[2] = {active[0] && active[1] && canShare(pass[0], pass[1]),
                         active[2] && active[3] && canShare(pass[2], pass[3])};
  auto clipOf = [](const Pass& p) {
    const FunctionTable<float>& table = p.clipper->getTable();
    return VectorFilterClip{table.getValues(), table.getFracOffset(), table.getIntOffset(), table.getScale(),
                            table.getMask()};
  };
  if (joint[0] && joint[1] && canShare(pass[0], pass[2])) {
    const Pass& p = pass[0];
    VectorFilterLanes lanes[8];
    for (int u = 0; u < 4; ++u)
      for (int h = 0; h < 2; ++h) lanes[2 * u + h] = pass[u].groups[h];
    vectorFilterCascadeClippedWideQuad(lanes, p.inputScale, p.rowStride, p.stages, p.response, clipOf(p), count);
  } else {
    for (int u = 0; u < 4; u += 2) {
      if (joint[u / 2]) {
        const Pass& p = pass[u];
        const VectorFilterLanes lanes[4] = {p.groups[0], p.groups[1], pass[u + 1].groups[0], pass[u + 1].groups[1]};
        vectorFilterCascadeClippedWidePair(lanes, p.inputScale, p.rowStride, p.stages, p.response, clipOf(p), count);
        continue;
      }
      for (int v = u; v < u + 2; ++v)
        if (active[v]) units[v]->runPass(pass[v], count);
    }
  }
  for (int u = 0; u < 4; ++u)
    if (active[u]) units[u]->storePass(pass[u], count);
}
