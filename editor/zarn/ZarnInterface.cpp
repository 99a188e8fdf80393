#include "editor/zarn/ZarnInterface.h"

#include "base/PresetContext.h"
#include "editor/ComponentPresetHandler.h"
#include "editor/ShortcutHints.h"
#include "editor/zarn/ModulationControls.h"
#include "editor/zarn/ModulationDragStage.h"
#include "editor/zarn/ZarnFilterController.h"
#include "editor/zarn/ZarnLayout.h"
#include "gui/Bitmap.h"
#include "gui/Image.h"
#include "gui/Label.h"
#include "gui/SelectButton.h"
#include "gui/Text.h"
#include "gui/ToggleButton.h"
#include "hints/ZarnHints.h"
#include "plugin/ControllerMapping.h"
#include "synth/ModulationMatrixParameterSet.h"
#include "synth/ZarnPlugin.h"

#include <algorithm>
#include <memory>
#include <utility>

using namespace zarnlayout;

namespace {

const gui::Color cCaptionColor(244, 248, 241, 255);
const gui::Color cCaptionModified(244, 248, 241, 128);
const char* const cSoundDesignersAddress = "http://www.quorvane.com/zarn/sounddesigners";

gui::Knob::Style* loadKnobStyle(gui::UserInterface* ui, const std::string& prefix) {
  auto* style = new gui::Knob::Style(ui);
  style->loadFromResource(prefix + "NormalBack.png", prefix + "NormalOverlay.png", prefix + "ActiveBack.png",
                          prefix + "ActiveOverlay.png", prefix + "RotateOverlay.png", prefix + "DownOverlay.png");
  style->grabAngle = 45.0f;
  style->outerRadius = 20;
  style->innerRadius = 7;
  return style;
}

gui::Button::Style* loadButtonStyle(gui::UserInterface* ui, const std::string& name, bool overlays) {
  auto* style = new gui::Button::Style(ui);
  style->loadFromResource("Button" + name + "Normal.png", "Button" + name + "Active.png",
                          "Button" + name + "Down.png", overlays ? "Button" + name + "Off.png" : "",
                          overlays ? "Button" + name + "On.png" : "");
  return style;
}

gui::Button::Style* loadToggleStyle(gui::UserInterface* ui, const std::string& kind) {
  auto* style = new gui::Button::Style(ui);
  style->loadFromResource("ButtonToggleBackground.png", "ButtonToggleActive.png", "ButtonToggleDown.png",
                          "ButtonToggle" + kind + "Off.png", "ButtonToggle" + kind + "On.png");
  return style;
}

template <class T>
void setIfDifferent(Property<T>& p, const T& value) {
  if (p.get() != value) p = value;
}

} // namespace

