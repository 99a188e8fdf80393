#pragma once

// A control that a MIDI controller can be learnt to but that is not a
// plug-in parameter: hosts, presets and automation never see it. Its
// identifier lies in a range of its own (from cMidiVirtualParameterBase on),
// which the controller map stores like a parameter index. When its
// controller moves, the plug-in hands it the normalized value on the render
// thread, and it acts on real parameters.
//
// The plug-in's list holds these objects without owning them; they live as
// long as their plug-in.

#include <string>

class GenericPlugin;

// Identifiers of MIDI-only parameters are this value plus their creation
// position.
constexpr int cMidiVirtualParameterBase = 0x100000;

class MidiVirtualPluginParameter {
public:
  // Registers with the plug-in, which gives the identifier.
  MidiVirtualPluginParameter(GenericPlugin* plugin, const std::string& name);

  MidiVirtualPluginParameter(const MidiVirtualPluginParameter&) = delete;
  MidiVirtualPluginParameter& operator=(const MidiVirtualPluginParameter&) = delete;

  // normalized: the controller's value, 0..1.
  virtual void receiveMessage(float normalized) = 0;

  int getIdentifier() const { return mIdentifier; }
  const std::string& getName() const { return mName; }

protected:
  // Never deleted through this class: the product deletes its own objects.
  ~MidiVirtualPluginParameter() = default;

private:
  int mIdentifier;
  std::string mName;
};
