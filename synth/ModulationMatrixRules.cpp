// The static side of the modulation matrix: what each source and target is,
// and the rules that decide which slots produce sound.

#include "synth/ModulationMatrix.h"

namespace {

struct TargetInfo {
  const char* name;
  bool voice;
  int8_t generator;
  ModulationMatrix::TargetScale scale;
  float fullScale;
  float offset;
};

constexpr ModulationMatrix::TargetScale cAdd = ModulationMatrix::cAdditive;
constexpr ModulationMatrix::TargetScale cExp = ModulationMatrix::cExponential;
constexpr float cT = ModulationMatrix::cTimeOffset;

// The full scales are explained at the top of ModulationMatrix.h.
constexpr TargetInfo cTargets[ModulationMatrix::cNumParameterTargets] = {
    {"Noise Level", true, -1, cAdd, 1.0f, 0.0f},
    {"Noise Pan", true, -1, cAdd, 1.0f, 0.0f},
    {"Master Tune", true, -1, cAdd, 2.0f, 0.0f},
    {"Osc 1 Sync", true, -1, cAdd, 2.0f, 0.0f},
    {"Osc 1 Pulse Width", true, -1, cAdd, 1.0f, 0.0f},
    {"Osc 1 Level", true, -1, cAdd, 1.0f, 0.0f},
    {"Osc 1 Pan", true, -1, cAdd, 1.0f, 0.0f},
    {"Osc 2 Detune", true, -1, cAdd, 1.0f, 0.0f},
    {"Osc 2 Sync", true, -1, cAdd, 2.0f, 0.0f},
    {"Osc 2 Pulse Width", true, -1, cAdd, 1.0f, 0.0f},
    {"Osc 2 Level", true, -1, cAdd, 1.0f, 0.0f},
    {"Osc 2 Pan", true, -1, cAdd, 1.0f, 0.0f},
    {"Filter 1 Freq", true, -1, cAdd, 5.0f, 0.0f},
    {"Filter 1 Pan", true, -1, cAdd, 1.0f, 0.0f},
    {"Filter 1 Peak", true, -1, cAdd, 1.0f, 0.0f},
    {"Filter 2 Freq", true, -1, cAdd, 5.0f, 0.0f},
    {"Filter 2 Pan", true, -1, cAdd, 1.0f, 0.0f},
    {"Filter 2 Peak", true, -1, cAdd, 1.0f, 0.0f},
    {"Volume", true, -1, cAdd, 1.0f, 0.0f},
    {"Stereo", false, -1, cAdd, 1.0f, 0.0f},
    {"LFO 1 Frequency", false, ModulationMatrix::cSourceLFO1, cExp, 4.0f, 0.0f},
    {"LFO 2 Frequency", false, ModulationMatrix::cSourceLFO2, cExp, 4.0f, 0.0f},
    {"LFO 3 Frequency", false, ModulationMatrix::cSourceLFO3, cExp, 4.0f, 0.0f},
    {"EG 1 Delay", true, ModulationMatrix::cSourceEG1, cExp, 4.0f, cT},
    {"EG 1 Attack", true, ModulationMatrix::cSourceEG1, cExp, 4.0f, cT},
    {"EG 1 Decay", true, ModulationMatrix::cSourceEG1, cExp, 4.0f, cT},
    {"EG 1 Sustain", true, ModulationMatrix::cSourceEG1, cAdd, 1.0f, 0.0f},
    {"EG 1 Release", true, ModulationMatrix::cSourceEG1, cExp, 4.0f, cT},
    {"EG 2 Delay", true, ModulationMatrix::cSourceEG2, cExp, 4.0f, cT},
    {"EG 2 Attack", true, ModulationMatrix::cSourceEG2, cExp, 4.0f, cT},
    {"EG 2 Decay", true, ModulationMatrix::cSourceEG2, cExp, 4.0f, cT},
    {"EG 2 Sustain", true, ModulationMatrix::cSourceEG2, cAdd, 1.0f, 0.0f},
    {"EG 2 Release", true, ModulationMatrix::cSourceEG2, cExp, 4.0f, cT},
    {"EG Main Hold", true, ModulationMatrix::cSourceEGMain, cExp, 4.0f, cT},
    {"EG Main Attack", true, ModulationMatrix::cSourceEGMain, cExp, 4.0f, cT},
    {"EG Main Decay", true, ModulationMatrix::cSourceEGMain, cExp, 4.0f, cT},
    {"EG Main Sustain", true, ModulationMatrix::cSourceEGMain, cAdd, 1.0f, 0.0f},
    {"EG Main Release", true, ModulationMatrix::cSourceEGMain, cExp, 4.0f, cT},
};

constexpr const char* cSourceNames[ModulationMatrix::cNumSources] = {
    "LFO 1",    "LFO 2",    "LFO 3",     "EG 1",       "EG 2",      "EG Main",
    "Velocity", "KB Track", "Mod Wheel", "Pitch Bend", "Aftertouch"};

// Generators are the sources with inputs of their own: the LFOs and EGs.
constexpr int cNumGenerators = ModulationMatrix::cSourceEGMain + 1;
constexpr int cNumNodes = cNumGenerators + ModulationMatrix::cNumSlots;

bool isParameterTarget(int target) { return target >= 0 && target < ModulationMatrix::cNumParameterTargets; }
bool isSlotLevelTarget(int target) {
  return target >= ModulationMatrix::cTargetSlotLevel && target < ModulationMatrix::cNumTargets;
}

// A slot's settings with out-of-range values read as unset.
int sourceOf(const ModulationMatrix::SlotConfig& slot) {
  return ModulationMatrix::isSourceIndex(slot.source) ? slot.source : -1;
}
int targetOf(const ModulationMatrix::SlotConfig& slot) {
  return ModulationMatrix::isTargetIndex(slot.target) ? slot.target : -1;
}

// Whether the slot's chain of slot levels ends in a per-voice target. A
// chain that ends in an unset target or runs in a circle constrains
// nothing, so it counts as per voice (the loop rule deals with circles).
bool endsPerVoice(const ModulationMatrix::SlotConfig* slots, int slot) {
  int target = targetOf(slots[slot]);
  for (int steps = 0; isSlotLevelTarget(target); ++steps) {
    if (steps > ModulationMatrix::cNumSlots) return true;
    target = targetOf(slots[target - ModulationMatrix::cTargetSlotLevel]);
  }
  return target < 0 || ModulationMatrix::isVoiceParameterTarget(target);
}

// The node a slot feeds: the slot whose level it targets, or the generator
// whose parameter it targets; -1 for none.
int successorOf(const ModulationMatrix::SlotConfig& slot) {
  const int target = targetOf(slot);
  if (isSlotLevelTarget(target)) return cNumGenerators + target - ModulationMatrix::cTargetSlotLevel;
  const int generator = ModulationMatrix::getTargetGenerator(target);
  return generator >= 0 ? generator : -1;
}

// Whether the candidate slot, added to the accepted ones, lies on a loop:
// whether its successor leads back to it.
bool closesLoop(const ModulationMatrix::SlotConfig* slots, const bool* accepted, int candidate) {
  const int start = successorOf(slots[candidate]);
  if (start < 0) return false;
  const int goal = cNumGenerators + candidate;
  bool seen[cNumNodes] = {};
  int stack[cNumNodes];
  int depth = 0;
  stack[depth++] = start;
  seen[start] = true;
  while (depth > 0) {
    const int node = stack[--depth];
    if (node == goal) return true;
    auto visit = [&](int next) {
      if (next >= 0 && !seen[next]) {
        seen[next] = true;
        stack[depth++] = next;
      }
    };
    if (node < cNumGenerators) {
      // A generator feeds every slot it is the source of.
      for (int s = 0; s < ModulationMatrix::cNumSlots; ++s)
        if ((accepted[s] || s == candidate) && sourceOf(slots[s]) == node) visit(cNumGenerators + s);
    } else {
      const int s = node - cNumGenerators;
      if (accepted[s] || s == candidate) visit(successorOf(slots[s]));
    }
  }
  return false;
}

} // namespace