ZarnInterface::ZarnInterface(std::unique_ptr<gui::UserInterface> userInterface, ZarnPlugin* plugin,
                             GenericPluginInterface::InterfaceListener* listener)
    : ModulationMatrixPluginInterface(std::move(userInterface), plugin, listener, "Background.png", 1.135f),
      zarnPlugin(plugin) {
  // ---- styles
  knobStyle = loadKnobStyle(ui.get(), "Knob");
  outerKnobStyle = loadKnobStyle(ui.get(), "OuterKnob");
  smallKnobStyle = loadKnobStyle(ui.get(), "SmallKnob");
  horSwitchStyle = new gui::Switch::Style(ui.get());
  horSwitchStyle->loadFromResource("SwitchHorBack.png", "SwitchNormalButton.png", "SwitchActiveButton.png");
  verSwitchStyle = new gui::Switch::Style(ui.get());
  verSwitchStyle->loadFromResource("SwitchVerBack.png", "SwitchNormalButton.png", "SwitchActiveButton.png");
  genericButtonStyle = loadButtonStyle(ui.get(), "Generic", false);
  genericButtonStyle->textColor = cCaptionColor;
  slotBankButtonStyle = loadButtonStyle(ui.get(), "SlotBank", true);
  plainButtonStyle = new gui::Button::Style(ui.get());
  plainButtonStyle->loadFromResource("ButtonNormal.png", "ButtonActive.png", "ButtonDown.png", "", "");
  plainButtonStyle->textColor = cCaptionColor;
  bypassButtonStyle = loadButtonStyle(ui.get(), "Bypass", true);
  menuButtonStyle = loadButtonStyle(ui.get(), "Menu", false);
  clearButtonStyle = loadButtonStyle(ui.get(), "Clear", false);
  toggleStyle = loadToggleStyle(ui.get(), "");
  midiToggleStyle = loadToggleStyle(ui.get(), "Midi");
  monoToggleStyle = loadToggleStyle(ui.get(), "Mono");
  lightStyle = new gui::Light::Style(ui.get());
  lightStyle->loadFromResource("LightOff.png", "LightOn.png");
  sourceButtonStyle->loadFromResource("SourceButtonNormal.png", "SourceButtonActive.png", "SourceButtonActive.png", "",
                                      "SourceButtonOn.png");
  dragStage->getDot()->loadFromResource("DragDot.png");
  dragStage->lineColor = gui::Color(255, 255, 255, 192);
  slotOrderButtonStyle = new gui::Button::Style(ui.get());
  slotOrderButtonStyle->loadFromResource("ButtonSlotDragNormal.png", "ButtonSlotDragActive.png",
                                         "ButtonSlotDragActive.png", "", "");
  dialogStyle = new GenericDialog::Style(ui.get());
  dialogStyle->backgroundImage = std::string("DialogGeneric.png");
  // The dialogs load their picture when they open; one that cannot be read
  // fails the editor now, by name, and not a click on a menu later.
  const std::unique_ptr<gui::Bitmap> dialogPicture(ui->createBitmap());
  dialogPicture->loadFromResource(dialogStyle->backgroundImage);
  dialogStyle->backgroundSize = gui::Point(dialogPicture->getWidth(), dialogPicture->getHeight());
  dialogStyle->offset = gui::Point(90, 22);
  dialogStyle->buttonStyle = genericButtonStyle;

  // ---- section presets
  for (int i = 0; i < ZarnPlugin::cComponentCount; ++i)
    handlers[i] = std::make_unique<ComponentPresetHandler>(ui.get(), &plugin->getComponentCollection(i),
                                             ZarnPlugin::sComponentPresetManagers[ZarnPlugin::cComponentTypes[i]],
                                             listener);

  // ---- header
  previousButton = createButton(cPrevious.x, cPrevious.y, "ButtonPreviousNormal.png", "ButtonPreviousActive.png",
                                "ButtonPreviousDown.png", "", "");
  previousButton->onClick = NotifyEvent::bind(this, &ZarnInterface::buttonClick);
  presetsButton = createButton(cPresets.x, cPresets.y, "ButtonPresetsNormal.png", "ButtonPresetsActive.png",
                               "ButtonPresetsDown.png", "", "");
  presetsButton->popupMenu = getPresetMenu();
  presetsButton->getText()->color = cCaptionColor;
  nextButton =
      createButton(cNext.x, cNext.y, "ButtonNextNormal.png", "ButtonNextActive.png", "ButtonNextDown.png", "", "");
  nextButton->onClick = NotifyEvent::bind(this, &ZarnInterface::buttonClick);
  optionsButton = createButton(cOptions.x, cOptions.y, "ButtonOptionsNormal.png", "ButtonOptionsActive.png",
                               "ButtonOptionsDown.png", "", "");
  optionsButton->onClick = NotifyEvent::bind(this, &ZarnInterface::buttonClick);
  optionsButton->visible = false;
  helpButton = createButton(cHelp.x, cHelp.y, cHelpW, genericButtonStyle);
  helpButton->getText()->text = std::string("Help");
  helpButton->popupMenu = getHelpMenu();

  // ---- panels
  createOscillators();
  createFilters();
  createOutput();
  for (int n = 0; n < 3; ++n) createLfo(n);
  createEnvelopes();
  createVoices();

  // ---- slot strip
  static const char* const cBankNames[3] = {"A", "B", "C"};
  for (int b = 0; b < 3; ++b) {
    bankButtons[b] = createButton(cBank[b].x, cBank[b].y, cBankW, slotBankButtonStyle);
    bankButtons[b]->toggle = true;
    bankButtons[b]->getText()->text = std::string(cBankNames[b]);
    bankButtons[b]->getText()->color = gui::Color(0, 0, 0, 200);
    bankButtons[b]->hint = std::string(cHintBankButton);
    bankButtons[b]->onClick = NotifyEvent::bind(this, &ZarnInterface::bankButtonClick);
  }
  bankButtons[0]->selected = true;
  ModulationMatrixParameterSet* slots = plugin->getModMatrixParameters();
  firstSlotParameter = slots->getFirstIndex();
  lastSlotParameter = slots->getLastIndex();
  for (int i = 0; i < 8; ++i) slotUnits[i] = new SlotUnit(this, i, cSlotW * i, cSlotY);
  slotMask = new SlotMask(this);

  // ---- window overlays
  for (int i = 0; i < 2; ++i) {
    filterDimmers[i] = createImage(cDimmer[i].x, cDimmer[i].y, i == 0 ? "Filter1Dimmer.png" : "Filter2Dimmer.png");
    filterDimmers[i]->opacity = 100;
  }
  valueLabel = createLabel(0, 0);
  valueLabel->fillColor = gui::Color(255, 255, 255, 255);
  valueLabel->borderColor = gui::Color(0, 0, 0, 255);
  valueLabel->getText()->bold = true;
  valueLabel->horizontalAlignment = 1;
  valueLabel->opacity = 128;
  valueLabel->visible = false;
  orderStage = new ZarnSlotOrderStage(this);
  hintDisplay = createImageLabel(313, 5, "HelpHintBackground.png");
  hintDisplay->margins = gui::Rect(15, 10, 35, 15);
  hintDisplay->visible = false;

  // ---- linked pairs: the second section's control first
  const std::pair<const AbstractPluginParameter*, const AbstractPluginParameter*> pairs[] = {
      {&plugin->osc2.sync, &plugin->osc1.sync},       {&plugin->osc2.pulseWidth, &plugin->osc1.pulseWidth},
      {&plugin->osc2.level, &plugin->osc1.level},     {&plugin->osc2.pan, &plugin->osc1.pan},
      {&plugin->filter2.freq, &plugin->filter1.freq}, {&plugin->filter2.pan, &plugin->filter1.pan},
      {&plugin->filter2.peak, &plugin->filter1.peak}};
  for (const auto& [a, b] : pairs) linkControls(getControl(*a), getControl(*b));

  initialize();
}

