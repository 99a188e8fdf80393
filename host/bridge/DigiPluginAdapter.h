#pragma once

// The adapter between one host process (a plug-in instance as the host sees
// it) and one GenericPlugin: it owns the plug-in, defines the host controls
// from the plug-in's parameters and carries value changes both ways: host
// to plug-in (automation, control surfaces, the host's own control editing),
// plug-in to host (preset loads, MIDI learn) and editor to host (gestures on
// the editor's controls). The preset-name chunk is its own as well.
//
// Controls: control 1 is the master bypass; parameter i is control i + 2.
//
// The editor window: the host gets a host-drawn view that only reserves
// the editor's rectangle, and hands over the window's port; the editor is
// built on the window's root control and draws itself with its own toolkit.
// At most one editor is open; it goes with a null port, a new port, or the
// adapter. The host owns the view and may delete it before or after the
// adapter.
//
// Threads. The host and the editor call on the host's main thread (the
// thread that made the adapter). The plug-in reports its own changes on the
// thread that makes them, which may be the render thread; the host's
// control calls belong to the main thread, so such a change is only marked
// there and handed to the host on the main thread: at the host's idle time,
// or before a chunk is saved or restored. The bypass flag is atomic, and the
// reset that switching it on asks for runs on the render thread at the start
// of the next render call, never beside a running process call.

#include "editor/GenericPluginInterface.h"
#include "gui/Geometry.h"
#include "host/CEffectProcessMIDI.h"
#include "host/PresetNameChunk.h"
#include "plugin/GenericPlugin.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

class CPendingControlChanges;
class CPlugInView;
class DigiViewAdapter;
namespace gui {
class MacInterface;
}

class DigiPluginAdapter : public GenericPlugin::Adapter,
                          public GenericPluginInterface::InterfaceListener,
                          public virtual CEffectProcessMIDI {
public:
  // The preset-name chunk (host/PresetNameChunk.h).
  static constexpr uint32_t kPresetNameChunkID = presetchunk::kID;
  static constexpr uint32_t kBypassControlID = 0x62797061; // 'bypa'
  static constexpr int32_t kBypassControlIndex = 1;

  // Makes the plug-in with createPluginInstance and registers as its
  // adapter; the controls are defined later, by EffectInit.
  DigiPluginAdapter();
  // Closes an open editor, unhooks the host's view (which the host may
  // still hold), then deletes the plug-in.
  ~DigiPluginAdapter() override;

  static int32_t parameterIndexToControlIndex(int parameterIndex) { return parameterIndex + 2; }
  static int controlIndexToParameterIndex(int32_t controlIndex) { return controlIndex - 2; }

  // ---- GenericPlugin::Adapter
  // parameterIndex: the parameter whose value the plug-in changed itself,
  // -1 for all. Its current value goes to the host's control, at once on
  // the main thread, else marked for the main thread.
  void pluginParameterChange(int parameterIndex) override;
  // Nothing to do: the preset's values arrive as parameter changes.
  void pluginPresetChange() override;

  // ---- What the editor calls around a gesture (main thread). value is in
  // the parameter's natural units. A parameter index without a control
  // throws CDAEError -7300.
  void startControlChange(int parameterIndex) override;
  void controlChange(int parameterIndex, float value) override;
  void endControlChange(int parameterIndex) override;
  // An editor's request that only the bridge could carry out; none is
  // defined, so every action is ignored.
  void processInterfaceAction(int action) override;

  // ---- The editor window (main thread)
  // A CNoResourceView of the editor's size holding one DigiViewAdapter;
  // owned by the host. Null when it cannot be made.
  CPlugInView* CreateCPlugInView() override;
  // A window port opens the editor on the window's root control (closing
  // one still open first); null closes it. When no root control can be
  // found or made, or the editor cannot be built, no editor is open and
  // the failure's status is returned.
  int32_t SetViewPort(OpaqueGrafPtr* port) override;
  // (0, 0) to the editor's width and height.
  int32_t GetViewRect(SHostRect* rect) override;
  // The host control of the parameter under a port point: parameter i is
  // control i + 2; 0 over no parameter or without an editor. Returns 0.
  int32_t ChooseControl(SHostPoint point, int32_t* controlIndex) override;
  // Draws area of the editor (window coordinates) into the window.
  void updateRect(gui::Rect area);
  GenericPluginInterface* GetEditor() const { return fEditor; }
  gui::MacInterface* GetUserInterface() const { return fUserInterface; }
  DigiViewAdapter* GetHostView() const { return fHostView; }
  // The host deleted the adapter view.
  void viewDeleted(DigiViewAdapter* view);

  // ---- Host process
  // Control 1 the master bypass, then one control per parameter.
  void EffectInit() override;
  // The host stored a new value in the control: bypass or a parameter.
  void UpdateControlValueInAlgorithm(int32_t controlIndex) override;
  // The preset-name chunk here; the MIDI-connection and controls chunks in
  // the base. Pending plug-in changes reach the controls first.
  int32_t GetChunk(uint32_t id, SFicPlugInChunk* chunk) override;
  int32_t SetChunk(uint32_t id, SFicPlugInChunk* chunk) override;
  // The control values and, under kStateVersionName, the plug-in's state
  // version; a chunk without it was saved before the first change of sound.
  void FillControlsChunk(class ChunkDataParser& parser) const override;
  static constexpr const char* kStateVersionName = "ZSVr";
  // The host's idle time: hands over pending plug-in changes.
  void Idle() override;

  GenericPlugin* GetPlugin() const { return fPlugin; }
  bool IsBypassed() const { return fBypassed.load(std::memory_order_acquire); }
  // Main thread: hands every change the plug-in made off the main thread to
  // the host's controls, with the parameters' values as they are now.
  void HandOverControlChanges();
  bool HasPendingControlChanges() const;

protected:
  // Marks this adapter as rendering while it lives: plug-in changes made
  // inside are marked for the main thread even when the host renders on its
  // main thread.
  class CRenderScope {
  public:
    explicit CRenderScope(const DigiPluginAdapter* adapter);
    ~CRenderScope();
    CRenderScope(const CRenderScope&) = delete;
    CRenderScope& operator=(const CRenderScope&) = delete;

  private:
    const DigiPluginAdapter* fAdapter; // null off the main thread
    bool fPrevious = false;
  };

  // Render thread, at the start of a render call: the plug-in's reset when
  // switching the bypass on asked for one since the last call.
  void PerformRequestedReset();

private:
  void CloseEditor();
  bool MustDefer() const;
  void ForwardToHost(int parameterIndex);

  std::atomic<bool> fBypassed{false};
  std::atomic<bool> fResetRequested{false};
  GenericPlugin* fPlugin = nullptr;
  GenericPluginInterface* fEditor = nullptr;
  DigiViewAdapter* fHostView = nullptr;
  gui::MacInterface* fUserInterface = nullptr; // owned by the editor
  std::unique_ptr<CPendingControlChanges> fPending;
  std::thread::id fMainThread;
  bool fHandingOver = false; // main thread only
  // The main thread is inside a render call of this adapter. A member, not a
  // thread-local: a bundle the host loads late gets its thread-locals in
  // blocks allocated on first use, which leak checkers misread at exit.
  mutable bool fMainThreadRendering = false; // main thread only
};
