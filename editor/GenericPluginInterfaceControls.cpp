// The editor base's control side: the factories, binding controls to
// parameters, and the gestures, links and value label of bound controls.

#include "editor/GenericPluginInterface.h"

#include "base/PresetContext.h"
#include "editor/ShortcutHints.h"
#include "gui/Bitmap.h"
#include "gui/Control.h"
#include "gui/Image.h"
#include "gui/Label.h"
#include "gui/SelectButton.h"
#include "gui/Text.h"
#include "gui/ToggleButton.h"
#include "gui/ValueEditor.h"
#include "plugin/AbstractPluginParameter.h"

#include <algorithm>

namespace {

// Buttons react also where their images are half transparent.
constexpr int cButtonHitThreshold = 128;
constexpr int cContinuousSteps = 65536;

// Writes the property only when the value differs (the property notifies).
void setIfDifferent(Property<int>& property, int value) {
  if (property.get() != value) property = value;
}

gui::ValueEditor* asValueEditor(gui::Control* control) { return dynamic_cast<gui::ValueEditor*>(control); }

} // namespace

// ---- factories

void GenericPluginInterface::setActiveContainer(gui::Control* container) {
  gui::Control* window = ui->getWindow();
  if (container && container != window) {
    activeContainer = container;
    const gui::Point p = container->getPosition();
    containerOffset = gui::Point(-p.x, -p.y);
  } else {
    activeContainer = window;
    containerOffset = gui::Point(0, 0);
  }
}

void GenericPluginInterface::place(gui::Control* control, int x, int y, int width) {
  control->parent = activeContainer;
  const int left = x + containerOffset.x;
  const int top = y + containerOffset.y;
  if (width >= 0)
    control->setBounds(left, top, width, control->bounds.get().height());
  else
    control->setPosition(gui::Point(left, top));
}

gui::Control* GenericPluginInterface::createContainer(int x, int y, int width, int height) {
  auto* container = new gui::Control(ui.get());
  container->parent = ui->getWindow();
  container->setBounds(x, y, width, height);
  return container;
}

gui::Button* GenericPluginInterface::createButton(int x, int y, gui::Button::Style* style) {
  return createButton(x, y, -1, style);
}

gui::Button* GenericPluginInterface::createButton(int x, int y, int width, gui::Button::Style* style) {
  auto* button = new gui::Button(ui.get(), style);
  button->hitThreshold = cButtonHitThreshold;
  place(button, x, y, width);
  return button;
}

gui::Button* GenericPluginInterface::createButton(int x, int y, const std::string& normal, const std::string& hover,
                                                  const std::string& pressed, const std::string& overlayOff,
                                                  const std::string& overlayOn) {
  auto* button = new gui::Button(ui.get(), nullptr);
  button->loadFromResource(normal, hover, pressed, overlayOff, overlayOn);
  button->hitThreshold = cButtonHitThreshold;
  place(button, x, y);
  return button;
}

gui::ToggleButton* GenericPluginInterface::createToggleButton(int x, int y, gui::Button::Style* style) {
  return createToggleButton(x, y, -1, style);
}

gui::ToggleButton* GenericPluginInterface::createToggleButton(int x, int y, int width, gui::Button::Style* style) {
  auto* button = new gui::ToggleButton(ui.get(), style);
  button->hitThreshold = cButtonHitThreshold;
  place(button, x, y, width);
  return button;
}

gui::ToggleButton* GenericPluginInterface::createToggleButton(int x, int y, const std::string& normal,
                                                              const std::string& hover, const std::string& pressed,
                                                              const std::string& overlayOff,
                                                              const std::string& overlayOn) {
  return createToggleButton(x, y, -1, normal, hover, pressed, overlayOff, overlayOn);
}

gui::ToggleButton* GenericPluginInterface::createToggleButton(int x, int y, int width, const std::string& normal,
                                                              const std::string& hover, const std::string& pressed,
                                                              const std::string& overlayOff,
                                                              const std::string& overlayOn) {
  auto* button = new gui::ToggleButton(ui.get(), nullptr);
  button->loadFromResource(normal, hover, pressed, overlayOff, overlayOn);
  button->hitThreshold = cButtonHitThreshold;
  place(button, x, y, width);
  return button;
}

gui::SelectButton* GenericPluginInterface::createSelectButton(int x, int y, gui::Button::Style* style) {
  return createSelectButton(x, y, -1, style);
}

gui::SelectButton* GenericPluginInterface::createSelectButton(int x, int y, int width, gui::Button::Style* style) {
  auto* button = new gui::SelectButton(ui.get(), style);
  button->hitThreshold = cButtonHitThreshold;
  place(button, x, y, width);
  return button;
}

gui::SelectButton* GenericPluginInterface::createSelectButton(int x, int y, gui::Button::Style* style,
                                                              const AbstractPluginParameter& parameter) {
  return createSelectButton(x, y, -1, style, parameter);
}

