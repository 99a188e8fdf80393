// State files as "zarn-host render --load-state" reads them, each chunk
// then restored into a live synthesizer instance (the controls chunk, the
// MIDI connection chunk, the preset-name chunk), and a quantum rendered.

#include "fuzz/FuzzHost.h"
#include "fuzz/FuzzSupport.h"
#include "tools/host/HostState.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  simhost::HostState state;
  std::string error;
  if (!state.parse(std::string(reinterpret_cast<const char*>(data), size), error)) return 0;
  state.restore(fuzz::host(), fuzz::instance(), error);
  fuzz::host().queueMidi(fuzz::instance(), 0, 0x90, 60, 100);
  fuzz::renderQuantum();
  fuzz::quiet();
  return 0;
}

void prepare() { fuzz::host(); }

void writeSeeds(const std::string& folder) {
  simhost::SimHost& host = fuzz::host();
  simhost::Instance& in = fuzz::instance();
  std::string error;
  simhost::HostState state;
  if (state.capture(host, in, error)) fuzz::writeFile(folder + "/initial.state", state.serialize());
  // After a few edits, as a user's saved state is.
  for (int32_t control = 2; control <= host.numControls(in); control += 5) host.setControl(in, control, control * 1000003);
  if (state.capture(host, in, error)) fuzz::writeFile(folder + "/edited.state", state.serialize());
}
