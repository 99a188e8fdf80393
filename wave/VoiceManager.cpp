#include "wave/VoiceManager.h"

#include "wave/VectorKernels.h"

#include <algorithm>
#include <cmath>
#include <xmmintrin.h>

namespace {

// Appends value to a list that keeps its reserved room: the oldest entry
// gives way when the list is full.
template <class T>
void appendBounded(std::vector<T>& list, const T& value, size_t room) {
  if (list.size() >= room) list.erase(list.begin());
  list.push_back(value);
}

// out = x x envelope x gain (add false) or out + x x envelope x gain, as
// vectorMultiply3Fast and vectorMul3AddFast form them; an envelope or a
// gain that holds one value over the block comes as that value (e0, g0)
// rather than as its block, which then need not be read.
template <bool add, bool heldEnvelope, bool heldGain>
void scaleInto(const float* x, const float* e, float e0, const float* g, float g0, float* out, int n) {
  const __m128 ve = _mm_set1_ps(e0), vg = _mm_set1_ps(g0);
  for (int i = 0; i < n; i += 4) {
    const __m128 xe = _mm_mul_ps(_mm_load_ps(x + i), heldEnvelope ? ve : _mm_load_ps(e + i));
    __m128 p = _mm_mul_ps(xe, heldGain ? vg : _mm_load_ps(g + i));
    if (add) p = _mm_add_ps(p, _mm_load_ps(out + i));
    _mm_store_ps(out + i, p);
  }
}

// The same for a left and right pair in one pass: each group of the
// envelope and the gain is read once for both.
template <bool add, bool heldEnvelope, bool heldGain>
void scalePairInto(const float* x, const float* y, const float* e, float e0, const float* g, float g0, float* out,
                   float* outY, int n) {
  const __m128 ve = _mm_set1_ps(e0), vg = _mm_set1_ps(g0);
  for (int i = 0; i < n; i += 4) {
    const __m128 ei = heldEnvelope ? ve : _mm_load_ps(e + i);
    const __m128 gi = heldGain ? vg : _mm_load_ps(g + i);
    __m128 p = _mm_mul_ps(_mm_mul_ps(_mm_load_ps(x + i), ei), gi);
    __m128 q = _mm_mul_ps(_mm_mul_ps(_mm_load_ps(y + i), ei), gi);
    if (add) {
      p = _mm_add_ps(p, _mm_load_ps(out + i));
      q = _mm_add_ps(q, _mm_load_ps(outY + i));
    }
    _mm_store_ps(out + i, p);
    _mm_store_ps(outY + i, q);
  }
}

// Channels x (and y, unless null) of a voice into out (and outY), with the
// envelope's and the gain's blocks or held values.
template <bool add, bool heldEnvelope, bool heldGain>
void scaleChannelsInto(const float* x, const float* y, const float* e, const float* g, float g0, float* out,
                       float* outY, int n) {
  const float e0 = heldEnvelope ? e[0] : 0.0f;
  if (y)
    scalePairInto<add, heldEnvelope, heldGain>(x, y, e, e0, g, g0, out, outY, n);
  else
    scaleInto<add, heldEnvelope, heldGain>(x, e, e0, g, g0, out, n);
}

template <bool add>
__attribute__((always_inline)) inline void scaleChannelsIntoBy(const float* x, const float* y, const float* e, bool heldEnvelope, const float* g,
                         bool heldGain, float g0, float* out, float* outY, int n) {
  if (heldEnvelope && heldGain)
    scaleChannelsInto<add, true, true>(x, y, e, g, g0, out, outY, n);
  else if (heldGain)
    scaleChannelsInto<add, false, true>(x, y, e, g, g0, out, outY, n);
  else if (heldEnvelope)
    scaleChannelsInto<add, true, false>(x, y, e, g, g0, out, outY, n);
  else
    scaleChannelsInto<add, false, false>(x, y, e, g, g0, out, outY, n);
}

// The largest magnitude in x[0, n) and, unless null, y[0, n), n rounded up
// to whole groups of four (blocks are padded so; a sample of the padding
// can only raise it).
float largestMagnitude(const float* x, const float* y, int n) {
  const __m128 sign = _mm_set1_ps(-0.0f);
  __m128 m = _mm_setzero_ps();
  if (y) {
    for (int i = 0; i < n; i += 4)
      m = _mm_max_ps(m, _mm_max_ps(_mm_andnot_ps(sign, _mm_load_ps(x + i)), _mm_andnot_ps(sign, _mm_load_ps(y + i))));
  } else {
    for (int i = 0; i < n; i += 4) m = _mm_max_ps(m, _mm_andnot_ps(sign, _mm_load_ps(x + i)));
  }
  m = _mm_max_ps(m, _mm_movehl_ps(m, m));
  m = _mm_max_ss(m, _mm_shuffle_ps(m, m, 1));
  return _mm_cvtss_f32(m);
}

// A voice's block for channel ch, or silence.
const float* channelSamples(NoteVoice* voice, int ch, int n, int flags, const float* silence) {
  wave::Producer* output = voice->getOutput(ch);
  wave::Block* block = output ? output->pull(n, flags) : nullptr;
  return block ? block->data : silence;
}

// What scales one voice's channels into the outputs in a block.
struct Scaling {
  const float* envelope;
  bool envelopeHeld;
  const float* gain;
  bool gainHeld;
  float heldGain;
  int n;
  int flags;
  const float* silence;
};

// Adds (or, for the first voice, writes) the voice's channels, two at a
// time (a left and right pair in one pass), scaled, into the outputs. With
// measure, the largest magnitude of the channels before scaling; else 0.
template <bool measure>
__attribute__((always_inline)) inline float addVoice(NoteVoice* voice, wave::Block* const* outputs, int count, const Scaling& s, bool first) {
  float largest = 0.0f;
  for (int ch = 0; ch < count; ch += 2) {
    const bool pair = ch + 1 < count;
    const float* x = channelSamples(voice, ch, s.n, s.flags, s.silence);
    const float* y = pair ? channelSamples(voice, ch + 1, s.n, s.flags, s.silence) : nullptr;
    float* out = outputs[ch]->data;
    float* outY = pair ? outputs[ch + 1]->data : nullptr;
    if (first)
      scaleChannelsIntoBy<false>(x, y, s.envelope, s.envelopeHeld, s.gain, s.gainHeld, s.heldGain, out, outY, s.n);
    else
      scaleChannelsIntoBy<true>(x, y, s.envelope, s.envelopeHeld, s.gain, s.gainHeld, s.heldGain, out, outY, s.n);
    if (measure) largest = std::max(largest, largestMagnitude(x, y, s.n));
  }
  return largest;
}

} // namespace

