#pragma once

// What a plug-in parameter reports to: the object that numbers the
// parameters as they are built and carries each change of a parameter's
// value on to the signal engine. The plug-in object is the one owner in
// practice.

class AbstractPluginParameter;

class GenericParameterOwner {
public:
  // Called by a parameter after it stored a new natural value. flags bit 0
  // set: the change comes from the host.
  virtual void handleParameterChange(int index, float value, int flags) = 0;
  // Takes the parameter into the owner's list and returns its index.
  virtual int registerParameter(AbstractPluginParameter* parameter) = 0;

  // Hands a value that reached the engine to the parameter (its
  // updateValue); called on the render thread.
  void updateParameterValue(AbstractPluginParameter* parameter, float value);

protected:
  // Never deleted through this class.
  ~GenericParameterOwner() = default;
};
