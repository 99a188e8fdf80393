#pragma once

// The synthesizer's bundle, loaded once per fuzz process into a simulated
// host, with one instance that the targets feed. Made on first use; the
// first instance builds the wave tables, so the first call takes a while.

#include "tools/host/SimHost.h"

namespace fuzz {

simhost::SimHost& host();
simhost::Instance& instance();
// Renders one quantum and gives the host its idle time, as a live host
// would between buffers.
void renderQuantum();
// Silences the instance: all notes off on every channel, the sustain pedal
// lifted, one quantum rendered, so one input's notes do not sound into the
// next.
void quiet();

} // namespace fuzz
