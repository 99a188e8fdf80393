#pragma once

// The synthesizer's editor window: every control of the 640 x 522 panel at
// its fixed place (editor/ZarnLayout.h), bound to its parameter and, where
// the parameter can be modulated, registered as a drop target of its
// modulation target. Besides the bound controls it owns:
// - the eight section-preset handlers (oscillators, filters, the three
//   envelopes, the three LFOs), each popped up from its section's small
//   menu button;
// - the strip of eight slot units that shows one bank of eight of the 24
//   modulation slots, the three bank buttons, the mask that greys out what
//   of a slot cannot work, and the stage on which slots are reordered;
// - the interactive two-filter display, which shares its place with the
//   filter knobs (one of the two is shown), and two dimmers that lie over
//   the knobs of a filter that is off;
// - per LFO a free and a tempo-synced frequency knob on one spot (the sync
//   mode shows one), and the lights of the LFOs and of incoming MIDI.
//
// The reactions to parameter changes and clicks keep all of that in step:
// updateParameterControl (after the bases' control update) refreshes the
// strip when a slot parameter changed, the LFO knobs, the filter display
// and dimmers, and the Learn caption; the preset's name and modified flag
// show on the presets button.
//
// GUI thread only.

#include "editor/GenericDialog.h"
#include "editor/zarn/ModulationMatrixPluginInterface.h"
#include "editor/zarn/SlotOrder.h"

#include <memory>
#include <string>

class ComponentPresetHandler;
class ZarnFilterController;
class ZarnPlugin;

namespace gui {
class Timer;
}

class ZarnInterface : public ModulationMatrixPluginInterface {
public:
  // One of the eight places of the slot strip; shows the slot it is given.
  class SlotUnit : public gui::Component {
  public:
    SlotUnit(ZarnInterface* editor, int slot, int x, int y);
    // Unbinds the controls from the old slot's parameters and binds them to
    // the new slot's (-1: none).
    void setSlotIndex(int slot);
    int getSlotIndex() const { return slotIndex; }
    // The warning shows for a complete connection the matrix refuses.
    void updateWarning();
    void clearButtonClick(void* sender);

  private:
    // Binds the controls to the slot's parameters, or unbinds them.
    void bindSlot(int slot, bool bind);

  public:
    gui::ToggleButton* bypassButton;
    gui::Button* clearButton;
    ZarnInterface* editor;
    gui::Switch* invertSwitch;
    gui::Knob* levelKnob;
    SlotOrderButton* orderButton;
    int slotIndex = -1;
    gui::Label* numberLabel;
    gui::SelectButton* sourceButton;
    gui::SelectButton* targetButton;
    gui::Image* warningImage;
  };

  // Greys out the rows of the shown slots that cannot work. Takes no clicks.
  class SlotMask : public gui::Control {
  public:
    explicit SlotMask(ZarnInterface* editor);

  protected:
    void paint(const gui::Canvas& canvas) override;

  private:
    ZarnInterface* editor;
  };

  // Reordering: a shadow of the dragged slot follows the pointer, a marker
  // shows where it will land, and holding the pointer beyond either end of
  // the strip flips the bank once per 600 ms.
  class ZarnSlotOrderStage : public SlotOrderStage {
  public:
    explicit ZarnSlotOrderStage(ZarnInterface* editor);
    void beginOrder(const gui::Point& p, SlotOrderButton* button) override;
    void updateOrder(const gui::Point& p) override;
    void endOrder() override;

    int getOriginSlot() const { return originSlot; }
    int getResultSlot() const { return resultSlot; }
    gui::Image* getMarker() const { return marker; }
    gui::Timer* getTimer() const { return timer; }

  private:
    void timerTimer(void* sender);
    void updateResultIndex(const gui::Point& p);
    gui::Point getResultMarkerPosition(const gui::Point& p) const;

    int flipDirection = 0;
    gui::Point grabOffset;
    gui::Image* image;
    ZarnInterface* editor;
    int originSlot = -1;
    int resultSlot = -1;
    gui::Image* marker;
    int bank = 0;
    gui::Timer* timer;
    gui::Point lastPoint;
  };

  ZarnInterface(std::unique_ptr<gui::UserInterface> userInterface, ZarnPlugin* plugin,
                GenericPluginInterface::InterfaceListener* listener);
  ~ZarnInterface() override;

  // ---- the bases' operations
  void showQVHostOptions() override;
  gui::ImageLabel* getHintDisplay() override { return hintDisplay; }
  gui::Label* getValueLabel() override { return valueLabel; }
  void initializeHelpMenu() override;
  void propertyChange(const AbstractProperty* property) override;
  void showAboutDialog() override;
  void updateGeneralControls(int n) override;
  void updateParameterControl(int index) override;
  void updatePresetControls() override;
  void updateReceivedMidi() override;
  void beginModulationView() override;
  void getPreferredSlotRange(int& first, int& last) override;
  SlotOrderStage* getSlotOrderStage() override { return orderStage; }
  gui::Point getSlotSourcePos(int slot) override;
  gui::Point getSlotTargetPos(int slot) override;
  gui::Point getDragTargetPos(int target) override;
  void makeConnection(int slot, int source, int target) override;