bool ModulationMatrix::isVoiceParameterTarget(int target) {
  return isParameterTarget(target) && cTargets[target].voice;
}

int ModulationMatrix::getTargetGenerator(int target) {
  return isParameterTarget(target) ? cTargets[target].generator : -1;
}

float ModulationMatrix::getTargetFullScale(int target) {
  if (isParameterTarget(target)) return cTargets[target].fullScale;
  return isSlotLevelTarget(target) ? 1.0f : 0.0f;
}

ModulationMatrix::TargetScale ModulationMatrix::getTargetScale(int target) {
  return isParameterTarget(target) ? cTargets[target].scale : cAdditive;
}

float ModulationMatrix::getTargetOffset(int target) {
  return isParameterTarget(target) ? cTargets[target].offset : 0.0f;
}

const char* ModulationMatrix::getSourceName(int source) { return isSourceIndex(source) ? cSourceNames[source] : ""; }

std::string ModulationMatrix::getTargetName(int target) {
  if (isParameterTarget(target)) return cTargets[target].name;
  if (isSlotLevelTarget(target)) return "Slot " + std::to_string(target - cTargetSlotLevel + 1) + " Level";
  return "";
}

void ModulationMatrix::analyze(const SlotConfig* slots, Analysis& result) {
  for (int s = 0; s < cNumSlots; ++s) {
    result.valid[s] = false;
    result.voice[s] = endsPerVoice(slots, s);
  }
  // In slot order, so that of the slots of a loop the last one gives way.
  for (int s = 0; s < cNumSlots; ++s) {
    const SlotConfig& slot = slots[s];
    const int source = sourceOf(slot);
    if (source < 0 || targetOf(slot) < 0 || slot.bypassed) continue;
    if (!result.voice[s] && isVoiceSource(source)) continue;
    if (closesLoop(slots, result.valid, s)) continue;
    result.valid[s] = true;
  }
}
