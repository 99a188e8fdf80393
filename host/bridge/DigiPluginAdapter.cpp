#include "host/bridge/DigiPluginAdapter.h"

#include "host/bridge/CPendingControlChanges.h"
#include "host/bridge/DigiViewAdapter.h"
#include "host/bridge/PluginInstanceFactory.h"
#include "host/services/CPluginControl_Continuous.h"
#include "host/services/CPluginControl_Discrete.h"
#include "host/services/ControlValueText.h"
#include "plugin/AbstractPluginParameter.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr const char* kBypassNames = "Master Bypass\nMstr Byp\nMBYP\nByp";
constexpr double kContinuousStep = 0.001;

// A list position from a natural value: the value minus the minimum,
// truncated toward zero.
int32_t PositionOf(float value, float min) {
  const double position = std::trunc(static_cast<double>(value) - static_cast<double>(min));
  if (!(position > -2147483648.0)) return -2147483647 - 1;
  if (position > 2147483647.0) return 2147483647;
  return static_cast<int32_t>(position);
}

} // namespace

// Only the main thread ever touches the mark: a render on any other thread
// defers by the thread alone.
DigiPluginAdapter::CRenderScope::CRenderScope(const DigiPluginAdapter* adapter)
    : fAdapter(std::this_thread::get_id() == adapter->fMainThread ? adapter : nullptr) {
  if (!fAdapter) return;
  fPrevious = fAdapter->fMainThreadRendering;
  fAdapter->fMainThreadRendering = true;
}

DigiPluginAdapter::CRenderScope::~CRenderScope() {
  if (fAdapter) fAdapter->fMainThreadRendering = fPrevious;
}

DigiPluginAdapter::DigiPluginAdapter() : fMainThread(std::this_thread::get_id()) {
  fPlugin = createPluginInstance();
  fPending = std::make_unique<CPendingControlChanges>(fPlugin->getNumParameters());
  fPlugin->registerPluginAdapter(this);
  AddChunk(kPresetNameChunkID, presetchunk::kName, presetchunk::kDataSize);
}

DigiPluginAdapter::~DigiPluginAdapter() {
  CloseEditor();
  if (fHostView) fHostView->setPluginAdapter(nullptr);
  fHostView = nullptr;
  fPlugin->registerPluginAdapter(nullptr);
  delete fPlugin;
}

// ------------------------------------------------------------------ controls

void DigiPluginAdapter::EffectInit() {
  AddControl(new CPluginControl_OnOff(kBypassControlID, kBypassNames, 0, true));
  DefineMasterBypassControlIndex(kBypassControlIndex);

  const int count = fPlugin->getNumParameters();
  for (int i = 0; i < count; ++i) {
    const AbstractPluginParameter* p = fPlugin->getParameter(i);
    const float min = p->getMin(), max = p->getMax(), value = p->getValue();
    const uint32_t id = static_cast<uint32_t>(i); // the index itself, not four characters
    if (p->getType() == AbstractPluginParameter::cContinuous) {
      AddControl(new CPluginControl_Linear(id, p->getName().c_str(), min, max, kContinuousStep, value, true,
                                           kPrefixNone, kPrefixExa));
    } else {
      std::vector<std::string> texts;
      for (float v = min; v < max + 0.5f; v += 1.0f) texts.push_back(p->convertValueToString(v));
      AddControl(new CPluginControl_List(id, p->getName().c_str(), texts, PositionOf(value, min), true));
    }
  }
}