  // ---- building
  gui::Knob* createScaleKnob(int x, int y);

  // ---- the strip
  void activateSlotBank(int bank);
  void bankButtonClick(void* sender);
  void updateBankButtons();
  bool isBankEmpty(int bank);
  int getBank() const { return currentBank; }

  // ---- clicks
  void buttonClick(void* sender);
  void filterDisplayButtonClick(void* sender);
  void filterControllerChange1(void* sender);
  void filterControllerChange2(void* sender);
  void filterControllerStartChange1(void* sender);
  void filterControllerStartChange2(void* sender);
  void filterControllerEndChange1(void* sender);
  void filterControllerEndChange2(void* sender);

  void updateFilter(int i, bool enabled);
  void updateLFO(int i, int syncMode);

  // ---- what tests and tools look at
  ZarnPlugin* getZarnPlugin() const { return zarnPlugin; }
  SlotUnit* getSlotUnit(int i) const { return slotUnits[i]; }
  SlotMask* getSlotMask() const { return slotMask; }
  gui::Button* getBankButton(int b) const { return bankButtons[b]; }
  gui::Button* getPresetsButton() const { return presetsButton; }
  gui::ToggleButton* getLearnButton() const { return learnButton; }
  gui::Light* getMidiLight() const { return midiLight; }
  gui::Light* getLfoLight(int n) const { return lfoLights[n]; }
  gui::Knob* getLfoFreqKnob(int n) const { return lfoFreqKnobs[n]; }
  gui::Knob* getLfoSyncKnob(int n) const { return lfoSyncKnobs[n]; }
  gui::Image* getFilterDimmer(int i) const { return filterDimmers[i]; }
  gui::Control* getFilterDisplayPanel() const { return filterDisplayPanel; }
  ZarnFilterController* getFilterController() const { return filterController; }

private:
  void soundDesignersItemClick(void* sender);
  void filterChange(int filter);
  void filterGesture(int filter, bool start);
  void createOscillators();
  void createFilters();
  void createOutput();
  void createLfo(int n);
  void createEnvelopes();
  void createVoices();
  gui::Button* createSectionPresets(int x, int y, int handler);

  // styles: components of the user interface, which deletes them with
  // itself, also when the constructor fails halfway
  gui::Knob::Style* knobStyle;
  gui::Knob::Style* outerKnobStyle;
  gui::Knob::Style* smallKnobStyle;
  gui::Switch::Style* horSwitchStyle;
  gui::Switch::Style* verSwitchStyle;
  gui::Button::Style* genericButtonStyle;
  gui::Button::Style* slotBankButtonStyle;
  gui::Button::Style* plainButtonStyle;
  gui::Button::Style* bypassButtonStyle;
  gui::Button::Style* menuButtonStyle;
  gui::Button::Style* clearButtonStyle;
  gui::Button::Style* toggleStyle;
  gui::Button::Style* midiToggleStyle;
  gui::Button::Style* monoToggleStyle;
  gui::Light::Style* lightStyle;
  gui::Button::Style* slotOrderButtonStyle;
  GenericDialog::Style* dialogStyle;

  // Freed before the base deletes the user interface their menus live in,
  // also when the constructor fails halfway.
  std::unique_ptr<ComponentPresetHandler> handlers[8];
  gui::Button* bankButtons[3] = {};
  int currentBank = 0;
  gui::Button* previousButton;
  gui::Button* presetsButton;
  gui::Button* nextButton;
  gui::Button* optionsButton;
  gui::Button* helpButton;
  gui::Control* filterKnobPanel;
  gui::Control* filterDisplayPanel;
  gui::Button* displayButton;
  gui::Button* noDisplayButton;
  gui::Image* filterDimmers[2] = {};
  ZarnFilterController* filterController;
  gui::Knob* lfoFreqKnobs[3] = {};
  gui::Knob* lfoSyncKnobs[3] = {};
  gui::Image* lfoSyncBackgrounds[3] = {};
  gui::Light* lfoLights[3] = {};
  gui::Light* midiLight;
  gui::ToggleButton* learnButton;
  gui::Button* learnMenuButton;
  SlotUnit* slotUnits[8] = {};
  SlotMask* slotMask;
  ZarnSlotOrderStage* orderStage;
  gui::Label* valueLabel;
  gui::ImageLabel* hintDisplay;
  int firstSlotParameter;
  int lastSlotParameter;
  ZarnPlugin* zarnPlugin;
};

// What the host bridge calls to open the editor; plugin is a ZarnPlugin.
GenericPluginInterface* createPluginInterfaceInstance(std::unique_ptr<gui::UserInterface> ui, GenericPlugin* plugin,
                                                      GenericPluginInterface::InterfaceListener* listener);