ZarnInterface::~ZarnInterface() {
  for (auto& h : handlers) h.reset();
}

gui::Button* ZarnInterface::createSectionPresets(int x, int y, int handler) {
  gui::Button* b = createButton(x, y, cMenuSize, menuButtonStyle);
  b->popupMenu = handlers[handler]->getMenu();
  b->hint = std::string(cHintComponentPresets);
  return b;
}

gui::Knob* ZarnInterface::createScaleKnob(int x, int y) {
  gui::Knob* knob = createKnob(x, y, outerKnobStyle);
  knob->angleRange = 120.0f;
  return knob;
}

void ZarnInterface::createOscillators() {
  ZarnPlugin* p = zarnPlugin;
  setActiveContainer(createContainer(cOscPanel.x, cOscPanel.y, cOscPanel.w, cOscPanel.h));
  createSectionPresets(cOscPresets.x, cOscPresets.y, 0);
  setControl(p->noisePan, 1, createTargetKnob(cNoisePan.x, cNoisePan.y, outerKnobStyle));
  setControl(p->noiseLevel, 0, createTargetKnob(cNoiseLevel.x, cNoiseLevel.y, knobStyle));
  setControl(p->noiseType, createSwitch(cNoiseType.x, cNoiseType.y, horSwitchStyle));
  setControl(p->portamento, createKnob(cPortamento.x, cPortamento.y, smallKnobStyle));
  setControl(p->portamentoMode, createSwitch(cPortamentoMode.x, cPortamentoMode.y, verSwitchStyle));
  for (int o = 0; o < 2; ++o) {
    ZarnOscillatorParameters& osc = o == 0 ? p->osc1 : p->osc2;
    const int t = o == 0 ? 3 : 8; // Sync's target; Pulse Width, Level, Pan follow
    setControl(osc.scale, createScaleKnob(cOscScale[o].x, cOscScale[o].y));
    if (o == 0)
      setControl(p->masterTune, 2, createTargetKnob(cOscTune[0].x, cOscTune[0].y, knobStyle));
    else
      setControl(p->osc2Detune, 7, createTargetKnob(cOscTune[1].x, cOscTune[1].y, knobStyle));
    setControl(osc.waveForm, createSwitch(cOscWave[o].x, cOscWave[o].y, horSwitchStyle));
    setControl(osc.sync, t, createTargetKnob(cOscSync[o].x, cOscSync[o].y, smallKnobStyle));
    setControl(osc.pulseWidth, t + 1, createTargetKnob(cOscPulse[o].x, cOscPulse[o].y, smallKnobStyle));
    setControl(osc.pan, t + 3, createTargetKnob(cOscPan[o].x, cOscPan[o].y, outerKnobStyle));
    setControl(osc.level, t + 2, createTargetKnob(cOscLevel[o].x, cOscLevel[o].y, knobStyle));
    setControl(osc.phaseSync, createToggleButton(cOscPhase[o].x, cOscPhase[o].y, midiToggleStyle));
  }
  setActiveContainer(nullptr);
}

