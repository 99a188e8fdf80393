#pragma once

// A parameter that takes one of a few steps: an integer, a switch or a
// member of an enumeration of the sound engine. The plug-in sees a step
// index in [min, max] (as a float, like every parameter), the model sees a
// value of type T (an enumeration, int or bool), and the normalized range
// 0..1 is spread evenly over the steps.
//
// Without a value table, step i is the value T(i) and the steps run from the
// first to the last value. With a table, step offset + k is table entry k.
// Each value can carry a display name: the name of value v is
// names[v - first value]. A list of plug-in versions records the highest
// step of each version, so that values saved by an older version are read
// as that version meant them.
//
// Set-up, by the owning model and in this order: setValueTable (optional),
// configure, addVersion (optional, in version order). Nothing is notified.
//
// The value is read on the render thread while another thread sets it, so
// it is held atomically; everything else is written only during set-up.

#include "base/TextUtils.h"
#include "plugin/AbstractPluginParameter.h"

#include <atomic>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

template <class T>
class IndexedPluginParameter : public AbstractPluginParameter {
public:
  struct ParameterVersion {
    int max;     // highest step index in that version
    int version; // plug-in version number
  };

  IndexedPluginParameter(GenericParameterOwner* owner, const std::string& name)
      : AbstractPluginParameter(owner, cIndexed, name) {}

  // ---- set-up
  // The T value of each step; the table is not copied and must outlive the
  // parameter. A null table or one without entries means no table.
  void setValueTable(const T* table, int count, int offset);
  // Stores the value range, makes def both default and current value,
  // recomputes the step range and takes the step names from a comma-separated
  // text (an empty text: no names, so values show as numbers).
  void configure(int firstValue, int lastValue, T def, const std::string& names);
  void addVersion(int max, int version) { mVersions.push_back(ParameterVersion{max, version}); }

  // ---- AbstractPluginParameter
  // (trunc(x) - min) / (max - min), not clamped; 0 when there is one step.
  float convertNaturalToNormalized(float natural) const override;
  float convertNaturalToVersioned(float natural, int version) const override;
  // The nearest step (half up), clamped to the range.
  float convertNormalizedToNatural(float normalized) const override;
  bool convertVersionedToNatural(float versioned, int version, float& natural) const override;
  // The name of the step's value, or its number when it has no name.
  std::string convertValueToString(float natural) const override;
  float getDefault() const override { return static_cast<float>(indexOf(mDefault)); }
  int getIndexedMaxForVersion(int version) const override;
  float getMax() const override { return static_cast<float>(mMax); }
  float getMin() const override { return static_cast<float>(mMin); }
  float getValue() const override { return static_cast<float>(getCurrentIndex()); }
  // Truncates toward zero and clamps to the steps; reports the step when it
  // differs from the current one. A value that is not a finite number is
  // ignored.
  void setValue(float natural, int flags) override;

  // The limits of the steps that plug-in version `version` had; false when
  // no versions were added. first tells whether lo is the parameter's own
  // lowest step (rather than the previous version's highest).
  bool getVersionedLimits(int version, int& lo, int& hi, bool& first) const;

