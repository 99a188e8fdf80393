// The render-thread side of the plug-in: parameter changes handed over
// through the parameter queue, MIDI decoded at its own sample, the host
// buffer rendered in slices, and the notification of the host bridge and the
// editor.

#include "plugin/GenericPlugin.h"

#include "base/PlatformUtils.h"
#include "base/PresetContext.h"
#include "plugin/AbstractPluginParameter.h"
#include "plugin/MidiDecoder.h"
#include "plugin/MidiVirtualPluginParameter.h"
#include "wave/DenormalGuard.h"
#include "wave/Environment.h"

#include <cstring>

void GenericPlugin::process(float** inputs, int inputCount, float** outputs, int outputCount, int sampleCount) {
  // The render state the filter kernels expect (flush-to-zero,
  // denormals-are-zero, exceptions masked, round-to-nearest) for the whole
  // buffer; the host's own state comes back when process returns.
  wave::DenormalGuard renderState;

  // The rate first: the parameter changes below and every slice see it.
  // A program change that had to wait takes effect where this buffer
  // begins, as one decoded there does: its values go to the engine with the
  // changes queued before them, so the product sees them before any key of
  // the buffer.
  applyPendingSampleRate();
  applyDeferredProgramChange();
  handOverParameterChanges();
  const int n = outputCount < 0 ? 0 : (outputCount > cMaxOutputs ? cMaxOutputs : outputCount);
  const int maxBlock = mEnvironment->maxBlockSize;
  connectInputs(inputs, inputCount, sampleCount);

  MidiMessage message;
  if (sampleCount <= 0) {
    while (mMidiQueue.retrieve(message)) decodeMidiMessage(message);
    return;
  }

  // Each slice ends at the next message's offset, so that the message takes
  // effect at its own sample. A message at or before the position (an
  // offset out of order, or negative) is decoded at once; one at or past the
  // end of the buffer after the whole buffer.
  int position = 0;
  for (;;) {
    const bool received = mMidiQueue.retrieve(message);
    const int end = received && message.sampleOffset < sampleCount ? message.sampleOffset : sampleCount;
    while (position < end) {
      int k = end - position < maxBlock ? end - position : maxBlock;
      if (const int shorter = beginSlice(k); shorter > 0 && shorter < k) k = shorter;
      mEnvironment->beginBlock();
      processSlice(mOutputs, n, k);
      mEnvironment->endBlock(k);
      for (int i = 0; i < n; ++i) {
        float* out = outputs[i];
        if (!out) continue;
        if (mOutputs[i])
          std::memcpy(out + position, mOutputs[i], sizeof(float) * static_cast<size_t>(k));
        else
          std::memset(out + position, 0, sizeof(float) * static_cast<size_t>(k));
      }
      position += k;
    }
    if (received) decodeMidiMessage(message);
    if (position >= sampleCount) {
      while (mMidiQueue.retrieve(message)) decodeMidiMessage(message);
      return;
    }
  }
}

void GenericPlugin::applyPendingSampleRate() {
  // Looked at before it is taken: no locked write per quantum while no
  // rate waits.
  if (!(mPendingSampleRate.load(std::memory_order_relaxed) > 0.0f)) return;
  const float rate = mPendingSampleRate.exchange(0.0f, std::memory_order_acquire);
  if (rate > 0.0f && mEnvironment) mEnvironment->setSampleRate(rate);
}

void GenericPlugin::decodeMidiMessage(const MidiMessage& message) {
  if (mMidiDecoder) mMidiDecoder->receiveMidiMessage(message);
}

void GenericPlugin::processSlice(const float** outputs, int outputCount, int sampleCount) {
  // Outputs past the channel list repeat the last channel.
  const float* last = nullptr;
  const int channels = static_cast<int>(mChannels.size());
  for (int i = 0; i < outputCount; ++i) {
    if (i < channels) last = mChannels[static_cast<size_t>(i)]->retrieveSamples(sampleCount, 0);
    outputs[i] = last;
  }
}

void GenericPlugin::connectInputs(float** inputs, int inputCount, int sampleCount) {
  if (getType() != 1 || mChannelCount <= 0) return;
  // Channels the product did not make, and inputs the host did not pass,
  // are not touched; a missing input is silence.
  const int channels = mChannelCount < static_cast<int>(mChannels.size()) ? mChannelCount
                                                                          : static_cast<int>(mChannels.size());
  const int count = sampleCount < 0 ? 0 : sampleCount;
  const bool sideChain = hasSideChain();
  auto input = [&](int i) { return inputs && i < inputCount ? inputs[i] : nullptr; };
  for (int i = 0; i < channels; ++i) {
    Channel* channel = mChannels[static_cast<size_t>(i)];
    channel->setInputBuffer(input(i), count);
    if (sideChain) channel->setSideChainBuffer(input(i + mChannelCount), count);
  }
}

void GenericPlugin::reset() {
  if (mEnvironment) mEnvironment->reset();
}

