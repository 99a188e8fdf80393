#include "wave/PortamentoController.h"

#include "base/Spline.h"
#include "wave/Environment.h"
#include "wave/TableKernels.h"
#include "wave/VectorKernels.h"

#include <algorithm>

namespace {

// The two glide curves rise from 0 to 1, steeply at first and almost flat
// towards the end. Every controller holds the same tables, so they are
// computed once and copied.
struct GlideCurves {
  GlideCurves() {
    const Spline up(0.0, 0.0, 0.19, 0.96, 0.25, 0.97, 1.0, 1.0, 0.0001);
    const Spline down(0.0, 0.0, 0.25, 0.96, 0.25, 0.97, 1.0, 1.0, 0.0001);
    upward.initialize(PortamentoController::cCurvePoints, up, 0.0f, 1.0f);
    downward.initialize(PortamentoController::cCurvePoints, down, 0.0f, 1.0f);
  }
  FunctionTable<float> upward;
  FunctionTable<float> downward;
};

const GlideCurves& glideCurves() {
  static const GlideCurves curves;
  return curves;
}

} // namespace

PortamentoController::PortamentoController(wave::Environment* env)
    : wave::Source(env), pitchModulation(env, 0.0f), glideTime(this, 0.0f, 10.0f, 0.0f),
      upwardCurve(glideCurves().upward), downwardCurve(glideCurves().downward) {
  pitchModulation.getParameter().setLimits(-10.0f, 10.0f, 1.0f);
  enableResetNotifications();
}

void PortamentoController::noteOn(float target, float start) {
  if (glideTime.get() <= 0.0f) {
    currentPitch = target;
    // A jump is a finished glide to target, so that a reset keeps this
    // pitch.
    glideStart = target;
    glideSpan = 0.0f;
    gliding = false;
    return;
  }
  glideSpan = target - start;
  glideStart = start;
  glidePosition = 0.0f;
  gliding = true;
}

void PortamentoController::resetState() {
  gliding = false;
  currentPitch = glideStart + glideSpan;
}

void PortamentoController::propertyChange(const AbstractProperty* p) {
  if (p == &glideTime && glideTime.get() == 0.0f && gliding) {
    gliding = false;
    currentPitch = glideStart + glideSpan;
  }
}

void PortamentoController::produce(wave::Block* block, int count, int flags) {
  if (flags & wave::cMuteCall) return;
  const wave::Block* modulation = pitchModulation.output->pull(count, 0);
  if (!block) return;
  float* out = block->data;
  if (!gliding) {
    // A held note is a constant block unless the modulation moves: the
    // units that read the pitch then take their constant paths too.
    const bool constant = !modulation || pitchModulation.output->constantBlock;
    constantBlock = constant;
    if (constant) {
      fill.fill(out, count, modulation ? modulation->data[0] + currentPitch : currentPitch);
      return;
    }
    fill.forget();
    vectorAddSFast(modulation->data, currentPitch, out, count);
    return;
  }
  fill.forget();
  constantBlock = false;
  const FunctionTable<float>& curve = glideSpan > 0.0f ? upwardCurve : downwardCurve;
  // A glide shorter than a sample ends with its first sample.
  const float samples = std::max(glideTime.get() * env->sampleRate, 1.0f);
  if (vectorConvertRangeCpp(curve.getValues(), curve.getMinArgument(), curve.getScale(), curve.getPoints() - 1,
                            glidePosition, 1.0f / samples, out, count, 0.0f, 1.0f))
    gliding = false;
  currentPitch = glideStart + glideSpan * out[count - 1];
  if (modulation)
    vectorAddSAddSMulFast(modulation->data, glideStart, glideSpan, out, out, count);
  else
    for (int i = 0; i < count; ++i) out[i] = glideStart + glideSpan * out[i];
}
