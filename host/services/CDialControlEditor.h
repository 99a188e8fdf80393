#pragma once

// A circular knob: a face with a pointer at the angle of the value,
// clockwise from the top. Dragging around the centre sets the value by the
// mouse's angle (angle mode, the default): a cyclic dial spans the range
// over the whole turn, a non-cyclic one over +-144 degrees and holds the
// ends beyond. In linear mode the value follows the mouse's right and
// upward movement, four times coarser than with Command held.

#include "host/services/CControlEditor.h"

class CDialControlEditor : public CControlEditor {
public:
  // The value change per pixel of linear movement at factor 1.
  static constexpr int64_t kLinearStep = 1801LL * 3968;

  void InitFromItemParse(SCustomParser* parser) override;
  void DrawContents(Rect* area) override;
  void TrackClick(EventRecord* event, bool synthetic) override;
  void Refresh() override;
  void GetForegroundColor(RGBColor* color) override;

  void SetAngleMode(bool on) { fAngleMode = on; }
  void SetCyclic(bool on) { fCyclic = on; }
  void SetReverse(bool on) { fReverse = on; }

  // Whole degrees clockwise from the top of point around the rect's centre,
  // in 0..359, the rect's aspect taken out.
  int PointToAngle(Point p) const;
  // The value for an angle in degrees (angle mode).
  int32_t AngleToValue(int degrees) const;
  // value moved by dh pixels right and dv pixels up (linear mode); the
  // movement against the larger one is dropped; saturates at the ends.
  int32_t MoveLinear(int32_t value, int dh, int dv, bool fine) const;

private:
  void PointerFor(int32_t value, Point* start, Point* end) const;
  void DrawPointer(const RGBColor& color);

  bool fCyclic = false;
  bool fReverse = false;
  bool fAngleMode = true;
  Point fPointerStart, fPointerEnd;
  int fCoarse = 4;
  int fFine = 1;
};

CPlugInView* CreateCDialControlEditor();