gui::SelectButton* GenericPluginInterface::createSelectButton(int x, int y, int width, gui::Button::Style* style,
                                                              const AbstractPluginParameter& parameter) {
  gui::SelectButton* button = createSelectButton(x, y, width, style);
  const int last = static_cast<int>(parameter.getMax());
  for (int v = static_cast<int>(parameter.getMin()); v <= last; ++v)
    button->addItem(parameter.convertValueToString(static_cast<float>(v)));
  return button;
}

gui::Knob* GenericPluginInterface::createKnob(int x, int y, gui::Knob::Style* style) {
  auto* knob = new gui::Knob(ui.get(), style);
  place(knob, x, y);
  knob->onMouseEnter = NotifyEvent::bind(this, &GenericPluginInterface::knobMouseEnter);
  knob->onMouseLeave = NotifyEvent::bind(this, &GenericPluginInterface::knobMouseLeave);
  return knob;
}

gui::Switch* GenericPluginInterface::createSwitch(int x, int y, gui::Switch::Style* style) {
  auto* control = new gui::Switch(ui.get(), style);
  place(control, x, y);
  return control;
}

gui::Light* GenericPluginInterface::createLight(int x, int y, gui::Light::Style* style) {
  auto* light = new gui::Light(ui.get(), style);
  place(light, x, y);
  return light;
}

gui::Label* GenericPluginInterface::createLabel(int x, int y) {
  auto* label = new gui::Label(ui.get());
  place(label, x, y);
  return label;
}

gui::Label* GenericPluginInterface::createLabel(int x, int y, int width, int height) {
  auto* label = new gui::Label(ui.get());
  label->parent = activeContainer;
  label->setBounds(x + containerOffset.x, y + containerOffset.y, width, height);
  return label;
}

gui::Image* GenericPluginInterface::createImage(int x, int y, const std::string& name) {
  auto* image = new gui::Image(ui.get());
  image->getBitmap()->loadFromResource(name);
  place(image, x, y);
  return image;
}

gui::ImageLabel* GenericPluginInterface::createImageLabel(int x, int y, const std::string& name) {
  auto* label = new gui::ImageLabel(ui.get());
  label->getBitmap()->loadFromResource(name);
  place(label, x, y);
  return label;
}

// ---- binding

void GenericPluginInterface::setControl(const AbstractPluginParameter& parameter, gui::ValueEditor* control) {
  const int index = parameter.getIndex();
  if (index < 0 || index >= static_cast<int>(controls.size())) return;
  gui::ValueEditor*& entry = controls[static_cast<size_t>(index)];

  if (control) {
    // A control still bound elsewhere leaves that parameter first, so that
    // no entry keeps a control that reports for another parameter.
    const int previous = control->id;
    if (previous != index && previous >= 0 && previous < static_cast<int>(controls.size()) &&
        controls[static_cast<size_t>(previous)] == control)
      controls[static_cast<size_t>(previous)] = nullptr;

    control->id = index;
    if (!parameter.getHintText().empty()) control->setHint(hintWithKeysInForce(parameter.getHintText()));

    int minimum, maximum, defaultPosition;
    if (parameter.getType() == AbstractPluginParameter::cIndexed) {
      minimum = static_cast<int>(parameter.getMin());
      maximum = static_cast<int>(parameter.getMax());
      defaultPosition = static_cast<int>(parameter.getDefault());
    } else {
      minimum = 0;
      maximum = cContinuousSteps;
      defaultPosition =
          static_cast<int>(parameter.convertNaturalToNormalized(parameter.getDefault()) * cContinuousSteps);
    }
    // The range keeps itself ordered on every write, so the last write
    // settles it whatever the old range was.
    setIfDifferent(control->minimum, minimum);
    setIfDifferent(control->maximum, maximum);
    setIfDifferent(control->minimum, minimum);
    setIfDifferent(control->defaultPosition, defaultPosition);

    control->onChange = NotifyEvent::bind(this, &GenericPluginInterface::controlChange);
    control->onLink = NotifyEvent::bind(this, &GenericPluginInterface::linkedChange);
    control->onStartChange = NotifyEvent::bind(this, &GenericPluginInterface::startControlChange);
    control->onEndChange = NotifyEvent::bind(this, &GenericPluginInterface::endControlChange);
  }

  // The control that held the entry is unbound but stays on screen; binding
  // the control that already holds the entry keeps it bound.
  if (entry && entry != control && entry->id == index) entry->id = -1;
  entry = control;
}

gui::ValueEditor* GenericPluginInterface::getControl(const AbstractPluginParameter& parameter) const {
  const int index = parameter.getIndex();
  if (index < 0 || index >= static_cast<int>(controls.size())) return nullptr;
  return controls[static_cast<size_t>(index)];
}

AbstractPluginParameter* GenericPluginInterface::boundParameter(const gui::ValueEditor* control) const {
  const int index = control->id;
  if (index < 0 || index >= static_cast<int>(controls.size())) return nullptr;
  return plugin->getParameter(index);
}