void ZarnInterface::createFilters() {
  ZarnPlugin* p = zarnPlugin;
  filterKnobPanel = createContainer(cFilterPanel.x, cFilterPanel.y, 278, cFilterPanel.h);
  setActiveContainer(filterKnobPanel);
  createSectionPresets(cFilterPresets.x, cFilterPresets.y, 1);
  for (int f = 0; f < 2; ++f) {
    ZarnFilterParameters& filter = f == 0 ? p->filter1 : p->filter2;
    const int t = f == 0 ? 12 : 15;
    setControl(filter.characteristic, createSelectButton(cFilterChar[f].x, cFilterChar[f].y, cCharacteristicW,
                                                         plainButtonStyle, filter.characteristic));
    setControl(filter.enabled, createToggleButton(cFilterEnabled[f].x, cFilterEnabled[f].y, toggleStyle));
    setControl(filter.pan, t + 1, createTargetKnob(cFilterPan[f].x, cFilterPan[f].y, outerKnobStyle));
    setControl(filter.freq, t, createTargetKnob(cFilterFreq[f].x, cFilterFreq[f].y, knobStyle));
    setControl(filter.peak, t + 2, createTargetKnob(cFilterPeak[f].x, cFilterPeak[f].y, smallKnobStyle));
    setControl(filter.slope, createSwitch(cFilterSlope[f].x, cFilterSlope[f].y, verSwitchStyle));
    setControl(filter.response, createSwitch(cFilterResponse[f].x, cFilterResponse[f].y, verSwitchStyle));
  }
  setControl(p->filterRouting, createSwitch(cFilterRouting.x, cFilterRouting.y, verSwitchStyle));
  displayButton = createButton(cDisplayButton.x, cDisplayButton.y, "ButtonDisplayNormal.png",
                               "ButtonDisplayActive.png", "ButtonDisplayDown.png", "", "");
  displayButton->onClick = NotifyEvent::bind(this, &ZarnInterface::filterDisplayButtonClick);
  displayButton->hint = std::string(cHintFilterDisplayToggle);

  filterDisplayPanel = createContainer(cFilterPanel.x, cFilterPanel.y, cFilterPanel.w, cFilterPanel.h);
  setActiveContainer(filterDisplayPanel);
  const std::string displayHint = hintWithKeysInForce(cHintFilterDisplay);
  createImage(cDisplayBackground.x, cDisplayBackground.y, "DisplayBackground.png")->hint = displayHint;
  filterController = new ZarnFilterController(ui.get(), nullptr);
  // The curves cover the background image: the display explains itself.
  filterController->hint = displayHint;
  filterController->loadFromResource("DisplayMid.png", "DisplayPeak1.png", "DisplayPeak2.png",
                                     "DisplayMidActive.png", "DisplayPeak1Active.png", "DisplayPeak2Active.png");
  place(filterController, cDisplay.x, cDisplay.y);
  filterController->setBounds(0, 0, cDisplayW, cDisplayH);
  filterController->lineColor = gui::Color(234, 178, 55, 205);
  filterController->inactiveColor = gui::Color(132, 93, 10, 104);
  filterController->activeColor = gui::Color(171, 117, 0, 128);
  filterController->onChange1 = NotifyEvent::bind(this, &ZarnInterface::filterControllerChange1);
  filterController->onStartChange1 = NotifyEvent::bind(this, &ZarnInterface::filterControllerStartChange1);
  filterController->onEndChange1 = NotifyEvent::bind(this, &ZarnInterface::filterControllerEndChange1);
  filterController->onChange2 = NotifyEvent::bind(this, &ZarnInterface::filterControllerChange2);
  filterController->onStartChange2 = NotifyEvent::bind(this, &ZarnInterface::filterControllerStartChange2);
  filterController->onEndChange2 = NotifyEvent::bind(this, &ZarnInterface::filterControllerEndChange2);
  noDisplayButton = createButton(cDisplayButton.x, cDisplayButton.y, "ButtonNoDisplayNormal.png",
                                 "ButtonNoDisplayActive.png", "ButtonNoDisplayDown.png", "", "");
  noDisplayButton->onClick = NotifyEvent::bind(this, &ZarnInterface::filterDisplayButtonClick);
  noDisplayButton->hint = std::string(cHintFilterDisplayToggle);
  filterDisplayPanel->visible = false;
  setActiveContainer(nullptr);
}

