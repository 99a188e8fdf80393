#pragma once

// The editor base of every plug-in of the family: one editor window (a
// gui::UserInterface, which the editor owns), the GenericPlugin it edits and
// the InterfaceListener (the host bridge) to which it reports the user's
// gestures.
//
// A concrete editor's constructor creates its controls with the factories
// below (positions in window coordinates, also inside a container), binds
// value controls to parameters with setControl, links pairs that move
// together, and ends with initialize(). From then on:
// - a bound control's gesture goes out as start, change(s), end to the
//   listener, with the parameter's natural value; the editor never sets a
//   parameter itself: the host echoes the change to the plug-in, whose
//   parameter event brings the control up to date without a gesture;
// - the plug-in's events arrive through postEvent on any thread and are
//   handed back on the GUI thread to receiveEvent through the user
//   interface's queue, which also carries the editor's own deferred work
//   (open a web page, open the help book, delete a dialog that closed
//   itself), so none of it runs inside the handler that asked for it;
// - the preset, MIDI and help menus are rebuilt from the current state each
//   time they pop up.
//
// The plug-in's events come from any thread, also while a concrete editor
// is still being built or already being torn down, when the editor object
// changes its dynamic type. So the plug-in does not call the editor itself:
// it calls a small forwarder, a member of fixed type that hands each event
// to the user interface's queue unless an equal one waits there already
// (PluginEventGate), so no burst of them grows the queue. The forwarder is
// registered once the editor base is built and unregistered first thing in
// the destructor, which waits for a call still running on another thread.
// GUI thread only, except postEvent.

#include "base/NotifyEvent.h"
#include "base/PresetListener.h"
#include "editor/PluginEventGate.h"
#include "base/Property.h"
#include "gui/Button.h"
#include "gui/Geometry.h"
#include "gui/Knob.h"
#include "gui/Light.h"
#include "gui/Menu.h"
#include "gui/Switch.h"
#include "gui/UserInterface.h"
#include "plugin/GenericPlugin.h"

#include <memory>
#include <string>
#include <vector>

class AbstractPluginParameter;
class Preset;

namespace gui {
class Control;
class Dialog;
class Image;
class ImageLabel;
class Label;
class SelectButton;
class ToggleButton;
class ValueEditor;
} // namespace gui

// Codes of the editor's own deferred requests in its event queue.
constexpr int cOpenUrlEvent = -1;
constexpr int cOpenHelpFileEvent = -2;
constexpr int cCloseDialogEvent = -3;

