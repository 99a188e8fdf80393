#include "host/bridge/DigiRTASPluginAdapter.h"

#include "host/CEffectType.h"
#include "plugin/MidiMessage.h"
#include "wave/Environment.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// Ticks of the host's bar/beat position per whole note (960000 per quarter
// note): ticks x meter denominator / this is the position in beats.
constexpr double kBeatsPerTickAndDenominator = 2.604166666666667e-7;

MidiMessage ToMidiMessage(const SMIDIRecord& r) {
  MidiMessage m;
  m.status = r.fByteCount >= 1 ? r.fData[0] : 0;
  m.data1 = r.fByteCount >= 2 ? r.fData[1] : 0;
  m.data2 = r.fByteCount >= 3 ? r.fData[2] : 0;
  m.sampleOffset = static_cast<int>(std::min<uint32_t>(r.fSampleOffset, 0x7FFFFFFF));
  return m;
}

} // namespace

CEffectProcess* createDigiRTASPluginAdapter() { return new DigiRTASPluginAdapter; }
CEffectProcess* createDigiRTASPluginAdapterMonoToStereo() { return new DigiRTASPluginAdapterMonoToStereo; }

DigiRTASPluginAdapter::DigiRTASPluginAdapter() = default;

DigiRTASPluginAdapter::~DigiRTASPluginAdapter() {
  if (IsMIDILoggedIn()) MIDILogOut();
  // A node outlives a failed log-out: it leaves its session itself.
  delete fNode;
  delete fTransport;
}

int32_t DigiRTASPluginAdapter::Initialize() {
  if (MIDILogIn() == 0) {
    if (auto* type = dynamic_cast<CEffectType*>(GetProcessType())) {
      unsigned char name[64] = {};
      if (type->GetProcessTypeName(63, name) != 0) name[0] = 0;
      fNode = new CEffectMIDIRTASBufferedNode(GetMIDIWorld(), eMIDINode_BufferedInput,
                                              std::string(reinterpret_cast<const char*>(name + 1), name[0]), nullptr);
      fNode->Initialize(1, 0);
    }
    fTransport = new CEffectMIDITransport(GetMIDIWorld());
  }
  int16_t inputs = 0, outputs = 0;
  GetNumAudioInputs(&inputs);
  GetNumAudioOutputs(&outputs);
  fInputChannels = inputs;
  fOutputChannels = outputs;
  return CEffectProcess::Initialize();
}

int32_t DigiRTASPluginAdapter::SetSampleRate(int32_t rate) {
  // The render thread may be rendering: the plug-in prepares for the rate
  // here and its environment takes it at the start of the next render call.
  if (rate > 0) GetPlugin()->changeSampleRate(static_cast<float>(rate));
  return CProcess::SetSampleRate(rate);
}

void DigiRTASPluginAdapter::RenderAudio(float** inputs, float** outputs, int32_t sampleCount) {
  Render(inputs, fInputChannels, outputs, sampleCount);
}

void DigiRTASPluginAdapterMonoToStereo::RenderAudio(float** inputs, float** outputs, int32_t sampleCount) {
  // The single host input feeds both channels; the side chain follows it.
  float* local[3] = {inputs[0], inputs[0], nullptr};
  if (GetPlugin()->hasSideChain()) local[2] = inputs[1];
  Render(local, 2, outputs, sampleCount);
}

void DigiRTASPluginAdapter::Render(float** inputs, int32_t mainInputs, float** outputs, int32_t n) {
  CRenderScope scope(this);
  PerformRequestedReset();
  syncAndProcessMidi();

  GenericPlugin* plugin = GetPlugin();
  const int32_t channels = plugin->getChannelCount();
  // Only the outputs the host connected are written.
  const int32_t outputCount = std::clamp(channels, 0, fOutputChannels);
  const bool effect = plugin->getType() == 1;
  auto mainInput = [&](int32_t k) { return k < mainInputs ? inputs[k] : nullptr; };

  if (IsBypassed()) {
    for (int32_t k = 0; k < outputCount; ++k) {
      const float* in = effect ? mainInput(k) : nullptr;
      if (in)
        std::memmove(outputs[k], in, sizeof(float) * static_cast<size_t>(n));
      else
        std::memset(outputs[k], 0, sizeof(float) * static_cast<size_t>(n));
    }
    return;
  }

  // An effect's main inputs, then the host's one side-chain input once for
  // every channel (the plug-in's side-chain input of channel k is entry
  // main count + k). An instrument has no main inputs: it sees its
  // side-chain inputs alone.
  float* local[kMaxPluginInputs] = {};
  int32_t count = 0;
  if (effect)
    for (int32_t k = 0; k < channels && count < kMaxPluginInputs; ++k) local[count++] = mainInput(k);
  if (plugin->hasSideChain())
    for (int32_t k = 0; k < channels && count < kMaxPluginInputs; ++k) local[count++] = inputs[mainInputs];
  plugin->process(local, count, outputs, outputCount, n);
}

void DigiRTASPluginAdapter::syncAndProcessMidi() {
  // Four host calls a quantum (and the host's lock for the location) that an
  // instance whose LFOs run freely would not use.
  if (fTransport && GetPlugin()->followsTransport()) {
    int64_t location = 0;
    const bool located = fTransport->GetCurrentRTASSampleLocation(&location) == 0;
    double tempo = 0.0;
    if (fTransport->GetCurrentTempo(&tempo) == 0) fTempo = tempo;
    int32_t numerator = 0, denominator = 0;
    if (fTransport->GetCurrentMeter(&numerator, &denominator) == 0) {
      fNumerator = numerator;
      fDenominator = denominator;
    }
    int32_t bars = 0, beats = 0;
    int64_t ticks = 0;
    if (located && fTransport->GetBarBeatPosition(&bars, &beats, &ticks, location) == 0) {
      // bars x numerator + beats - 1 (so bar 1, beat 1 of 4/4 is 4), then the
      // ticks within the beat.
      const int64_t whole = static_cast<int64_t>(bars) * fNumerator + beats - 1;
      fSongPosition = static_cast<double>(whole) +
                      static_cast<double>(ticks * static_cast<int64_t>(fDenominator)) * kBeatsPerTickAndDenominator;
    }
  }
  GetPlugin()->sync(static_cast<float>(fTempo), static_cast<float>(fSongPosition));

  if (!fNode) return;
  // The count is read again for every record.
  for (int32_t i = 0; i < fNode->GetBufferSize(); ++i) {
    const SMIDIRecord* records = fNode->GetBufferPtr();
    if (!records) break;
    GetPlugin()->receiveMidiMessage(ToMidiMessage(records[i]));
  }
}
