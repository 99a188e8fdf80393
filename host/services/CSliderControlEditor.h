#pragma once

// A straight slider: a groove and a knob (a ridged plate) that travels along
// it. The slider is horizontal when wider than high. The knob is 75 percent
// of the slider's thickness long; the rest of the length is the travel, over
// which the value's range maps linearly (from the left, or from the bottom;
// mirrored with "reverse"). Dragging the knob moves it with the mouse, six
// times finer with Command held. A slider whose knob fills its length has
// no travel: the knob stays at the start and dragging changes nothing.

#include "host/services/CControlEditor.h"

class CSliderControlEditor : public CControlEditor {
public:
  static constexpr uint32_t kKnobType = fourCharCode("Knob");
  static constexpr int kFineFactor = 6;

  void InitFromItemParse(SCustomParser* parser) override;
  void InitializeTree() override;
  void DrawContents(Rect* area) override;
  void TrackClick(EventRecord* event, bool synthetic) override;
  void Refresh() override;
  void Reposition() override;

  bool IsHorizontal() const { return fRect.width() > fRect.height(); }
  int KnobLength() const;
  int Travel() const;
  CCustomView* GetKnob() const { return fKnob; }
  // Where the knob lies for value.
  Rect KnobRect(int32_t value) const;
  void SetReverse(bool on) { fReverse = on; }

  // The value range over 0..range pixels and back; range 0 is the bottom.
  static int OffsetOfValue(int32_t value, int range);
  static int32_t ValueOfOffset(int offset, int range);

private:
  void TrackKnob(EventRecord* event);

  bool fReverse = false;
  CCustomView* fKnob = nullptr;
};

CPlugInView* CreateCSliderControlEditor();