void ZarnInterface::createOutput() {
  setActiveContainer(createContainer(cOutputPanel.x, cOutputPanel.y, 64, cOutputPanel.h));
  setControl(zarnPlugin->volume, 18, createTargetKnob(cVolume.x, cVolume.y, smallKnobStyle));
  setControl(zarnPlugin->stereo, 19, createTargetKnob(cStereo.x, cStereo.y, smallKnobStyle));
  setActiveContainer(nullptr);
}

void ZarnInterface::createLfo(int n) {
  ZarnLfoParameters& lfo = n == 0 ? zarnPlugin->lfo1 : n == 1 ? zarnPlugin->lfo2 : zarnPlugin->lfo3;
  const int x0 = cLfoX[n];
  setActiveContainer(createContainer(x0, cLfoY, lfoWidth(n), 135));
  lfoSyncBackgrounds[n] = createImage(x0 + cLfoSyncBack.x, cLfoSyncBack.y, "BackgroundSyncKnob.png");
  lfoLights[n] = createLight(x0 + cLfoLight.x, cLfoLight.y, lightStyle);
  createSectionPresets(x0 + cLfoPresets.x, cLfoPresets.y, 5 + n);
  createSourceButton(n, x0 + cLfoSource.x, cLfoSource.y);
  lfoFreqKnobs[n] = createTargetKnob(x0 + cLfoFreq.x, cLfoFreq.y, smallKnobStyle);
  setControl(lfo.frequency, 20 + n, lfoFreqKnobs[n]);
  lfoSyncKnobs[n] = createTargetKnob(x0 + cLfoFreq.x, cLfoFreq.y, smallKnobStyle);
  lfoSyncKnobs[n]->maximum = 10;
  GenericPluginInterface::setControl(lfo.syncFreq, lfoSyncKnobs[n]);
  setControl(lfo.balance, createKnob(x0 + cLfoBalance.x, cLfoBalance.y, smallKnobStyle));
  setControl(lfo.syncMode, createSwitch(x0 + cLfoSyncMode.x, cLfoSyncMode.y, verSwitchStyle));
  setControl(lfo.waveForm, createSwitch(x0 + cLfoWave.x, cLfoWave.y, verSwitchStyle));
  setControl(lfo.midiTrigger, createToggleButton(x0 + cLfoTrigger.x, cLfoTrigger.y, midiToggleStyle));
  setControl(lfo.polarity, createToggleButton(x0 + cLfoPolarity.x, cLfoPolarity.y, monoToggleStyle));
  setActiveContainer(nullptr);
}

