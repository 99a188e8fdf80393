#pragma once

// Maps a continuous parameter's natural value onto the units of the sound
// engine and onto the text shown for it.
//
//   engine value  = offset + scale * f(natural)     (getValue)
//   display value = d(engine value)                 (getDisplayValue)
//   text          = the text function of the display value, or the display
//                   format, followed by a space and the unit when there is
//                   one                              (convertValueToString)
//
// f is the value curve and d the display curve, each with its inverse; both
// default to the identity. setRange chooses offset and scale so that the
// parameter's min and max land on the given engine values.
//
// The parameter owns its transform as a member; the transform reads the
// parameter's current value and limits but never changes them. The value
// path allocates nothing and may run on the render thread.

#include <functional>
#include <string>

class FloatPluginParameter;

class FloatPluginParameterTransform {
public:
  typedef float (*Function)(float);
  typedef std::function<std::string(float)> FloatToStrFunction;

  explicit FloatPluginParameterTransform(FloatPluginParameter* parameter);

  FloatPluginParameterTransform(const FloatPluginParameterTransform&) = delete;
  FloatPluginParameterTransform& operator=(const FloatPluginParameterTransform&) = delete;

  // ---- set-up; a null curve or inverse stands for the identity
  void setFunction(Function f, Function inverse = nullptr);
  void setDisplayFunction(Function d, Function inverse = nullptr);
  // Used for the text instead of the display format; an empty function
  // brings the format back.
  void setFloatToStrFunction(FloatToStrFunction fn);
  // Takes the parameter's current min to lo and its max to hi, so the
  // parameter's limits must be set first. A parameter whose range is one
  // point maps every value to lo.
  void setRange(float lo, float hi);
  void setDisplayUnit(const std::string& unit) { mDisplayUnit = unit; }
  // A printf format for one double.
  void setDisplayFormat(const std::string& format) { mDisplayFormat = format; }

  // ---- results
  // The engine value of the parameter's current value.
  float getValue() const;
  // The engine value of a natural value.
  float getValueOf(float natural) const { return mOffset + mScale * mFunction(natural); }
  float getDisplayValue() const { return mDisplayFunction(getValue()); }
  // The natural value whose engine value is y.
  float invertValue(float y) const;
  // The natural value whose display value is z.
  float invertDisplayValue(float z) const { return invertValue(mInverseDisplayFunction(z)); }
  std::string convertValueToString(float natural) const;

  float getOffset() const { return mOffset; }
  float getScale() const { return mScale; }
  const std::string& getDisplayFormat() const { return mDisplayFormat; }
  const std::string& getDisplayUnit() const { return mDisplayUnit; }
  FloatPluginParameter* getParameter() const { return mParameter; }

private:
  Function mDisplayFunction;
  Function mInverseDisplayFunction;
  FloatToStrFunction mFloatToStrFunction;
  Function mFunction;
  Function mInverseFunction;
  std::string mDisplayFormat = "%.3f";
  std::string mDisplayUnit;
  float mOffset = 0.0f;
  FloatPluginParameter* mParameter;
  float mScale = 1.0f;
};