void GenericPluginInterface::linkControls(gui::ValueEditor* a, gui::ValueEditor* b) {
  if (!a || !b || !boundParameter(a) || !boundParameter(b)) return;
  links[static_cast<size_t>(a->id.get())].push_back(ParameterLink{b->id, 0.0f});
  links[static_cast<size_t>(b->id.get())].push_back(ParameterLink{a->id, 0.0f});
}

int GenericPluginInterface::getParameterIndexAtPos(gui::Point pt) {
  gui::Control* control = ui->getWindow();
  if (!control) return -1;
  while (gui::Control* child = control->controlAtPos(pt)) {
    const gui::Point p = child->getPosition();
    pt = gui::Point(pt.x - p.x, pt.y - p.y);
    control = child;
  }
  gui::ValueEditor* editor = asValueEditor(control);
  return editor ? editor->id.get() : -1;
}

// ---- gestures

void GenericPluginInterface::linkedChange(void* sender) {
  auto* control = static_cast<gui::ValueEditor*>(sender);
  if (!boundParameter(control)) return;
  linkBase = control->getValue();
  for (ParameterLink& link : links[static_cast<size_t>(control->id.get())]) {
    const gui::ValueEditor* partner = controls[static_cast<size_t>(link.index)];
    if (partner && partner->id == link.index) {
      link.base = partner->getValue();
    } else if (const AbstractPluginParameter* p = plugin->getParameter(link.index)) {
      // A partner without a control: what its control would show.
      link.base = p->getNormalizedValue();
    }
  }
}

void GenericPluginInterface::startControlChange(void* sender) {
  auto* control = static_cast<gui::ValueEditor*>(sender);
  if (!listener || !boundParameter(control)) return;
  const int index = control->id;
  listener->startControlChange(index);
  if (control->isLinked())
    for (const ParameterLink& link : links[static_cast<size_t>(index)]) listener->startControlChange(link.index);
}

void GenericPluginInterface::endControlChange(void* sender) {
  auto* control = static_cast<gui::ValueEditor*>(sender);
  if (!listener || !boundParameter(control)) return;
  const int index = control->id;
  listener->endControlChange(index);
  if (control->isLinked())
    for (const ParameterLink& link : links[static_cast<size_t>(index)]) listener->endControlChange(link.index);
}

void GenericPluginInterface::controlChange(void* sender) {
  auto* control = static_cast<gui::ValueEditor*>(sender);
  AbstractPluginParameter* parameter = boundParameter(control);
  if (!listener || !parameter) return;
  const int index = control->id;
  const float normalized = control->getValue();
  const float value = parameter->convertNormalizedToNatural(normalized);
  if (PresetContext* context = plugin->getPresetContext()) context->presetModified = true;
  listener->controlChange(index, value);

  if (control->isLinked()) {
    const float delta = normalized - linkBase;
    for (const ParameterLink& link : links[static_cast<size_t>(index)]) {
      const AbstractPluginParameter* partner = plugin->getParameter(link.index);
      if (!partner) continue;
      const float n = std::clamp(link.base + delta, 0.0f, 1.0f);
      listener->controlChange(link.index, partner->convertNormalizedToNatural(n));
    }
  }

  if (gui::Label* label = getValueLabel()) {
    const int oldWidth = label->getText()->getWidth();
    label->getText()->text = parameter->convertValueToString(value);
    const int newWidth = label->getText()->getWidth();
    const gui::Point p = label->getPosition();
    label->setPosition(gui::Point(insideWindow(label, p.x - (newWidth - oldWidth) / 2), p.y));
  }

  if (midiLearnMode) plugin->learnMidi(index);
}

void GenericPluginInterface::knobMouseEnter(void* sender) {
  gui::Label* label = getValueLabel();
  auto* knob = static_cast<gui::Knob*>(static_cast<gui::Control*>(sender));
  if (!label || !knob->parent.get()) return;
  const AbstractPluginParameter* parameter = boundParameter(knob);
  if (!parameter) return;
  label->parent = ui->getWindow();
  label->visible = true;
  label->getText()->text = parameter->getValueAsString();
  const gui::Point at = knob->getGlobalPosition();
  const gui::Rect& kb = knob->bounds.get();
  const gui::Rect& lb = label->bounds.get();
  label->setPosition(gui::Point(insideWindow(label, at.x + (kb.width() - lb.width()) / 2), at.y + kb.height() + 5));
}

int GenericPluginInterface::insideWindow(const gui::Label* label, int x) const {
  const gui::Control* window = ui->getWindow();
  if (!window) return x;
  const int room = window->bounds.get().width() - label->bounds.get().width();
  // A label wider than the window keeps its left edge in sight.
  return std::max(0, std::min(x, room));
}

void GenericPluginInterface::knobMouseLeave(void*) {
  gui::Label* label = getValueLabel();
  if (label && label->visible) label->visible = false;
}