class GenericPluginInterface : public GenericPlugin::Listener,
                               public gui::UserInterface::Listener,
                               public PresetListener,
                               public PropertyOwner {
public:
  // The host bridge: where the user's gestures go. value is natural.
  class InterfaceListener {
  public:
    virtual void controlChange(int parameterIndex, float value) = 0;
    virtual void endControlChange(int) {}
    virtual void processInterfaceAction(int action) = 0;
    virtual void startControlChange(int) {}

  protected:
    ~InterfaceListener() = default;
  };

  // A partner of a linked control: its parameter and its normalized value
  // when the current linked move began.
  struct ParameterLink {
    int index;
    float base;
  };

  enum StandardUrlId { cHomePage = 0, cSupportPage = 1 };

  // One mapping of the MIDI menu; choosing it removes the mapping.
  class MidiMenuItem : public gui::MenuItem {
  public:
    MidiMenuItem(GenericPluginInterface* editor, int controller, const std::string& parameterName);
    void click() override;

    int getController() const { return controller; }
    GenericPluginInterface* getEditor() const { return editor; }

  private:
    int controller;
    GenericPluginInterface* editor;
  };

  // listener may be null (gestures then go nowhere). Loads the background
  // image (throws gui::EBitmap or EResource when it cannot, and the plug-in
  // never heard of the editor; the user interface is then deleted with the
  // editor's other parts).
  GenericPluginInterface(std::unique_ptr<gui::UserInterface> userInterface, GenericPlugin* plugin,
                         InterfaceListener* listener, const std::string& backgroundName, float contrast);
  // Detaches from the plug-in first, then deletes the menus and the user
  // interface with every control.
  virtual ~GenericPluginInterface();

  GenericPluginInterface(const GenericPluginInterface&) = delete;
  GenericPluginInterface& operator=(const GenericPluginInterface&) = delete;

  // ---- the plug-in's and the user interface's listener
  // Any thread.
  void postEvent(int event, int value) override;
  void receiveEvent(int event, int value) override;
  virtual void showHint(const std::string& text) override;
  void propertyChange(const AbstractProperty* property) override;

  // ---- overridable operations
  // The maker's pages; "" for any other id.
  virtual std::string getStandardUrl(StandardUrlId id);
  virtual void showQVHostOptions() {}
  virtual void changeFolderClick(void* sender);
  virtual void controlChange(void* sender);
  virtual gui::ImageLabel* getHintDisplay() { return nullptr; }
  virtual gui::Label* getValueLabel() { return nullptr; }
  virtual void initializeHelpMenu();
  virtual void initializeMidiMenu();
  virtual void initializePresetMenu();
  virtual void knobMouseEnter(void* knob);
  virtual void knobMouseLeave(void* knob);
  virtual void labelMouseClick(void* sender);
  virtual void saveAsItemClick(void* sender);
  virtual void saveItemClick(void* sender);
  virtual void showAboutDialog() {}
  virtual void updateGeneralControls(int) {}
  virtual void updateParameterControl(int index);
  virtual void updatePresetControls() {}
  virtual void updateReceivedMidi() {}
  void presetClick(Preset* preset) override;

  // ---- building the editor
  // The new menu belongs to the caller.
  gui::PopupMenu* createPopupMenu();
  // Null or the window: controls go to the window again.
  void setActiveContainer(gui::Control* container);
  gui::Control* getActiveContainer() const { return activeContainer; }

  gui::Control* createContainer(int x, int y, int width, int height);
  gui::Button* createButton(int x, int y, gui::Button::Style* style);
  gui::Button* createButton(int x, int y, int width, gui::Button::Style* style);
  gui::Button* createButton(int x, int y, const std::string& normal, const std::string& hover,
                            const std::string& pressed, const std::string& overlayOff,
                            const std::string& overlayOn);
  gui::ToggleButton* createToggleButton(int x, int y, gui::Button::Style* style);
  gui::ToggleButton* createToggleButton(int x, int y, int width, gui::Button::Style* style);
  gui::ToggleButton* createToggleButton(int x, int y, const std::string& normal, const std::string& hover,
                                        const std::string& pressed, const std::string& overlayOff,
                                        const std::string& overlayOn);
  gui::ToggleButton* createToggleButton(int x, int y, int width, const std::string& normal,
                                        const std::string& hover, const std::string& pressed,
                                        const std::string& overlayOff, const std::string& overlayOn);
  gui::SelectButton* createSelectButton(int x, int y, gui::Button::Style* style);
  gui::SelectButton* createSelectButton(int x, int y, int width, gui::Button::Style* style);
  // One item per value of the (indexed) parameter, with its value text.
  gui::SelectButton* createSelectButton(int x, int y, gui::Button::Style* style,
                                        const AbstractPluginParameter& parameter);
  gui::SelectButton* createSelectButton(int x, int y, int width, gui::Button::Style* style,
                                        const AbstractPluginParameter& parameter);
  gui::Knob* createKnob(int x, int y, gui::Knob::Style* style);
  gui::Switch* createSwitch(int x, int y, gui::Switch::Style* style);
  gui::Light* createLight(int x, int y, gui::Light::Style* style);
  gui::Label* createLabel(int x, int y);
  gui::Label* createLabel(int x, int y, int width, int height);
  gui::Image* createImage(int x, int y, const std::string& name);
  gui::ImageLabel* createImageLabel(int x, int y, const std::string& name);

  // Binds the control to the parameter (null unbinds the parameter). A
  // control bound to another parameter before loses that binding first.
  void setControl(const AbstractPluginParameter& parameter, gui::ValueEditor* control);
  gui::ValueEditor* getControl(const AbstractPluginParameter& parameter) const;
  // Both must be bound; a pair with an unbound control is not linked.
  void linkControls(gui::ValueEditor* a, gui::ValueEditor* b);
  const std::vector<ParameterLink>& getLinks(int index) const { return links[static_cast<size_t>(index)]; }
  // The parameter of the value control under the point (window
  // coordinates), or -1.
  int getParameterIndexAtPos(gui::Point pt);

  // Once, after every control exists: the help menu, every control's value,
  // the hint display and the welcome hint.
  void initialize();
  void updateParameterControls();

  // ---- presets
  void loadPreset(Preset* preset);
  void loadNextPreset();
  void loadPreviousPreset();
  void viewProgramNumbersClick(void* sender);

  // ---- MIDI menu handlers
  void midiClearAllClick(void* sender);
  void midiRevertClick(void* sender);
  void midiSaveClick(void* sender);
  void midiFactoryClick(void* sender);

  // ---- help menu handlers
  void helpTopicsItemClick(void* sender);
  void helpHintsItemClick(void* sender);
  void helpSiteItemClick(void* sender);
  void helpSupportItemClick(void* sender);
  void helpAboutItemClick(void* sender);

  // ---- deferred requests
  void openUrl(const std::string& url);
  void openPluginHelpFile();
  // The dialog is deleted on the next event tick.
  void closeDialog(gui::Dialog* dialog);

  // ---- hints
  void showWelcomeHint();
  void hideWelcomeHint();

  // ---- gestures of bound controls
  void startControlChange(void* sender);
  void endControlChange(void* sender);
  void linkedChange(void* sender);

  gui::UserInterface* getUserInterface() const { return ui.get(); }
  GenericPlugin* getPlugin() const { return plugin; }
  InterfaceListener* getInterfaceListener() const { return listener; }
  gui::PopupMenu* getPresetMenu() const { return presetMenu; }
  gui::PopupMenu* getMidiMenu() const { return midiMenu; }
  gui::PopupMenu* getHelpMenu() const { return helpMenu; }

  Property<bool> midiLearnMode{this, false};

protected:
  // The parameter bound to a control's id, or null when the id names none.
  AbstractPluginParameter* boundParameter(const gui::ValueEditor* control) const;
  // x moved as little as needed for the label to lie inside the window.
  int insideWindow(const gui::Label* label, int x) const;
  // Places a new control in the active container at window position (x,
  // y), with the given width when it is not negative.
  void place(gui::Control* control, int x, int y, int width = -1);

  gui::Control* activeContainer;
  gui::Point containerOffset;
  std::vector<gui::ValueEditor*> controls;
  std::vector<std::vector<ParameterLink>> links;
  gui::Dialog* pendingDialog = nullptr;
  gui::PopupMenu* helpMenu = nullptr;
  float linkBase = 0.0f;
  InterfaceListener* listener;
  std::string pendingUrl;
  gui::PopupMenu* presetMenu = nullptr;
  gui::PopupMenu* midiMenu = nullptr;
  GenericPlugin* plugin;
  std::unique_ptr<gui::UserInterface> ui;

private:
  // What the plug-in calls: posts into the user interface's queue, unless
  // an equal event waits there already (see PluginEventGate).
  class PluginEventForwarder final : public GenericPlugin::Listener {
  public:
    PluginEventForwarder(gui::UserInterface* ui, int parameterCount) : ui(ui), gate(parameterCount) {}
    void postEvent(int event, int value) override {
      if (gate.admit(event, value)) ui->postEvent(event, value);
    }
    // GUI thread: the event left the queue.
    void delivered(int event, int value) { gate.delivered(event, value); }

  private:
    gui::UserInterface* ui;
    PluginEventGate gate;
  };

  void presetMenuPopup(void* sender);
  void midiMenuPopup(void* sender);
  void helpMenuPopup(void* sender);

  PluginEventForwarder pluginEvents;
};