void GenericPlugin::processParameterChangeEvents() {
  // A held change says only which parameter changed: its value is the
  // parameter's own, now.
  mHeldParameterChanges.release([this](int index) {
    if (AbstractPluginParameter* parameter = mParameters.get(index)) {
      updateParameterValue(parameter, parameter->getValue());
      parameterChange(index);
    }
  });
  ParameterChangeEvent event;
  while (mParameterQueue.retrieve(event)) {
    AbstractPluginParameter* parameter = mParameters.get(event.index);
    if (!parameter) continue;
    updateParameterValue(parameter, event.value);
    parameterChange(event.index);
  }
}

void GenericPlugin::holdParameterChangeEvents() {
  ParameterChangeEvent event;
  while (mParameterQueue.retrieve(event)) mHeldParameterChanges.hold(event.index);
}

void GenericPlugin::handOverParameterChanges() {
  if (prepareParameterChanges())
    holdParameterChangeEvents();
  else
    processParameterChangeEvents();
}

void GenericPlugin::updateParameters() {
  for (int i = 0; i < mParameters.size(); ++i) {
    AbstractPluginParameter* parameter = mParameters[i];
    updateParameterValue(parameter, parameter->getValue());
    parameterChange(i);
  }
}

void GenericPlugin::parameterChange(int index) {
  for (Channel* channel : mChannels) channel->parameterChange(index);
}

void GenericPlugin::handleParameterChange(int index, float value, int flags) {
  // A full queue whose pool cannot grow drops the event: the parameter
  // holds the value, and the engine gets it with its next change.
  mParameterQueue.add(ParameterChangeEvent{index, value});
  markPresetModified();
  if (mUpdateDepth.load() != 0) {
    mUpdatePending.store(true);
    // The batch may have ended meanwhile; then this change is announced on
    // its own.
    if (mUpdateDepth.load() != 0) return;
  }
  if (!(flags & cParameterChangeFromHost))
    if (Adapter* adapter = getAdapter()) adapter->pluginParameterChange(index);
  postEventToListener(cParameterChangeEvent, index);
}

void GenericPlugin::beginParameterUpdate() { mUpdateDepth.fetch_add(1); }

void GenericPlugin::endParameterUpdate() {
  // An end without a matching begin is ignored: a negative depth would
  // silence every later change.
  int32_t depth = mUpdateDepth.load();
  do {
    if (depth <= 0) return;
  } while (!mUpdateDepth.compare_exchange_weak(depth, depth - 1));
  if (depth != 1 || !mUpdatePending.exchange(false)) return;
  if (Adapter* adapter = getAdapter()) adapter->pluginParameterChange(-1);
  postEventToListener(cParameterChangeEvent, -1);
}

void GenericPlugin::markPresetModified() {
  if (!mPresetContext) return;
  if (!isMainThread()) {
    // The context is the main thread's; it mirrors the flag when it next
    // applies the hand-off.
    mPresetContextHandOff->markModified();
    return;
  }
  // What other threads did before comes first, so a clearing they left
  // cannot undo this.
  applyPendingPresetContext();
  if (!mPresetContext->presetModified.get()) mPresetContext->presetModified = true;
}

void GenericPlugin::receiveMidiParameterMessage(int index, float normalized) {
  if (MidiVirtualPluginParameter* virtualParameter = getMidiVirtualParameterFromParameterIndex(index)) {
    virtualParameter->receiveMessage(normalized);
  } else if (AbstractPluginParameter* parameter = mParameters.get(index)) {
    parameter->setValue(parameter->convertNormalizedToNatural(normalized), 0);
  } else {
    // A stored controller map may name any index.
    return;
  }
  markPresetModified();
}

MidiVirtualPluginParameter* GenericPlugin::getMidiVirtualParameterFromParameterIndex(int index) const {
  if (index < cMidiVirtualParameterBase) return nullptr;
  const size_t position = static_cast<size_t>(index - cMidiVirtualParameterBase);
  return position < mMidiVirtualParameters.size() ? mMidiVirtualParameters[position] : nullptr;
}

void GenericPlugin::receiveMidiMessage(const MidiMessage& message) {
  if (mMidiBlocked) return;
  // A full queue drops the message.
  mMidiQueue.add(message);
  postEventToListener(cMidiReceivedEvent, 0);
}

void GenericPlugin::notifyGeneralChange(int value) { postEventToListener(cGeneralChangeEvent, value); }

void GenericPlugin::postEventToListener(int code, int value) {
  // setListener waits for this count to fall to 0 after it has replaced the
  // listener, so once it returns no call to the old one is in progress.
  mListenerInUse.fetch_add(1);
  if (Listener* listener = mListener.load()) listener->postEvent(code, value);
  mListenerInUse.fetch_sub(1);
}

void GenericPlugin::setListener(Listener* listener) {
  mListener.store(listener);
  while (mListenerInUse.load() != 0) sleepCurrentThread(50);
}
