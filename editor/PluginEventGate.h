#pragma once

// Which of the plug-in's events already wait in the editor's queue, so that
// an equal one is not queued again: a parameter change for one index (or
// for all), a general change for one index, a preset change, a MIDI
// message received. Each of these only tells the editor to look again at
// state the plug-in holds, so one look after the last change shows what
// any number of them would; the render thread may send thousands of MIDI
// messages within one 50 ms drain, and each would otherwise take a node of
// the queue, whose pool then grows under a lock on that thread.
//
// Any other event (the editor's own deferred requests, a general change of
// an index past the fixed few) is always queued. At most one event per
// flag waits, so the queue holds at most a few more events than the
// plug-in has parameters.
//
// admit runs on any thread and neither locks nor allocates; delivered runs
// on the GUI thread before the editor looks at the state, so a change made
// after that look queues its event again.

#include <atomic>
#include <memory>

class PluginEventGate {
public:
  // General changes of indexes 0 to cGeneralTargets - 1 are coalesced.
  static constexpr int cGeneralTargets = 16;

  explicit PluginEventGate(int parameterCount);
  PluginEventGate(const PluginEventGate&) = delete;
  PluginEventGate& operator=(const PluginEventGate&) = delete;

  // Any thread: true when the event must be queued, false when an equal
  // one waits already.
  bool admit(int event, int value);
  // GUI thread, when the event is taken from the queue and before it is
  // acted on.
  void delivered(int event, int value);

private:
  std::atomic<bool>* flagOf(int event, int value);

  int parameterCount;
  // Index 0 for "all parameters", then one per parameter.
  std::unique_ptr<std::atomic<bool>[]> parameterFlags;
  std::atomic<bool> generalFlags[cGeneralTargets];
  std::atomic<bool> presetFlag{false};
  std::atomic<bool> midiFlag{false};
};