void ZarnInterface::createEnvelopes() {
  ZarnPlugin* p = zarnPlugin;
  setActiveContainer(createContainer(cEnvPanel.x, cEnvPanel.y, cEnvPanel.w, 202));
  static const int cHandler[3] = {3, 4, 2};
  for (int r = 0; r < 3; ++r) {
    createSectionPresets(cEgPresets[r].x, cEgPresets[r].y, cHandler[r]);
    createSourceButton(3 + r, cEgSource[r].x, cEgSource[r].y);
    FloatParamPluginParameter* knobs[5];
    if (r < 2) {
      ZarnEnvelopeParameters& eg = r == 0 ? p->eg1 : p->eg2;
      FloatParamPluginParameter* k[5] = {&eg.delay, &eg.attack, &eg.decay, &eg.sustain, &eg.release};
      std::copy(k, k + 5, knobs);
    } else {
      ZarnMainEnvelopeParameters& eg = p->egMain;
      FloatParamPluginParameter* k[5] = {&eg.hold, &eg.attack, &eg.decay, &eg.sustain, &eg.release};
      std::copy(k, k + 5, knobs);
    }
    for (int k = 0; k < 5; ++k) {
      setControl(*knobs[k], 23 + 5 * r + k, createTargetKnob(cEgKnobX[k], cEgRowY[r], smallKnobStyle));
      if (k == 0 && r < 2)
        setControl((r == 0 ? p->eg1 : p->eg2).range, createSwitch(cEgRange[r].x, cEgRange[r].y, verSwitchStyle));
    }
  }
  setActiveContainer(nullptr);
}

void ZarnInterface::createVoices() {
  ZarnPlugin* p = zarnPlugin;
  setActiveContainer(createContainer(cVoicePanel.x, cVoicePanel.y, cVoicePanel.w, cVoicePanel.h));
  setControl(p->polyphony, createSwitch(cPolyphony.x, cPolyphony.y, verSwitchStyle));
  setControl(p->unisonSpread, createKnob(cUnisonSpread.x, cUnisonSpread.y, smallKnobStyle));
  setControl(p->totalVoices,
             createSelectButton(cTotalVoices.x, cTotalVoices.y, cVoicesW, plainButtonStyle, p->totalVoices));
  setControl(p->unisonVoices,
             createSelectButton(cUnisonVoices.x, cUnisonVoices.y, cVoicesW, plainButtonStyle, p->totalVoices));
  createSourceButton(7, cKbTrack.x, cKbTrack.y);
  createSourceButton(10, cAftertouch.x, cAftertouch.y);
  createSourceButton(6, cVelocity.x, cVelocity.y);
  createSourceButton(8, cModWheel.x, cModWheel.y);
  createSourceButton(9, cPitchBend.x, cPitchBend.y);
  midiLight = createLight(cMidiLight.x, cMidiLight.y, lightStyle);
  // The light shows learn mode, so the button has off and on overlays.
  learnButton = createToggleButton(cLearn.x, cLearn.y, "ButtonLearnNormal.png", "ButtonLearnActive.png",
                                   "ButtonLearnDown.png", "ButtonLearnOff.png", "ButtonLearnOn.png");
  learnButton->toggle = true;
  learnButton->getText()->text = std::string("Learn");
  learnButton->getText()->color = cCaptionColor;
  learnButton->hint = std::string(cHintMidiLearnButton);
  learnButton->onClick = NotifyEvent::bind(this, &ZarnInterface::buttonClick);
  learnMenuButton = createButton(cLearnMenu.x, cLearnMenu.y, "ButtonLearnMenuNormal.png",
                                 "ButtonLearnMenuActive.png", "ButtonLearnMenuDown.png", "", "");
  learnMenuButton->popupMenu = getMidiMenu();
  learnMenuButton->hint = std::string(cHintMidiLeanMenu);
  setActiveContainer(nullptr);
}

