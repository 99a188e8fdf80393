#include "plugin/MidiVirtualPluginParameter.h"

#include "plugin/AbstractPluginParameter.h"
#include "plugin/GenericPlugin.h"

#include <cmath>

namespace {

constexpr float cEpsilon = 1.1920929e-7f;

float clampUnit(float x) { return x < 0.0f ? 0.0f : (x < 1.0f ? x : 1.0f); }

} // namespace

MidiVirtualPluginParameter::MidiVirtualPluginParameter(GenericPlugin* plugin, const std::string& name)
    : mIdentifier(-1), mName(name) {
  mIdentifier = plugin->registerMidiVirtualParameter(this);
}

MidiDuoVirtualPluginParameter::MidiDuoVirtualPluginParameter(GenericPlugin* plugin, const std::string& name,
                                                             AbstractPluginParameter* first,
                                                             AbstractPluginParameter* second)
    : MidiVirtualPluginParameter(plugin, name), mFirst(first), mSecond(second) {}

void MidiDuoVirtualPluginParameter::receiveMessage(float normalized) {
  if (!std::isfinite(normalized)) return;
  const float distance = mSecond->getNormalizedValue() - mFirst->getNormalizedValue();
  // The distance differs from the one left by the last move only when
  // something else has moved a parameter since; that distance is adopted.
  // One narrowed by our own stop at a limit is what we left, so the earlier
  // spread comes back once the controller moves away from the limit.
  if (std::isfinite(distance) && std::fabs(distance - mLastSpread) > cEpsilon) mSpread = distance;
  mFirst->setNormalizedValue(clampUnit(normalized - 0.5f * mSpread), 0);
  mSecond->setNormalizedValue(clampUnit(normalized + 0.5f * mSpread), 0);
  // Read back: the parameters may have clamped or stepped what they got.
  mLastSpread = mSecond->getNormalizedValue() - mFirst->getNormalizedValue();
}
