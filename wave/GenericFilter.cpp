#include "wave/GenericFilter.h"

#include <algorithm>
#include <cmath>

// ---------------------------------------------------------------------------
// ParallelFilterUnit

GenericFilter::ParallelFilterUnit::ParallelFilterUnit(wave::Environment* env) : FilterUnit(env) {
  filters.reserve(cLanes);
}

GenericFilter::ParallelFilterUnit::~ParallelFilterUnit() {
  for (GenericFilter* f : filters)
    if (f->parallelUnit == this) f->parallelUnit = nullptr;
}

void GenericFilter::ParallelFilterUnit::addFilter(GenericFilter* f) { filters.push_back(f); }

void GenericFilter::ParallelFilterUnit::removeFilter(GenericFilter* f) {
  filters.erase(std::remove(filters.begin(), filters.end(), f), filters.end());
}

// ---------------------------------------------------------------------------
// GenericFilter

GenericFilter::GenericFilter(wave::Environment* env)
    : wave::Filter(env), frequency(env, 20.0f), mix(env, 1.0f), peak(env, 0.0f) {
  mix.setLimits(0.0f, 1.0f);
  enableResetNotifications();
}

GenericFilter::~GenericFilter() {
  if (parallelUnit) parallelUnit->removeFilter(this);
}

void GenericFilter::setFilter(FilterUnit* unit) {
  if (parallelUnit) parallelUnit->removeFilter(this);
  parallelUnit = nullptr;
  filterUnit = unit;
}

void GenericFilter::setParallelFilter(ParallelFilterUnit* unit) {
  if (parallelUnit) parallelUnit->removeFilter(this);
  parallelUnit = unit;
  if (unit) unit->addFilter(this);
}

void GenericFilter::resetState() {
  if (parallelUnit)
    parallelUnit->resetState();
  else if (filterUnit)
    filterUnit->resetState();
}

void GenericFilter::copySettingsTo(FilterUnit* unit) {
  // Through the unit's properties, so that an owner of them hears of it;
  // equal values notify nobody.
  unit->slope = slope.get();
  unit->response = response.get();
}

void GenericFilter::filter(const wave::Block* in, wave::Block* out, int count, int flags) {
  if (flags & wave::cMuteCall) return;
  const wave::Block* source = in ? in : env->silentBlock;
  if (parallelUnit) {
    copySettingsTo(parallelUnit);
    parallelUnit->filterParallel(count);
    // A unit serves eight lanes; a filter past them passes its input on.
    if (stamp != env->stamp) {
      active = false;
      storeOutput(source, out, count);
    }
    return;
  }
  const float* freq;
  const float* pk;
  const float* peakScale;
  bool constant;
  if (retrieveInput(freq, pk, peakScale, count, flags, constant)) {
    if (filterUnit) {
      copySettingsTo(filterUnit);
      filterUnit->filter(source->data, out->data, freq, pk, peakScale, count, constant);
    } else {
      // Nothing to filter with: the input passes.
      active = false;
    }
  }
  storeOutput(source, out, count);
}