void DigiPluginAdapter::UpdateControlValueInAlgorithm(int32_t controlIndex) {
  if (controlIndex == kBypassControlIndex) {
    auto* bypass = dynamic_cast<CPluginControl_Discrete*>(GetControl(kBypassControlIndex));
    if (!bypass) return;
    const bool on = bypass->GetDiscrete() != 0;
    // The reset is asked for before the flag shows, so that the render call
    // that first sees the bypass on also performs it.
    if (on) fResetRequested.store(true, std::memory_order_release);
    fBypassed.store(on, std::memory_order_release);
    return;
  }
  const int index = controlIndexToParameterIndex(controlIndex);
  if (index < 0 || index >= fPlugin->getNumParameters()) return;
  AbstractPluginParameter* p = fPlugin->getParameter(index);
  CPluginControl* control = GetControl(controlIndex);
  float value;
  if (p->getType() == AbstractPluginParameter::cContinuous) {
    auto* continuous = dynamic_cast<CPluginControl_Continuous*>(control);
    if (!continuous) return;
    value = static_cast<float>(continuous->GetContinuous());
  } else {
    auto* discrete = dynamic_cast<CPluginControl_Discrete*>(control);
    if (!discrete) return;
    value = p->getMin() + static_cast<float>(discrete->GetDiscrete());
  }
  // From the host: queued for the render thread, not reported back here.
  p->setValue(value, cParameterChangeFromHost);
}

void DigiPluginAdapter::startControlChange(int parameterIndex) {
  TouchControl(parameterIndexToControlIndex(parameterIndex));
}

void DigiPluginAdapter::endControlChange(int parameterIndex) {
  ReleaseControl(parameterIndexToControlIndex(parameterIndex));
}

void DigiPluginAdapter::controlChange(int parameterIndex, float value) {
  const int32_t k = parameterIndexToControlIndex(parameterIndex);
  CPluginControl* control = GetControl(k);
  const AbstractPluginParameter* p = fPlugin->getParameter(parameterIndex);
  if (!p) return;
  int32_t controlValue;
  if (p->getType() == AbstractPluginParameter::cContinuous) {
    auto* continuous = dynamic_cast<CPluginControl_Continuous*>(control);
    if (!continuous) return;
    controlValue = continuous->ConvertContinuousToControl(value);
  } else {
    auto* discrete = dynamic_cast<CPluginControl_Discrete*>(control);
    if (!discrete) return;
    controlValue = discrete->ConvertDiscreteToControl(PositionOf(value, p->getMin()));
  }
  SetControlValue(k, controlValue);
}

void DigiPluginAdapter::processInterfaceAction(int) {}

// ------------------------------------------------ changes the plug-in makes

void DigiPluginAdapter::pluginParameterChange(int parameterIndex) {
  if (parameterIndex != -1 && (parameterIndex < 0 || parameterIndex >= fPlugin->getNumParameters())) return;
  if (MustDefer()) {
    fPending->Mark(parameterIndex);
    return;
  }
  ForwardToHost(parameterIndex);
}

void DigiPluginAdapter::pluginPresetChange() {}

bool DigiPluginAdapter::MustDefer() const {
  return std::this_thread::get_id() != fMainThread || fMainThreadRendering;
}

void DigiPluginAdapter::ForwardToHost(int parameterIndex) {
  const int count = fPlugin->getNumParameters();
  // Before EffectInit (or while it runs) there are no controls to tell.
  if (GetNumControls() < parameterIndexToControlIndex(count - 1)) return;
  if (parameterIndex == -1) {
    for (int j = 0; j < count; ++j) controlChange(j, fPlugin->getParameter(j)->getValue());
  } else {
    controlChange(parameterIndex, fPlugin->getParameter(parameterIndex)->getValue());
  }
}

void DigiPluginAdapter::HandOverControlChanges() {
  // The host's answer to a control change may come back in here.
  if (fHandingOver || !fPending->IsPending()) return;
  fHandingOver = true;
  try {
    fPending->TakeAll([this](int32_t index) { ForwardToHost(index); });
  } catch (...) {
    fHandingOver = false;
    throw;
  }
  fHandingOver = false;
}

bool DigiPluginAdapter::HasPendingControlChanges() const { return fPending->IsPending(); }

void DigiPluginAdapter::Idle() {
  HandOverControlChanges();
  // A preset a program change loaded on the render thread shows here.
  fPlugin->applyPendingPresetContext();
  CEffectProcessMIDI::Idle();
}

void DigiPluginAdapter::PerformRequestedReset() {
  // Looked at before it is cleared: no locked write per quantum while no
  // reset is asked for.
  if (fResetRequested.load(std::memory_order_relaxed) && fResetRequested.exchange(false, std::memory_order_acq_rel))
    fPlugin->reset();
}
