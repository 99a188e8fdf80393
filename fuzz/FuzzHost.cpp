#include "fuzz/FuzzHost.h"

#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace fuzz {
namespace {

struct Loaded {
  simhost::SimHost host;
  simhost::Instance* instance = nullptr;
  std::vector<std::vector<float>> buffers;
  std::vector<float*> outputs;

  Loaded() {
    scratchFolder();
    if (int32_t status = host.load(ZARN_BUNDLE); status != 0) {
      std::fprintf(stderr, "zarn fuzz: the bundle %s did not start (%d)\n", ZARN_BUNDLE, status);
      std::abort();
    }
    instance = host.createInstance(1);
    buffers.assign(static_cast<size_t>(instance->numOutputs()), std::vector<float>(1024, 0.0f));
    for (auto& b : buffers) outputs.push_back(b.data());
  }
};

Loaded& loaded() {
  // Never destroyed: the plug-in's shared objects outlive the last input.
  static Loaded* l = new Loaded();
  return *l;
}

} // namespace

simhost::SimHost& host() { return loaded().host; }
simhost::Instance& instance() { return *loaded().instance; }

void renderQuantum() {
  Loaded& l = loaded();
  l.host.render(*l.instance, nullptr, l.outputs.data(), l.host.quantum(*l.instance));
  l.host.idle();
  // The simulated host keeps every automation event for its tests; here
  // that list would only grow.
  l.host.clearAutomation();
}

void quiet() {
  Loaded& l = loaded();
  for (uint8_t channel = 0; channel < 16; ++channel) {
    l.host.queueMidi(*l.instance, 0, static_cast<uint8_t>(0xB0 | channel), 64, 0);
    l.host.queueMidi(*l.instance, 0, static_cast<uint8_t>(0xB0 | channel), 123, 0);
  }
  renderQuantum();
}

} // namespace fuzz
