#include "tests/synth/ModulationMatrixTestSupport.h"

#include "plugin/FloatPluginParameter.h"

namespace modmatrixtest {

TestVoice::TestVoice(ModulationMatrix* matrix, wave::Producer* filterBase, wave::Producer* volumeBase,
                     wave::Producer* attackBase)
    : scope(matrix), eg1(matrix->getEnvironment(), 0.0f), velocity(matrix->getEnvironment()),
      keyTrack(matrix->getEnvironment()),
      filter(matrix->getEnvironment(), &scope, ModulationMatrix::cTargetFilter1Freq, filterBase, 0.0f, 20.0f),
      volume(matrix->getEnvironment(), &scope, ModulationMatrix::cTargetVolume, volumeBase, 0.0f, 2.0f),
      attack(matrix->getEnvironment(), &scope, ModulationMatrix::cTargetEG1Attack, attackBase, 0.0f, 100.0f) {
  scope.setSource(ModulationMatrix::cSourceEG1, &eg1);
  scope.setSource(ModulationMatrix::cSourceVelocity, &velocity);
  scope.setSource(ModulationMatrix::cSourceKBTrack, &keyTrack);
}

class MatrixProduct::GainParameter : public FloatPluginParameter {
public:
  explicit GainParameter(GenericParameterOwner* owner) : FloatPluginParameter(owner, "Gain") {}
};

MatrixProduct::MatrixProduct() : ModulationMatrixPlugin(1) {
  gain = std::make_unique<GainParameter>(this);
  slots = &createModMatrixParameters();
  initialize("Matrix Tester", cBlock);
  wave::Environment* env = getEnvironment();
  env->setSampleRate(1000.0f);
  matrix = std::make_unique<ModulationMatrix>(env);
  auto base = [env](float v) {
    auto p = std::make_unique<wave::FloatParameterSource>(env, v);
    p->parameter.setLimits(-100.0f, 100.0f);
    return p;
  };
  filterBase = base(10.0f);
  volumeBase = base(0.5f);
  attackBase = base(0.1f);
  stereoBase = base(1.0f);
  lfo1 = std::make_unique<LineSource>(env, 0.0f, 1.0f / 64.0f);
  wheel = std::make_unique<ModulationMatrix::ValueSource>(env, 0.0f);
  matrix->setGlobalSource(ModulationMatrix::cSourceLFO1, lfo1.get());
  matrix->setGlobalSource(ModulationMatrix::cSourceModWheel, wheel.get());
  for (auto& v : voices)
    v = std::make_unique<TestVoice>(matrix.get(), filterBase.get(), volumeBase.get(), attackBase.get());
  stereo = std::make_unique<ModulationMatrixInput>(env, &matrix->getGlobalScope(), ModulationMatrix::cTargetStereo,
                                                   stereoBase.get(), 0.0f, 2.0f);
  slots->bind(matrix.get());
  channel = new Channel(this);
  channel->setOutput(&voices[0]->filter);
  outputs[0] = output;
}

MatrixProduct::~MatrixProduct() {
  // The graph goes before the environment it lives on.
  slots->bind(nullptr);
  delete channel;
  stereo.reset();
  for (auto& v : voices) v.reset();
  wheel.reset();
  lfo1.reset();
  filterBase.reset();
  volumeBase.reset();
  attackBase.reset();
  stereoBase.reset();
  matrix.reset();
  finalize();
}

void MatrixProduct::render(int frames) { process(nullptr, 0, outputs, 1, frames); }

} // namespace modmatrixtest
