#pragma once

// The process the host instantiates for each insert of the plug-in,
// rendered by the host's real-time thread. Per render call it hands the
// plug-in the host's tempo and song position, queues the call's MIDI events
// with their sample offsets, and renders through GenericPlugin::process, or
// outputs silence (an instrument) or its inputs (an effect) while bypassed.
//
// A failed MIDI log-in leaves the instance without MIDI node and transport:
// it then renders without MIDI, and the plug-in keeps the last tempo and
// position it was given (120 beats per minute at position 0 before any). A
// transport query that fails keeps the last good value of what it asks.
//
// Threads: RenderAudio and syncAndProcessMidi on the render thread,
// everything else on the main thread. RenderAudio takes no lock and
// allocates nothing.

#include "host/CEffectMIDI.h"
#include "host/CEffectProcessRTAS.h"
#include "host/bridge/DigiPluginAdapter.h"

#include <cstdint>

class DigiRTASPluginAdapter : public DigiPluginAdapter, public CEffectProcessRTAS {
public:
  // The most inputs the plug-in is given: main and side-chain inputs.
  static constexpr int32_t kMaxPluginInputs = 4;

  DigiRTASPluginAdapter();
  // Logs out of the host MIDI service and deletes the node and transport.
  ~DigiRTASPluginAdapter() override;

  // Logs in to the host MIDI service and makes the MIDI node and transport,
  // then the host layer's start-up, which defines the controls.
  int32_t Initialize() override;
  void RenderAudio(float** inputs, float** outputs, int32_t sampleCount) override;
  // Sets the plug-in's processing rate (a rate of 0 or below is not
  // handed on) and stores it; 0.
  int32_t SetSampleRate(int32_t rate) override;

  // Render thread: hands the plug-in the transport's tempo and song
  // position, then queues the MIDI records of the current render call.
  void syncAndProcessMidi();

  CEffectMIDIRTASBufferedNode* GetMIDINode() const { return fNode; }
  CEffectMIDITransport* GetTransport() const { return fTransport; }

protected:
  // The render call proper. inputs holds mainInputs main inputs, followed
  // by the side-chain input when the plug-in has one.
  void Render(float** inputs, int32_t mainInputs, float** outputs, int32_t sampleCount);

private:
  CEffectMIDIRTASBufferedNode* fNode = nullptr;
  CEffectMIDITransport* fTransport = nullptr;
  // The channels of the instance's input and output stems (main thread,
  // before rendering starts).
  int32_t fInputChannels = 0;
  int32_t fOutputChannels = 0;
  // Render thread: the last good transport values.
  double fTempo = 120.0;
  int32_t fNumerator = 4;
  int32_t fDenominator = 4;
  double fSongPosition = 0.0;
};

// The process of the mono-in, stereo-out type of an effect: its single host
// input feeds both channels' inputs.
class DigiRTASPluginAdapterMonoToStereo : public DigiRTASPluginAdapter {
public:
  void RenderAudio(float** inputs, float** outputs, int32_t sampleCount) override;
};

// The creators attached to the two process types.
CEffectProcess* createDigiRTASPluginAdapter();
CEffectProcess* createDigiRTASPluginAdapterMonoToStereo();
