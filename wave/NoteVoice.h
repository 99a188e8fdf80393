#pragma once

// What the voice manager needs of a voice: to start, re-pitch and release
// it, to know whether it is silent or held, and the blocks it sums into the
// manager's outputs.

#include "wave/MuteController.h"
#include "wave/Producer.h"

class NoteVoice : public wave::MuteController {
public:
  // True when the voice is silent and may be reused at once. A silent voice
  // stays silent until its next keyDown (the manager stops asking meanwhile).
  bool isMute() override = 0;
  // The amplitude envelope that scales the voice's outputs.
  virtual wave::Producer* getEnvelope() = 0;
  // count gain samples for this block, 16-byte aligned like a block's data.
  // The voice pulls its own gain producer (with flags, so that a mute call
  // only advances it).
  virtual float* getGainSamples(int count, int flags) = 0;
  // The voice's signal for output channel channel.
  virtual wave::Producer* getOutput(int channel) = 0;
  // True between a keyDown and its keyUp.
  virtual bool isKeyDown() = 0;
  // Starts or re-pitches the voice. startNote 0 glides on from the pitch
  // the voice is sounding; startNote >= 1 starts the glide at that note's
  // pitch (the note itself: no glide).
  virtual void keyDown(float note, int startNote, float velocity) = 0;
  virtual void keyUp(float velocity) = 0;
  // Called after the voice's block was added to the outputs, while
  // releasing is set: largest is the block's largest sample over the
  // voice's channels before its gain and envelope scaled them (the voice
  // knows its own gain block). A voice that can no longer be heard may end
  // its release here (isMute turns true from the next block on).
  virtual void measureRelease(float /*largest*/, int /*count*/) {}
  ~NoteVoice() override = default;

  // Set by getGainSamples where every one of its samples is heldGain: the
  // manager then scales by the value instead of reading the block. Kept
  // beside the voice's first line, which the manager reads anyway.
  bool gainHeld = false;
  float heldGain = 0.0f;
  // Set by getGainSamples while the voice wants its release measured (near
  // its end): the manager then measures the block for measureRelease. Only
  // such voices pay for it.
  bool releasing = false;
};
