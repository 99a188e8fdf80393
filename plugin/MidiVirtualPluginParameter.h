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
//
// MidiDuoVirtualPluginParameter is the one kind the system has: a controller
// that moves two parameters together.

#include <string>

class AbstractPluginParameter;
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

// Moves a pair of parameters together from one controller while keeping the
// distance between them: the controller sets the centre of the pair. Near
// either end one side stops at the limit; when the controller moves back the
// pair regains the distance it had. A distance changed elsewhere (host,
// editor, preset) since the last move is taken over; one narrowed only by
// this object's own stop at a limit is not. A negative distance (second
// below first) is kept as it is.
class MidiDuoVirtualPluginParameter final : public MidiVirtualPluginParameter {
public:
  // first and second are not owned.
  MidiDuoVirtualPluginParameter(GenericPlugin* plugin, const std::string& name, AbstractPluginParameter* first,
                                AbstractPluginParameter* second);

  // Render thread. Both parameters are set with flags 0, so the host hears
  // of the changes. A value that is not a finite number moves nothing.
  void receiveMessage(float normalized) override;

  // The normalized distance second - first kept while moving.
  float getSpread() const { return mSpread; }
  AbstractPluginParameter* getFirst() const { return mFirst; }
  AbstractPluginParameter* getSecond() const { return mSecond; }

private:
  // The distance as this object left it after its last move.
  float mLastSpread = 0.0f;
  float mSpread = 0.0f;
  AbstractPluginParameter* mFirst;
  AbstractPluginParameter* mSecond;
};
