#include "wave/SyncLanes.h"

#include "wave/Oscillator.h"
#include "wave/OscillatorStyle.h"

#include <algorithm>
#include <cmath>

SyncLanes::SyncLanes(wave::Environment* env)
    : env(env) {
  for (std::unique_ptr<wave::Block>& b : outputs) b = std::make_unique<wave::Block>(env);
  decimator.reset();
  decimator.keepHistory();
}

SyncLanes::~SyncLanes() {
  for (Oscillator* m : members)
    if (m && m->syncLanes == this) m->syncLanes = nullptr;
}

void SyncLanes::setMember(int lane, Oscillator* osc) {
  if (lane < 0 || lane >= cLanes) return;
  if (Oscillator* old = members[lane]) {
    release(old);
    old->syncLanes = nullptr;
  }
  if (osc) {
    if (osc->syncLanes) osc->syncLanes->setMember(osc->syncLane, nullptr);
    osc->syncLanes = this;
    osc->syncLane = lane;
  }
  members[lane] = osc;
}

void SyncLanes::dropPending(int lane) {
  if (!pending[lane]) return;
  pending[lane] = false;
  // The pass moved the lane's history on for a member that never took it.
  if (inLane[lane]) decimator.restoreLane(lane);
}

void SyncLanes::release(Oscillator* osc) {
  const int l = osc->syncLane;
  if (members[l] != osc) return;
  dropPending(l);
  if (!inLane[l]) return;
  decimator.storeLane(l, osc->decimator);
  inLane[l] = false;
}

bool SyncLanes::goesAlong(Oscillator* m, const float* tables, int count, const float*& pitch, const float*& sync) {
  // A member fading from a restart renders that fade alone.
  if (m->isProduced() || m->restartLeft > 0 || !m->muteController || m->muteController->isMute() ||
      m->muteController->mayMuteWhenPulled())
    return false;
  const Oscillator::WaveForm form = m->waveForm.get();
  const float* own = form == Oscillator::Triangle   ? m->style->triangleTables[0]
                     : form == Oscillator::Sawtooth ? m->style->sawtoothTables[0]
                                                    : nullptr;
  if (own != tables) return false;
  m->updateFrequencyTable();
  // What the member's own produce pulls first; it then finds them pulled.
  const wave::Block* p = m->frequency.output->pull(count, 0);
  const wave::Block* s = m->sync.output->pull(count, 0);
  pitch = (p ? p : env->silentBlock)->data;
  sync = (s ? s : env->silentBlock)->data;
  return !(m->sync.output->constantBlock && std::fabs(sync[0]) <= 1.1920929e-7f);
}

void SyncLanes::runPass(Oscillator* first, const float* tables, const float* pitch, const float* sync, int count) {
  passRan = true;
  passStamp = env->stamp;
  passCount = count;
  for (int l = 0; l < cLanes; ++l) dropPending(l);
  VectorProduceParams* params[cLanes] = {};
  const float* pitches[cLanes] = {};
  const float* syncs[cLanes] = {};
  float* outs[cLanes] = {};
  int used = 0;
  for (int l = 0; l < cLanes; ++l) {
    Oscillator* m = members[l];
    if (!m) continue;
    const float* pi = pitch;
    const float* si = sync;
    if (m != first && !goesAlong(m, tables, count, pi, si)) continue;
    states[l] = m->kernelState;
    params[l] = &states[l];
    pitches[l] = pi;
    syncs[l] = si;
    outs[l] = outputs[l]->data;
    ++used;
  }
  lastPassLanes = 0;
  if (used < cMinLanes) return;
  lastPassLanes = used;
  for (int l = 0; l < cLanes; ++l) {
    if (!params[l]) continue;
    Oscillator* m = members[l];
    if (!m->synced)
      decimator.silenceLane(l); // as its produceSynced would start
    else if (!inLane[l])
      decimator.loadLane(l, m->decimator);
    inLane[l] = true;
    pending[l] = true;
  }
  decimator.keepHistory();
  for (int done = 0; done < count; done += SyncDecimatorLanes::cMaxChunk) {
    const int n = std::min(count - done, SyncDecimatorLanes::cMaxChunk);
    vectorProduceWaveSyncOversampledLanes(params, tables, pitches, syncs, cLanes, decimator.input(), n);
    decimator.process(outs, cLanes, n);
    for (int l = 0; l < cLanes; ++l) {
      if (!params[l]) continue;
      pitches[l] += n;
      syncs[l] += n;
      outs[l] += n;
    }
  }
  // Lanes whose members stayed out hold their histories as they were.
  for (int l = 0; l < cLanes; ++l)
    if (!params[l] && inLane[l]) decimator.restoreLane(l);
}

wave::Block* SyncLanes::render(Oscillator* osc, const float* tables, const float* pitch, const float* sync,
                               int count) {
  const int l = osc->syncLane;
  if (!syncLanesAvailable() || members[l] != osc) return nullptr;
  if (!(passRan && passStamp == env->stamp)) runPass(osc, tables, pitch, sync, count);
  if (!pending[l] || count != passCount) return nullptr;
  pending[l] = false;
  osc->kernelState = states[l];
  osc->synced = true;
  return outputs[l].get();
}
