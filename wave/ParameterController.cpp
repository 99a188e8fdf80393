#include "wave/ParameterController.h"

#include "wave/VectorKernels.h"

#include <cmath>
#include <cstring>
#include <memory>

namespace {

constexpr float cEpsilon = 1.1920929e-7f;

} // namespace

ParameterController::ModulationSource::ModulationSource(wave::Environment* env, wave::Producer* input)
    : depth(env, 0.0f), offset(env, 0.0f) {
  setInput(input);
}

void ParameterController::ModulationSource::modulate(float* out, int count, int flags) {
  // Another consumer may have rendered the input in this block already;
  // pull hands out that block then.
  wave::Block* in = input ? input->pull(count, flags) : nullptr;
  bool depthConstant, offsetConstant;
  wave::Block* d = depth.getInterpolatedBlock(count, flags, depthConstant);
  wave::Block* o = offset.getInterpolatedBlock(count, flags, offsetConstant);
  if ((flags & wave::cMuteCall) || !in) return;
  if (offsetConstant && std::fabs(o->data[0]) <= cEpsilon)
    vectorMulAddFast(in->data, d->data, out, out, count);
  else
    vectorAddMulAddFast(in->data, o->data, d->data, out, out, count);
}

ParameterController::ParameterController(wave::Environment* env) : wave::Source(env), value(env, 0.0f) {}

ParameterController::~ParameterController() {
  for (ModulationSource* s : modulationSources) delete s;
}

ParameterController::ModulationSource* ParameterController::addModulationSource(wave::Producer* input, float minDepth,
                                                                                float maxDepth, float minOffset,
                                                                                float maxOffset) {
  modulationSources.reserve(modulationSources.size() + 1);
  auto source = std::make_unique<ModulationSource>(env, input);
  source->depth.setLimits(minDepth, maxDepth, 0.0f);
  source->offset.setLimits(minOffset, maxOffset, 0.0f);
  modulationSources.push_back(source.get());
  return source.release();
}

ParameterController::ModulationSource* ParameterController::getModulationSource(wave::Producer* input) {
  for (ModulationSource* s : modulationSources)
    if (usesInput(s, input)) return s;
  return nullptr;
}

void ParameterController::produce(wave::Block* block, int count, int flags) {
  bool constant;
  wave::Block* base = value.getInterpolatedBlock(count, flags, constant);
  bool mute = (flags & wave::cMuteCall) != 0;
  float* out = block->data;
  if (!mute && count > 0) std::memcpy(out, base->data, sizeof(float) * static_cast<size_t>(count));
  for (ModulationSource* s : modulationSources) s->modulate(out, count, flags);
  if (!mute) vectorLimitFast(out, value.getMinValue(), value.getMaxValue(), out, count);
  constantBlock = constant && modulationSources.empty();
}
