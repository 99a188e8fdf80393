#pragma once

namespace wave {

// Asked by units that can skip their work while a voice is silent; voices
// and envelopes answer. Asking changes nothing: a unit may take one answer
// for several of its lanes when nothing runs between the questions.
class MuteController {
public:
  virtual ~MuteController() = default;
  virtual bool isMute() = 0;
  // Whether isMute may turn true in this block when the voice itself is
  // pulled (an envelope whose release has just ended falls silent on its
  // next pull). A unit that works ahead of a voice's own pull, for voices
  // not pulled yet, does so only where this is false. True unless the
  // controller knows better.
  virtual bool mayMuteWhenPulled() { return true; }
};

} // namespace wave