// ---- reactions

void ZarnInterface::updateParameterControl(int index) {
  ModulationMatrixPluginInterface::updateParameterControl(index);
  ZarnPlugin* p = zarnPlugin;
  if (index >= firstSlotParameter && index <= lastSlotParameter) {
    slotMask->invalidate();
    for (SlotUnit* unit : slotUnits) unit->updateWarning();
    updateBankButtons();
  }
  ZarnLfoParameters* lfos[3] = {&p->lfo1, &p->lfo2, &p->lfo3};
  for (int n = 0; n < 3; ++n)
    if (index == lfos[n]->syncMode.getIndex()) updateLFO(n, lfos[n]->syncMode.getCurrentIndex());
  for (int f = 0; f < 2; ++f) {
    ZarnFilterParameters& filter = f == 0 ? p->filter1 : p->filter2;
    ZarnFilterController* c = filterController;
    if (index == filter.freq.getIndex())
      setIfDifferent(f == 0 ? c->cutoff1 : c->cutoff2, filter.freq.getValue());
    else if (index == filter.peak.getIndex())
      setIfDifferent(f == 0 ? c->peak1 : c->peak2, filter.peak.getValue());
    else if (index == filter.response.getIndex())
      setIfDifferent(f == 0 ? c->response1 : c->response2, filter.response.getCurrentIndex());
    else if (index == filter.slope.getIndex())
      // The display holds the slope itself (12 or 24 dB), the parameter its index.
      setIfDifferent(f == 0 ? c->slope1 : c->slope2, static_cast<int>(filter.slope.getTypedValue()));
    else if (index == filter.enabled.getIndex()) {
      const bool on = filter.enabled.getCurrentIndex() != 0;
      updateFilter(f, on);
      setIfDifferent(f == 0 ? c->enabled1 : c->enabled2, on);
    }
  }
  if (midiLearnMode.get() && GenericPlugin::sControllerMapping) {
    const int controller = GenericPlugin::sControllerMapping->getControllerNumber(index);
    setIfDifferent(learnButton->getText()->text, controller < 0 ? std::string("-") : std::to_string(controller));
  }
  updatePresetControls();
}

void ZarnInterface::updateFilter(int i, bool enabled) { setIfDifferent(filterDimmers[i]->visible, !enabled); }

void ZarnInterface::updateLFO(int i, int syncMode) {
  setIfDifferent(lfoSyncKnobs[i]->visible, syncMode != 0);
  setIfDifferent(lfoSyncBackgrounds[i]->visible, syncMode != 0);
  setIfDifferent(lfoFreqKnobs[i]->visible, syncMode == 0);
}

void ZarnInterface::updateGeneralControls(int n) {
  if (n >= 0 && n < 3) setIfDifferent(lfoLights[n]->on, zarnPlugin->getLFOState(n) == 0);
}

void ZarnInterface::updatePresetControls() {
  PresetContext* context = zarnPlugin->getPresetContext();
  if (!context) return;
  setIfDifferent(presetsButton->getText()->text, context->presetName.get());
  setIfDifferent(presetsButton->getText()->color, context->presetModified.get() ? cCaptionModified : cCaptionColor);
}

void ZarnInterface::updateReceivedMidi() { midiLight->pulse(250); }

void ZarnInterface::propertyChange(const AbstractProperty* property) {
  ModulationMatrixPluginInterface::propertyChange(property);
  if (property != &midiLearnMode) return;
  // However the mode changed, the button's light follows it.
  setIfDifferent(learnButton->selected, midiLearnMode.get());
  if (!midiLearnMode.get()) setIfDifferent(learnButton->getText()->text, std::string("Learn"));
}