VoiceManager::VoiceManager(wave::Environment* env, int channels) : wave::MultiProducer(env, channels) {
  noteHistory.reserve(cNoteRoom);
  heldKeys.reserve(cNoteRoom);
  heldVelocities.reserve(cNoteRoom);
}

VoiceManager::~VoiceManager() = default;

void VoiceManager::registerNoteVoice(NoteVoice* voice) {
  VoiceContext context;
  context.voice = voice;
  voiceContexts.push_back(context);
  updateCurVoicesEnd();
  maybeSounding = true;
}

void VoiceManager::updateCurVoicesEnd() {
  int n = numVoices.get();
  curVoicesEnd = n <= 0 ? 0 : std::min(static_cast<size_t>(n), voiceContexts.size());
}

VoiceManager::VoiceContext* VoiceManager::getNextFreeNoteVoice() {
  VoiceContext* candidate = nullptr;
  bool candidateDown = false;
  for (size_t i = 0; i < curVoicesEnd; ++i) {
    VoiceContext* x = &voiceContexts[i];
    if (x->voice->isMute()) return x;
    // A voice held only by the pedal is a released one here.
    bool xDown = x->voice->isKeyDown() && !x->sustained;
    if (!candidate) {
      candidate = x;
      candidateDown = xDown;
      continue;
    }
    // A released voice beats a held one; within the same class the older
    // start wins, and on equal stamps the earlier context stays.
    bool older = x->startStamp < candidate->startStamp;
    bool replace = candidateDown ? (older || !xDown) : (older && !xDown);
    if (replace) {
      candidate = x;
      candidateDown = xDown;
    }
  }
  if (candidate) candidate->voice->keyUp(1.0f);
  return candidate;
}

