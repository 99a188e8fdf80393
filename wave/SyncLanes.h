#pragma once

// The hard-synced oscillators of up to eight voices rendered in one pass,
// one oscillator per lane of the vector unit: the per-sample loop of a
// synced oscillator waits on itself (phase, compare, reset), and eight of
// them side by side fill the time each one waits. The first member pulled
// in a block renders every member that goes along and keeps their samples,
// states and filter histories aside; each of those takes its own when it is
// pulled in the same block, with the samples it renders alone. A member
// that is not pulled in that block takes nothing, so its state stays as a
// mute call leaves it.
//
// A member goes along where it has not been pulled in the block yet, its
// voice sounds and stays so when pulled (its mute controller says so), it
// plays a plain wave (not the pulse) from the same tables, its sync is on,
// and no restart of its phase is being faded in. With fewer than cMinLanes such members, or without 256-bit registers
// and fused multiply-add (syncLanesAvailable), every member renders alone:
// a pass costs nearly as much for a few lanes as for eight.

#include "wave/Environment.h"
#include "wave/OscillatorKernels.h"
#include "wave/SyncDecimator.h"

#include <cstdint>
#include <memory>

class Oscillator;

class SyncLanes {
public:
  static constexpr int cLanes = cSyncLanes;
  static constexpr int cMinLanes = 5;

  explicit SyncLanes(wave::Environment* env);
  // The members forget the group.
  ~SyncLanes();
  SyncLanes(const SyncLanes&) = delete;
  SyncLanes& operator=(const SyncLanes&) = delete;

  // osc (null: none) takes lane (0 to cLanes - 1) and learns its group; an
  // oscillator that had the lane leaves. Not while rendering.
  void setMember(int lane, Oscillator* osc);
  Oscillator* getMember(int lane) const { return members[lane]; }

  // Asked by a member whose synced plain wave is due (pitch and sync of the
  // block pulled, tables its wave's): its state and filter history moved
  // on, and the block that holds its count samples, the member's own until
  // the group's next pass (it hands it out as its output, without a copy);
  // null where it renders alone.
  wave::Block* render(Oscillator* osc, const float* tables, const float* pitch, const float* sync, int count);
  // Members rendered by the last pass (0: it rendered none).
  int getLastPassLanes() const { return lastPassLanes; }
  // Asked by a member about to render synced alone: its filter history
  // goes back into its own decimator, where the group held it.
  void release(Oscillator* osc);

private:
  // Forgets a lane's result that its member never took.
  void dropPending(int lane);
  void runPass(Oscillator* first, const float* tables, const float* pitch, const float* sync, int count);
  bool goesAlong(Oscillator* m, const float* tables, int count, const float*& pitch, const float*& sync);

  wave::Environment* env;
  Oscillator* members[cLanes] = {};
  // The last pass: its block and count; per lane whether its results
  // wait for its member (pending), and whether the member's filter
  // history is the lane's (inLane) rather than its own decimator's.
  bool passRan = false;
  int32_t passStamp = 0;
  int passCount = 0;
  int lastPassLanes = 0;
  bool pending[cLanes] = {};
  bool inLane[cLanes] = {};
  // A block per lane (ahead of the large members, on a line every call
  // reads).
  std::unique_ptr<wave::Block> outputs[cLanes];
  VectorProduceParams states[cLanes];
  SyncDecimatorLanes decimator;
};
