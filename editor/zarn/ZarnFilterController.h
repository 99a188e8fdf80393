#pragma once

// The interactive two-filter display: both filters' response shapes (each a
// FilterCurve) with three handles, one on each filter's peak and one midway
// between the peaks. Dragging a peak handle sets that filter's cutoff (x)
// and peak (height); dragging the middle handle moves both filters. While a
// peak handle is dragged, command mirrors the other peak about the midpoint
// captured when command went down, and option (without command) keeps the
// distance between the peaks captured when option went down. A
// command-click on a peak handle cycles the filter's response, a
// shift-click its slope (12 or 24 dB, the slope properties hold the slope
// itself). The keys are those of the default shortcut table: a remapped
// table moves them as it moves the knobs' (reset for command, fine for
// shift, linked for option).
//
// The control knows nothing of parameters: the editor copies parameter
// values into the properties below and turns the six events into parameter
// changes and host gestures. Every start event is matched by its end event
// at the release, also after a modifier click that began no drag, so a host
// control is never left touched.
//
// Handles are hit by their bitmaps' opacity (alpha above 64), read from the
// normal (not active) bitmaps; a point outside the normal bitmap misses even
// where a larger active bitmap was painted.

#include "base/NotifyEvent.h"
#include "base/Property.h"
#include "gui/Color.h"
#include "gui/Component.h"
#include "gui/Control.h"
#include "wave/GenericFilter.h"

#include <string>

namespace gui {
class Bitmap;
}
class FilterCurve;

GenericFilter::Response nextResponse(GenericFilter::Response r);
GenericFilter::Slope nextSlope(GenericFilter::Slope s);

class ZarnFilterController : public gui::Control {
public:
  enum AreaType : int { cNoArea = 0, cPeak1Area = 1, cPeak2Area = 2, cMidArea = 3 };

  // The six handle bitmaps, owned by the style. The skin draws each active
  // and normal pair at one size.
  class Style : public gui::Component {
  public:
    gui::Bitmap* midActive;
    gui::Bitmap* mid;
    gui::Bitmap* peak1Active;
    gui::Bitmap* peak1;
    gui::Bitmap* peak2Active;
    gui::Bitmap* peak2;

    explicit Style(gui::UserInterface* userInterface);
    ~Style() override;

    void loadFromResource(const std::string& mid, const std::string& peak1, const std::string& peak2,
                          const std::string& midActive, const std::string& peak1Active,
                          const std::string& peak2Active);
  };

  Property<gui::Color> activeColor{this, gui::Color(128, 128, 128, 196)};
  Property<gui::Color> inactiveColor{this, gui::Color(128, 128, 128, 128)};
  Property<float> cutoff1{this, 0.3f};
  Property<float> cutoff2{this, 0.7f};
  Property<bool> enabled1{this, true};
  Property<bool> enabled2{this, true};
  Property<gui::Color> lineColor{this, gui::Color(255, 255, 255, 255)};
  NotifyEvent onChange1;
  NotifyEvent onStartChange1;
  NotifyEvent onEndChange1;
  NotifyEvent onChange2;
  NotifyEvent onStartChange2;
  NotifyEvent onEndChange2;
  Property<float> peak1{this, 0.5f};
  Property<float> peak2{this, 0.5f};
  Property<int> response1{this, 0};
  Property<int> response2{this, 1};
  Property<int> slope1{this, 1};
  Property<int> slope2{this, 1};

  // With a null style the controller makes its own (owned by the user
  // interface like every component).
  ZarnFilterController(gui::UserInterface* userInterface, Style* style);
  ~ZarnFilterController() override;

  void propertyChange(const AbstractProperty* property) override;

  // Forwards to the style.
  void loadFromResource(const std::string& mid, const std::string& peak1, const std::string& peak2,
                        const std::string& midActive, const std::string& peak1Active, const std::string& peak2Active);

  void setActive(AreaType area);
  // The handle at p (own coordinates).
  AreaType selectArea(const gui::Point& p) const;
  float positionToCutOff(const gui::Point& p) const;
  float positionToPeak(const gui::Point& p) const;
  void setMirroring(bool on);
  void setLinked(bool on);
  gui::Color getFilterColor(bool active) const { return active ? activeColor.get() : inactiveColor.get(); }
  // The rectangle of the bitmap's size centred on p.
  static gui::Rect calculateHitArea(const gui::Point& p, const gui::Bitmap* bitmap);

  Style* getStyle() const { return style; }
  // Null until the control has bounds.
  const FilterCurve* getCurve(int filter) const { return filter == 1 ? curve1 : curve2; }
  int getActiveArea() const { return activeArea; }
  int getDragArea() const { return dragArea; }
  gui::Color getFilterColor1() const { return filterColor1; }
  gui::Color getFilterColor2() const { return filterColor2; }
  // Where each handle was last painted.
  const gui::Rect& getPeak1Rect() const { return peak1Rect; }
  const gui::Rect& getPeak2Rect() const { return peak2Rect; }
  const gui::Rect& getMidRect() const { return midRect; }

protected:
  void mouseDown(gui::MouseButton button, const gui::Point& p, gui::ShiftState state) override;
  void mouseMove(const gui::Point& p, gui::ShiftState state) override;
  void mouseUp(gui::MouseButton button, const gui::Point& p, gui::ShiftState state) override;
  void paint(const gui::Canvas& canvas) override;

private:
  void updateFilterColors();
  void rebuildCurves();
  gui::Point peakPosition(int filter) const;
  // Cutoff and peak of filter 1 or 2 from a point, clamped to the display.
  void setFilter(int filter, const gui::Point& q);
  void fireStart(int area);
  void fireEnd(int area);

  int activeArea = 0;
  int dragArea = 0;
  // The handle whose start event(s) the last press fired; their end events
  // come at the release whether or not a drag followed.
  int startedArea = 0;
  gui::Color filterColor1;
  gui::Color filterColor2;
  float cutoffScale = 0.0f;
  float peakScale = 0.0f;
  FilterCurve* curve1 = nullptr;
  FilterCurve* curve2 = nullptr;
  gui::Rect peak1Rect;
  gui::Rect peak2Rect;
  gui::Rect midRect;
  bool linked = false;
  gui::Point mirrorCentre;
  gui::Point grabOffset;
  bool mirroring = false;
  gui::Point halfDistance;
  // Where the drag's press was, and whether the pointer has left it since:
  // a handle's place on screen is its value rounded to a pixel, so a move
  // to the press point itself would set the value to that rounding.
  gui::Point pressPoint;
  bool leftPressPoint = false;
  Style* style;
};