bool VoiceManager::isDown(int note) {
  for (VoiceContext& c : voiceContexts)
    if (c.note == note && c.voice->isKeyDown() && !c.sustained) return true;
  return false;
}

int VoiceManager::getPortamentoStartNote(uint32_t now) {
  float rate = env->sampleRate;
  double samples = rate > 0.0f ? std::round(static_cast<double>(rate) * cChordSeconds) : 0.0;
  int64_t chord = samples < 2147483647.0 ? static_cast<int64_t>(samples) : 2147483647;
  for (size_t i = noteHistory.size(); i-- > 0;) {
    // Signed age: an entry stamped later than now (events handed over out of
    // order) is younger than any chord, not ages old.
    int64_t age = static_cast<int32_t>(now - noteHistory[i].time);
    if (age >= chord) {
      int note = noteHistory[i].note;
      noteHistory.erase(noteHistory.begin() + static_cast<std::ptrdiff_t>(i));
      return note;
    }
  }
  return 0;
}

void VoiceManager::releaseHeldKey(int note) {
  for (size_t i = heldKeys.size(); i-- > 0;)
    if (heldKeys[i] == note) {
      heldKeys.erase(heldKeys.begin() + static_cast<std::ptrdiff_t>(i));
      if (i < heldVelocities.size()) heldVelocities.erase(heldVelocities.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

void VoiceManager::addToNoteHistory(int note, uint32_t time) {
  noteHistory.erase(std::remove(noteHistory.begin(), noteHistory.end(), note), noteHistory.end());
  appendBounded(noteHistory, NoteEvent{note, time}, cNoteRoom);
}

void VoiceManager::keyDown(int note, float velocity, int offset) {
  maybeSounding = true;
  if (polyphony.get() == cMono) {
    // A key pressed again while held moves to the end instead of being
    // listed twice.
    releaseHeldKey(note);
    appendBounded(heldKeys, static_cast<int32_t>(note), cNoteRoom);
    appendBounded(heldVelocities, velocity, cNoteRoom);
    if (voiceContexts.empty()) return;
    VoiceContext& first = voiceContexts.front();
    // A note held only by the pedal ends its phrase: the new key starts
    // afresh (its own velocity, envelopes restarted even with legato).
    if (first.sustained) {
      first.sustained = false;
      first.voice->keyUp(first.releaseVelocity);
    }
    first.note = note;
    first.startStamp = startCounter;
    int start = portamentoMode.get() == cLegato && heldKeys.size() == 1 ? note : 0;
    first.voice->keyDown(static_cast<float>(note), start, velocity);
    return;
  }

  uint32_t now = env->sampleTime + static_cast<uint32_t>(offset);
  int start = getPortamentoStartNote(now);
  if (start == 0)
    start = note;
  else if (portamentoMode.get() == cLegato && !isDown(start))
    start = note;
  addToNoteHistory(note, now);
  startCounter += 1;
  // A key struck again while the pedal holds its voice restarts that voice
  // (its envelopes attack from the level reached, so nothing clicks)
  // instead of stacking a second one on it; any further voice the pedal
  // holds for the same key is released.
  VoiceContext* context = nullptr;
  for (size_t i = 0; i < voiceContexts.size(); ++i) {
    VoiceContext& c = voiceContexts[i];
    if (!c.sustained || c.note != note) continue;
    c.sustained = false;
    c.voice->keyUp(c.releaseVelocity);
    if (!context && i < curVoicesEnd) context = &c;
  }
  if (!context) context = getNextFreeNoteVoice();
  if (!context) return;
  if (context->sustained) {
    // Taken while the pedal held it: it ends before starting anew.
    context->sustained = false;
    context->voice->keyUp(context->releaseVelocity);
  }
  context->note = note;
  context->startStamp = startCounter;
  context->voice->keyDown(static_cast<float>(note), start, velocity);
}

void VoiceManager::keyUp(int note, float velocity) {
  // A mono line falls back to a held key, whose voice may have gone silent.
  maybeSounding = true;
  if (polyphony.get() == cMono) {
    if (note == 0) {
      heldKeys.clear();
      heldVelocities.clear();
    } else {
      releaseHeldKey(note);
    }
    if (voiceContexts.empty()) return;
    VoiceContext& first = voiceContexts.front();
    NoteVoice* voice = first.voice;
    if (!heldKeys.empty()) {
      // last-note priority: back to the newest key still held, with the
      // touch it was struck with
      voice->keyDown(static_cast<float>(heldKeys.back()), 0, heldVelocities.empty() ? 1.0f : heldVelocities.back());
    } else if (note != 0 && sustainDown) {
      // The last key went up under the pedal: the note holds until the
      // pedal goes up.
      if (voice->isKeyDown() && !first.sustained) {
        first.sustained = true;
        first.releaseVelocity = velocity;
      }
    } else {
      first.sustained = false;
      voice->keyUp(velocity);
    }
    return;
  }

  // Every registered voice, not only those in use: a voice beyond a lowered
  // numVoices still gets its release.
  for (VoiceContext& c : voiceContexts) {
    if (note == 0) {
      c.sustained = false;
      c.voice->keyUp(velocity);
    } else if (c.note == note && c.voice->isKeyDown() && !c.sustained) {
      if (sustainDown) {
        c.sustained = true;
        c.releaseVelocity = velocity;
      } else {
        c.voice->keyUp(velocity);
      }
    }
  }
}

void VoiceManager::setSustain(bool down) {
  sustainDown = down;
  if (down) return;
  // Keys still down keep sounding; only the voices the pedal held end.
  for (VoiceContext& c : voiceContexts) {
    if (!c.sustained) continue;
    c.sustained = false;
    if (c.voice->isKeyDown()) c.voice->keyUp(c.releaseVelocity);
  }
}

void VoiceManager::propertyChange(const AbstractProperty* property) {
  if (property == &polyphony) {
    for (VoiceContext& c : voiceContexts) {
      c.sustained = false;
      c.voice->keyUp(1.0f);
    }
    heldKeys.clear();
  } else if (property == &numVoices) {
    // A voice beyond the old end may still sound.
    updateCurVoicesEnd();
    maybeSounding = true;
  }
}

void VoiceManager::produce(wave::Block* const* outputs, int n, int flags) {
  if (flags & wave::cMuteCall) {
    // Not pulled: the voices advance their gain, nothing is written.
    bool sounding = false;
    for (size_t i = 0; maybeSounding && i < curVoicesEnd; ++i) {
      NoteVoice* voice = voiceContexts[i].voice;
      if (voice->isMute()) continue;
      voice->getGainSamples(n, flags);
      sounding = true;
    }
    maybeSounding = sounding;
    return;
  }

  const float* silence = env->silentBlock->data;
  bool first = true;
  bool sounding = false;
  for (size_t i = 0; maybeSounding && i < curVoicesEnd; ++i) {
    NoteVoice* voice = voiceContexts[i].voice;
    if (voice->isMute()) continue;
    sounding = true;
    wave::Producer* envelopeProducer = voice->getEnvelope();
    wave::Block* envelope = envelopeProducer ? envelopeProducer->pull(n, flags) : nullptr;
    const float* gain = voice->getGainSamples(n, flags);
    if (!envelope || !gain) continue;
    const bool gainHeld = voice->gainHeld;
    const float heldGain = voice->heldGain;
    const bool envelopeHeld = envelopeProducer->constantBlock;
    const Scaling scaling{envelope->data, envelopeHeld, gain, gainHeld, heldGain, n, flags, silence};
    if (voice->releasing) {
      voice->measureRelease(addVoice<true>(voice, outputs, count, scaling, first), n);
    } else {
      addVoice<false>(voice, outputs, count, scaling, first);
    }
    first = false;
  }
  maybeSounding = sounding;
  // No voice sounds: every output hands on the shared silence instead of
  // zeroing its own block, which also tells the units behind it that
  // nothing came.
  if (first)
    for (int ch = 0; ch < count; ++ch) currentBlocks[static_cast<size_t>(ch)] = env->silentBlock;
}
