#pragma once

namespace wave {

// Asked by units that can skip their work while a voice is silent; voices
// and envelopes answer.
class MuteController {
public:
  virtual ~MuteController() = default;
  virtual bool isMute() = 0;
};

} // namespace wave
