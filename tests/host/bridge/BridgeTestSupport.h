#pragma once

// Support of the bridge's tests. The test program links the bridge and the
// test product itself and supplies CProcessGroup::CreateProcessGroup, so a
// simulated host attached to the program's own entry points drives the
// bridge in-process and tests can look inside the adapter and the product;
// the same product built into BridgeTest.bundle is loaded the way a host
// loads a plug-in.

#include "host/bridge/DigiRTASPluginAdapter.h"
#include "tests/host/bridge/product/BridgeTestProduct.h"
#include "tools/host/SimHost.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace bridgetest {

constexpr uint32_t kPresetNameChunk = 0x51565072; // 'QVPr'
constexpr uint32_t kControlsChunk = 0x63746C73;   // 'ctls'
constexpr uint32_t kMIDIConnectionChunk = 0x6D636F6E; // 'mcon'

// Controls of the test product's parameters.
constexpr int32_t kBypass = 1;
constexpr int32_t kLevel = 2;
constexpr int32_t kMode = 3;
constexpr int32_t kOffset = 4;
constexpr int32_t kOctave = 5;

std::string BridgeTestBundlePath();
// "" when the synthesizer's bundle is not built.
std::string ZarnBundlePath();

simhost::EntryPoints InProcessEntryPoints();

// A simulated host attached to the test program's own bridge, with the
// product options given (restored to the defaults when it ends).
class InProcessHost {
public:
  explicit InProcessHost(const ProductOptions& product = ProductOptions(),
                         const simhost::HostOptions& options = simhost::HostOptions());
  ~InProcessHost();
  InProcessHost(const InProcessHost&) = delete;
  InProcessHost& operator=(const InProcessHost&) = delete;

  simhost::SimHost& host() { return *mHost; }
  simhost::SimHost* operator->() { return mHost.get(); }

private:
  std::unique_ptr<simhost::SimHost> mHost;
};

DigiRTASPluginAdapter* Adapter(const simhost::Instance& in);
BridgeTestProduct* Product(const simhost::Instance& in);

// Renders frames samples of every output (inputs: one per input port, or
// empty for silence).
std::vector<std::vector<float>> Render(simhost::SimHost& host, simhost::Instance& in, int32_t frames,
                                       const std::vector<std::vector<float>>& inputs = {});

// The control value of the continuous control for value in min..max.
int32_t ContinuousControl(double value, double min, double max);
// The control value of list position p of a list with entries entries.
int32_t ListControl(int32_t position, int32_t entries);

// Every chunk of the instance, by id.
struct SavedState {
  std::vector<std::pair<uint32_t, std::vector<unsigned char>>> chunks;
};
SavedState SaveState(const simhost::SimHost& host, const simhost::Instance& in);
void RestoreState(const simhost::SimHost& host, const simhost::Instance& in, const SavedState& state);

// The preset name stored in a preset-name chunk record.
std::string PresetNameOf(const std::vector<unsigned char>& chunk);

// Writes a preset of the test product with those values into its library
// folder (made when missing); returns its full path. Uses an in-process
// instance of the product.
std::string WritePreset(const std::string& name, float level, int mode, float offset, int octave);
// The program number (bank 0) of the preset of that name in the test
// product's library, -1 when it has none.
int ProgramNumberOf(const std::string& name);

} // namespace bridgetest
