#pragma once

// One host control: an automatable value that the host sees as a signed
// 32-bit integer spanning the whole range, whatever the control means. The
// descriptor families derive from this class and convert that integer to and
// from their own units, give its texts in any length and parse typed texts.
// A process keeps its controls in a list, numbered from 1 (CProcess).

#include <atomic>
#include <cstdint>
#include <limits>

class CPluginControl {
public:
  CPluginControl() = default;
  virtual ~CPluginControl() = default;
  CPluginControl(const CPluginControl&) = delete;
  CPluginControl& operator=(const CPluginControl&) = delete;

  // The value may be set on one thread and read on another.
  int32_t GetValue() const { return fValue.load(std::memory_order_relaxed); }
  void SetValue(int32_t value) { fValue.store(value, std::memory_order_relaxed); }

  virtual uint32_t GetID() const = 0;
  virtual int32_t GetDefaultValue() const = 0;
  virtual void SetDefaultValue(int32_t controlValue) = 0;
  virtual int32_t GetNumSteps() const = 0;
  // May throw CDAEError for a text it cannot read.
  virtual int32_t ConvertStringToValue(const char* text) const = 0;
  virtual bool IsKeyValid(int32_t key) const = 0;
  // out holds maxLength + 1 bytes: the longest name variant that fits.
  virtual void GetNameOfLength(char* out, int32_t maxLength, uint32_t reserved) const = 0;
  virtual int32_t GetPriority() const { return 0; }
  virtual int32_t GetOrientation() const { return 0; }
  // 0 discrete, 1 continuous.
  virtual int32_t GetControlType() const = 0;
  // out holds maxLength + 1 bytes; out[maxLength] is always 0.
  virtual void GetValueString(char* out, int32_t maxLength, int32_t controlValue) const = 0;
  virtual bool IsAutomatable() const = 0;

private:
  std::atomic<int32_t> fValue{std::numeric_limits<int32_t>::min()};
};
