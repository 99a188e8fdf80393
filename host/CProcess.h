#pragma once

// The base of every plug-in instance as the host sees it (a process): its
// process type, its controls with their touch counts, the sample rate, the
// window port and the host's control, view and meter queries.
//
// Controls are numbered from 1 in the order they are added. A value the
// plug-in changes itself goes to the host's automation service between a
// touch and a release; the host echoes it back (UpdateControlValue), which
// stores it and calls UpdateControlValueInAlgorithm. Without an automation
// service the value is stored and applied at once.
//
// Threads: everything here runs on the host's main thread, except that
// SetControlValue, TouchControl and ReleaseControl may come from the render
// thread (a plug-in that changes a parameter while it renders); the touch
// counts and control values are atomic for that.

#include "host/HostInterface.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <vector>

class CEffectProcessRTAS;
class CPluginControl;
class CPlugInView;
class CProcessType;
struct OpaqueGrafPtr;

class CProcess {
public:
  CProcess();
  virtual ~CProcess();
  CProcess(const CProcess&) = delete;
  CProcess& operator=(const CProcess&) = delete;

  CProcessType* GetProcessType() const { return fProcessType; }
  void SetProcessType(CProcessType* type) { fProcessType = type; }
  int32_t GetInstanceID() const { return fInstanceID; }
  void SetInstanceID(int32_t id) { fInstanceID = id; }
  // How the host names this process in the call table and the services.
  uintptr_t GetHostReference() const { return reinterpret_cast<uintptr_t>(this); }
  static CProcess* FromHostReference(uintptr_t reference) { return reinterpret_cast<CProcess*>(reference); }
  // This process as one the host's real-time thread renders, else null: a
  // cast the render worker makes for every quantum, cheaper than a
  // dynamic_cast through the virtual bases.
  virtual CEffectProcessRTAS* AsRealTimeProcess() { return nullptr; }

  // Channels of the process type's input and output stems (0 without a
  // type); 0.
  virtual int32_t GetNumAudioInputs(int16_t* count) const;
  virtual int32_t GetNumAudioOutputs(int16_t* count) const;

  // Fills one level and one peak flag per meter; does nothing here.
  virtual void UpdateMeters(int32_t* values, bool* peaks);

  virtual int32_t SetViewPort(OpaqueGrafPtr* port);
  OpaqueGrafPtr* GetViewPort() const { return fViewPort; }
  // Stores the rate; 0.
  virtual int32_t SetSampleRate(int32_t rate);
  int32_t GetSampleRate() const { return fSampleRate; }

  // The host-drawn view of the process, owned by the host; null here.
  virtual CPlugInView* CreateCPlugInView();
  // The editor's rectangle; empty here.
  virtual int32_t GetViewRect(SHostRect* rect);
  // The control under a window point (0: none); 0.
  virtual int32_t ChooseControl(SHostPoint point, int32_t* controlIndex);
  // The host has stored a new value in control index: apply it.
  virtual void UpdateControlValueInAlgorithm(int32_t controlIndex);
  virtual void Idle();

  // Takes ownership; the control's index is the new count.
  int32_t AddControl(CPluginControl* control);
  // CDAEError -7300 outside 1..count.
  CPluginControl* GetControl(int32_t index) const;
  int32_t GetNumControls() const { return static_cast<int32_t>(fControls.size()); }

  void SetControlValue(int32_t index, int32_t value);
  // Counted per control: the first touch and the last release reach the
  // host's automation service; a release without a touch is ignored.
  void TouchControl(int32_t index);
  void ReleaseControl(int32_t index);
  int32_t GetTouchCount(int32_t index) const;
  // The host stored value in control index.
  void UpdateControlValue(int32_t index, int32_t value);

  // Control queries of the host and of host-drawn views: neutral answers (0,
  // empty text) for an index without a control. Texts are length-prefixed;
  // a buffer for maxLength characters holds maxLength + 1 bytes.
  int32_t GetControlNumSteps(int32_t index) const;
  int32_t GetControlValue(int32_t index) const;
  int32_t GetControlDefaultValue(int32_t index) const;
  void GetControlValueString(int32_t index, int32_t value, int32_t maxLength, unsigned char* text) const;
  void GetControlNameOfLength(int32_t index, int32_t maxLength, unsigned char* name) const;
  // 0 with value set, else an error code (a CDAEError of the control gives
  // its code); value is left alone on failure.
  int32_t GetControlValueFromString(int32_t index, const unsigned char* text, int32_t* value) const;
  bool IsControlKeyValid(int32_t index, int32_t key) const;
  bool HasControl(int32_t index) const { return index >= 1 && index <= GetNumControls(); }

private:
  CProcessType* fProcessType = nullptr;
  int32_t fInstanceID = 0;
  int32_t fSampleRate = 44100;
  OpaqueGrafPtr* fViewPort = nullptr;
  std::vector<CPluginControl*> fControls;
  std::deque<std::atomic<int32_t>> fTouchCounts;
};