void ZarnInterface::showQVHostOptions() {
  optionsButton->visible = true;
  previousButton->setPosition(gui::Point(cPreviousQV.x, cPreviousQV.y));
  presetsButton->setPosition(gui::Point(cPresetsQV.x, cPresetsQV.y));
  nextButton->setPosition(gui::Point(cNextQV.x, cNextQV.y));
  helpButton->setPosition(gui::Point(cHelpQV.x, cHelpQV.y));
}

void ZarnInterface::showAboutDialog() { new AboutDialog(this, dialogStyle); }

void ZarnInterface::initializeHelpMenu() {
  ModulationMatrixPluginInterface::initializeHelpMenu();
  helpMenu->insert(4, new gui::MenuItem("About Sound Designers",
                                        NotifyEvent::bind(this, &ZarnInterface::soundDesignersItemClick)));
}

void ZarnInterface::soundDesignersItemClick(void*) { openUrl(cSoundDesignersAddress); }

void ZarnInterface::beginModulationView() { filterDisplayPanel->visible = false; }

void ZarnInterface::makeConnection(int slot, int source, int target) {
  ModulationMatrixPluginInterface::makeConnection(slot, source, target);
  activateSlotBank(slot / 8);
}

// ---- clicks

void ZarnInterface::buttonClick(void* sender) {
  if (sender == previousButton)
    loadPreviousPreset();
  else if (sender == nextButton)
    loadNextPreset();
  else if (sender == learnButton)
    setIfDifferent(midiLearnMode, learnButton->selected.get());
  else if (sender == optionsButton && listener)
    listener->processInterfaceAction(1);
}

void ZarnInterface::filterDisplayButtonClick(void* sender) {
  const bool shown = sender == displayButton;
  filterDisplayPanel->visible = shown;
  setIfDifferent(filterDimmers[0]->visible, !shown && zarnPlugin->filter1.enabled.getCurrentIndex() == 0);
  setIfDifferent(filterDimmers[1]->visible, !shown && zarnPlugin->filter2.enabled.getCurrentIndex() == 0);
}

void ZarnInterface::filterChange(int f) {
  ZarnFilterParameters& filter = f == 0 ? zarnPlugin->filter1 : zarnPlugin->filter2;
  ZarnFilterController* c = filterController;
  if (listener) {
    listener->controlChange(filter.freq.getIndex(), f == 0 ? c->cutoff1.get() : c->cutoff2.get());
    listener->controlChange(filter.peak.getIndex(), f == 0 ? c->peak1.get() : c->peak2.get());
    listener->controlChange(filter.response.getIndex(), float(f == 0 ? c->response1.get() : c->response2.get()));
    const int slope = f == 0 ? c->slope1.get() : c->slope2.get();
    listener->controlChange(filter.slope.getIndex(), float(slope - filter.slope.getFirstValue()));
  }
  if (PresetContext* context = zarnPlugin->getPresetContext()) setIfDifferent(context->presetModified, true);
}

void ZarnInterface::filterGesture(int f, bool start) {
  if (!listener) return;
  ZarnFilterParameters& filter = f == 0 ? zarnPlugin->filter1 : zarnPlugin->filter2;
  for (int index : {filter.freq.getIndex(), filter.peak.getIndex(), filter.response.getIndex(),
                    filter.slope.getIndex()}) {
    if (start)
      listener->startControlChange(index);
    else
      listener->endControlChange(index);
  }
}

void ZarnInterface::filterControllerChange1(void*) { filterChange(0); }
void ZarnInterface::filterControllerChange2(void*) { filterChange(1); }
void ZarnInterface::filterControllerStartChange1(void*) { filterGesture(0, true); }
void ZarnInterface::filterControllerStartChange2(void*) { filterGesture(1, true); }
void ZarnInterface::filterControllerEndChange1(void*) { filterGesture(0, false); }
void ZarnInterface::filterControllerEndChange2(void*) { filterGesture(1, false); }

GenericPluginInterface* createPluginInterfaceInstance(std::unique_ptr<gui::UserInterface> ui, GenericPlugin* plugin,
                                                      GenericPluginInterface::InterfaceListener* listener) {
  return new ZarnInterface(std::move(ui), static_cast<ZarnPlugin*>(plugin), listener);
}