  // ---- the model's view
  T getTypedValue() const { return mValue.load(std::memory_order_relaxed); }
  T getTypedDefault() const { return mDefault; }
  // The step index of the current value.
  int getCurrentIndex() const { return indexOf(getTypedValue()); }
  // The step index of a T value: the table offset for a value the table does
  // not hold.
  int indexOf(T v) const;
  int getFirstValue() const { return mFirstValue; }
  int getLastValue() const { return mLastValue; }
  const std::vector<std::string>& getNames() const { return mNames; }
  const std::vector<ParameterVersion>& getVersions() const { return mVersions; }

private:
  // x truncated toward zero, saturated to the int range; x is finite.
  static int truncToInt(double x) {
    if (x >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (x <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(x);
  }
  // n * (count - 1) rounded half up, clamped to 0..count - 1; 0 when there
  // is only one step.
  static int stepOf(float n, int count) { return count < 2 ? 0 : floatToEnum(n, count, nullptr); }
  // The T value of step i (i within the range).
  T valueOfStep(int i) const;

  T mDefault = T(0);
  int mMax = 1;
  int mMin = 0;
  const T* mValueTable = nullptr;
  int mTableCount = 0;
  int mTableOffset = 0;
  int mLastValue = 1;
  int mFirstValue = 0;
  std::atomic<T> mValue{T(0)};
  std::vector<std::string> mNames;
  std::vector<ParameterVersion> mVersions;
};

template <class T>
void IndexedPluginParameter<T>::setValueTable(const T* table, int count, int offset) {
  const bool valid = table && count >= 1;
  mValueTable = valid ? table : nullptr;
  mTableCount = valid ? count : 0;
  mTableOffset = offset;
}

template <class T>
void IndexedPluginParameter<T>::configure(int firstValue, int lastValue, T def, const std::string& names) {
  mFirstValue = firstValue;
  mLastValue = lastValue;
  mDefault = def;
  mValue.store(def, std::memory_order_relaxed);
  if (mValueTable) {
    mMin = mTableOffset;
    mMax = mTableOffset + mTableCount - 1;
  } else {
    mMin = firstValue;
    mMax = lastValue;
  }
  mNames.clear();
  if (!names.empty()) splitString(names, mNames, ',');
}

template <class T>
int IndexedPluginParameter<T>::indexOf(T v) const {
  if (!mValueTable) return static_cast<int>(v);
  for (int k = 0; k < mTableCount; ++k)
    if (mValueTable[k] == v) return mTableOffset + k;
  return mTableOffset;
}

template <class T>
T IndexedPluginParameter<T>::valueOfStep(int i) const {
  if (!mValueTable) return static_cast<T>(i);
  const int64_t k = static_cast<int64_t>(i) - mTableOffset;
  if (k < 0) return mValueTable[0];
  return mValueTable[k < mTableCount - 1 ? k : mTableCount - 1];
}

template <class T>
void IndexedPluginParameter<T>::setValue(float natural, int flags) {
  if (!std::isfinite(natural)) return;
  int i = truncToInt(natural);
  i = i < mMin ? mMin : (i < mMax ? i : mMax);
  if (i == getCurrentIndex()) return;
  mValue.store(valueOfStep(i), std::memory_order_relaxed);
  handleParameterChange(static_cast<float>(i), flags);
}

template <class T>
float IndexedPluginParameter<T>::convertNaturalToNormalized(float natural) const {
  if (mMax == mMin) return 0.0f;
  // In double precision, so that no value can overflow an int.
  return static_cast<float>((std::trunc(static_cast<double>(natural)) - mMin) / (static_cast<double>(mMax) - mMin));
}

template <class T>
float IndexedPluginParameter<T>::convertNormalizedToNatural(float normalized) const {
  // A NaN stays one, so that setNormalizedValue leaves the value alone
  // rather than jumping to the first step.
  if (normalized != normalized) return normalized;
  const int64_t steps = static_cast<int64_t>(mMax) - mMin + 1;
  if (steps < 2) return static_cast<float>(mMin);
  return static_cast<float>(mMin + floatToEnum(normalized, static_cast<int>(steps), nullptr));
}

template <class T>
std::string IndexedPluginParameter<T>::convertValueToString(float natural) const {
  if (!std::isfinite(natural)) return floatToStr(natural, "%.15lg");
  const int i = truncToInt(natural);
  int v = i;
  if (mValueTable) {
    int64_t k = static_cast<int64_t>(i) - mTableOffset;
    k = k < 0 ? 0 : (k < mTableCount - 1 ? k : mTableCount - 1);
    v = static_cast<int>(mValueTable[k]);
  }
  // A value without a name (the list is shorter than the value range, or
  // the value lies outside it) shows its number.
  const int64_t n = static_cast<int64_t>(v) - mFirstValue;
  if (n < 0 || n >= static_cast<int64_t>(mNames.size())) return intToStr(v);
  return mNames[static_cast<size_t>(n)];
}

template <class T>
int IndexedPluginParameter<T>::getIndexedMaxForVersion(int version) const {
  for (const ParameterVersion& entry : mVersions)
    if (entry.version == version) return entry.max;
  return -1;
}

template <class T>
bool IndexedPluginParameter<T>::getVersionedLimits(int version, int& lo, int& hi, bool& first) const {
  if (mVersions.empty()) return false;
  lo = mMin;
  hi = mMax;
  first = true;
  for (const ParameterVersion& entry : mVersions) {
    if (entry.version >= version) {
      hi = entry.max;
      return true;
    }
    lo = entry.max;
    first = false;
  }
  hi = mMax;
  return true;
}

template <class T>
bool IndexedPluginParameter<T>::convertVersionedToNatural(float versioned, int version, float& natural) const {
  if (versioned != versioned) return false;
  int lo, hi;
  bool first;
  if (!getVersionedLimits(version, lo, hi, first))
    return AbstractPluginParameter::convertVersionedToNatural(versioned, version, natural);
  const int64_t count = static_cast<int64_t>(hi) - lo + 1;
  const int k = count < 2 || count > INT_MAX ? 0 : stepOf(versioned, static_cast<int>(count));
  natural = static_cast<float>(static_cast<int64_t>(lo) + k);
  return first || k > 0;
}

template <class T>
float IndexedPluginParameter<T>::convertNaturalToVersioned(float natural, int version) const {
  int lo, hi;
  bool first;
  if (!getVersionedLimits(version, lo, hi, first))
    return AbstractPluginParameter::convertNaturalToVersioned(natural, version);
  const double i = std::trunc(static_cast<double>(natural));
  // A step the version did not have reads as its lowest step. (i > lo and
  // i <= hi also keep hi - lo from being 0.)
  if (!(i > lo && i <= hi)) return 0.0f;
  return static_cast<float>((i - lo) / (static_cast<double>(hi) - lo));
}

// The parameters the plug-in core itself builds on; products instantiate
// their enumerations where they use them.
extern template class IndexedPluginParameter<int>;
extern template class IndexedPluginParameter<bool>;
