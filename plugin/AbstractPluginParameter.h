#pragma once

// The base of every automatable value of a plug-in.
//
// A parameter keeps its current value in natural units (hertz, seconds, an
// enumeration step) and converts between three forms: natural, normalized
// (0..1, what hosts and MIDI controllers use) and versioned (the normalized
// form a value had in a given plug-in version). It takes its index from its
// owner while it is being constructed, so the order in which a product
// builds its parameters is the order of the host's controls, of the values
// in a preset file and of MIDI learn.
//
// Threads: setValue and the conversions are called from any thread (host,
// editor, render thread for MIDI); updateValue only on the render thread.

#include <string>

class GenericParameterOwner;

class AbstractPluginParameter {
public:
  enum Type {
    cContinuous = 0, // a range of values; the host shows a continuous control
    cIndexed = 1     // a list of steps; the host shows a stepped list
  };

  // Registers the parameter with the owner, which gives it its index.
  AbstractPluginParameter(GenericParameterOwner* owner, Type type, const std::string& name);
  // The parameter stays in its owner's list: parameters are destroyed only
  // together with their plug-in.
  virtual ~AbstractPluginParameter();

  AbstractPluginParameter(const AbstractPluginParameter&) = delete;
  AbstractPluginParameter& operator=(const AbstractPluginParameter&) = delete;

  virtual float convertNaturalToNormalized(float natural) const = 0;
  // The normalized form of the natural value as plug-in version `version`
  // had it. By default that is the normalized value, whatever the version.
  virtual float convertNaturalToVersioned(float natural, int version) const;
  virtual float convertNormalizedToNatural(float normalized) const = 0;
  // Sets natural from a versioned value of plug-in version `version`; false
  // when the value cannot be read for that version. By default the versioned
  // value is taken as the normalized one.
  virtual bool convertVersionedToNatural(float versioned, int version, float& natural) const;
  virtual std::string convertValueToString(float natural) const = 0;
  virtual float getDefault() const = 0;
  // The highest step an indexed parameter had in plug-in version `version`;
  // -1 means no indexed maximum.
  virtual int getIndexedMaxForVersion(int version) const;
  virtual float getMax() const = 0;
  virtual float getMin() const = 0;
  // The current natural value.
  virtual float getValue() const = 0;
  // Stores the value and, when it changed, reports it through
  // handleParameterChange with the flags (bit 0: the change comes from the
  // host).
  virtual void setValue(float natural, int flags) = 0;
  // Called on the render thread when a change of the parameter reaches the
  // engine. natural is the value the change carried (a held change carries
  // none and passes the value as it is when let through); the parameter's
  // own value may be newer, never older, so the overrides that drive the
  // signal graph give the engine the current value. Does nothing here.
  virtual void updateValue(float natural);

  void setNormalizedValue(float normalized, int flags);
  float getNormalizedValue() const;
  std::string getValueAsString() const;
  float getVersionedValue(int version) const;
  // Nothing happens when the value cannot be read for that version.
  void setVersionedValue(float versioned, int version, int flags);
  // The default with flags 0, so the host is told.
  void setToDefault();
  // Reports a stored change to the owner under this parameter's index.
  void handleParameterChange(float value, int flags);

  int getIndex() const { return mIndex; }
  const std::string& getName() const { return mName; }
  // Help text for the editor; empty until the product assigns one.
  const std::string& getHintText() const { return mHintText; }
  void setHintText(const std::string& text) { mHintText = text; }
  GenericParameterOwner* getOwner() const { return mOwner; }
  Type getType() const { return mType; }

private:
  int mIndex = -1;
  std::string mName;
  std::string mHintText;
  GenericParameterOwner* mOwner;
  Type mType;
};
