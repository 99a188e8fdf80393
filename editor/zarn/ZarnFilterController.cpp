#include "editor/zarn/ZarnFilterController.h"

#include "editor/zarn/FilterCurve.h"
#include "gui/Bitmap.h"
#include "gui/ShiftStateMapping.h"
#include "gui/UserInterface.h"

#include <algorithm>

using gui::Point;
using gui::Rect;

GenericFilter::Response nextResponse(GenericFilter::Response r) {
  switch (r) {
  case GenericFilter::cLowPass:
    return GenericFilter::cHighPass;
  case GenericFilter::cHighPass:
    return GenericFilter::cBandPass;
  default:
    return GenericFilter::cLowPass;
  }
}

// Clicks alternate between the two slopes every filter unit supports.
GenericFilter::Slope nextSlope(GenericFilter::Slope s) {
  return s == GenericFilter::c12dB ? GenericFilter::c24dB : GenericFilter::c12dB;
}

namespace {

constexpr int cAlphaHit = 64;

// Half of a point component-wise, truncating towards zero.
Point half(const Point& p) { return Point(p.x / 2, p.y / 2); }

bool hitsBitmap(const Rect& area, const gui::Bitmap* bitmap, const Point& p) {
  if (!area.contains(p)) return false;
  // The area may have been computed from the larger active bitmap.
  const Point offset = p - area.topLeft();
  if (!bitmap->getBounds().contains(offset)) return false;
  return bitmap->getPixel(offset).a > cAlphaHit;
}

} // namespace

ZarnFilterController::Style::Style(gui::UserInterface* userInterface)
    : gui::Component(userInterface), midActive(userInterface->createBitmap()), mid(userInterface->createBitmap()),
      peak1Active(userInterface->createBitmap()), peak1(userInterface->createBitmap()),
      peak2Active(userInterface->createBitmap()), peak2(userInterface->createBitmap()) {}

ZarnFilterController::Style::~Style() {
  delete midActive;
  delete mid;
  delete peak1Active;
  delete peak1;
  delete peak2Active;
  delete peak2;
}

void ZarnFilterController::Style::loadFromResource(const std::string& midName, const std::string& peak1Name,
                                                   const std::string& peak2Name, const std::string& midActiveName,
                                                   const std::string& peak1ActiveName,
                                                   const std::string& peak2ActiveName) {
  mid->loadFromResource(midName);
  peak1->loadFromResource(peak1Name);
  peak2->loadFromResource(peak2Name);
  midActive->loadFromResource(midActiveName);
  peak1Active->loadFromResource(peak1ActiveName);
  peak2Active->loadFromResource(peak2ActiveName);
}

ZarnFilterController::ZarnFilterController(gui::UserInterface* userInterface, Style* style)
    : gui::Control(userInterface), style(style ? style : new Style(userInterface)) {
  setBounds(0, 0, 300, 200);
  updateFilterColors();
}

ZarnFilterController::~ZarnFilterController() {
  delete curve1;
  delete curve2;
}

void ZarnFilterController::loadFromResource(const std::string& mid, const std::string& peak1,
                                            const std::string& peak2, const std::string& midActive,
                                            const std::string& peak1Active, const std::string& peak2Active) {
  style->loadFromResource(mid, peak1, peak2, midActive, peak1Active, peak2Active);
  invalidate();
}

void ZarnFilterController::rebuildCurves() {
  delete curve1;
  delete curve2;
  curve1 = curve2 = nullptr;
  const Rect& b = bounds.get();
  curve1 = new FilterCurve(b.width(), b.height(), 0.6f, 0.2f, 1.0f);
  curve2 = new FilterCurve(b.width(), b.height(), 0.6f, 0.2f, 1.0f);
  curve1->cutoff = cutoff1.get();
  curve1->peak = peak1.get();
  curve1->response = response1.get();
  curve1->slope = slope1.get();
  curve2->cutoff = cutoff2.get();
  curve2->peak = peak2.get();
  curve2->response = response2.get();
  curve2->slope = slope2.get();
  cutoffScale = b.width() > 0 ? 1.0f / b.width() : 0.0f;
  peakScale = curve1->getBase() > 0 ? 1.0f / curve1->getBase() : 0.0f;
}

void ZarnFilterController::propertyChange(const AbstractProperty* property) {
  if (property == &bounds) {
    rebuildCurves();
  } else if (property == &activeColor || property == &inactiveColor) {
    updateFilterColors();
  } else if (curve1 && curve2) {
    if (property == &cutoff1) curve1->cutoff = cutoff1.get();
    else if (property == &peak1) curve1->peak = peak1.get();
    else if (property == &response1) curve1->response = response1.get();
    else if (property == &slope1) curve1->slope = slope1.get();
    else if (property == &cutoff2) curve2->cutoff = cutoff2.get();
    else if (property == &peak2) curve2->peak = peak2.get();
    else if (property == &response2) curve2->response = response2.get();
    else if (property == &slope2) curve2->slope = slope2.get();
  }
  gui::Control::propertyChange(property);
  invalidate();
}

void ZarnFilterController::updateFilterColors() {
  filterColor1 = getFilterColor(activeArea == cPeak1Area || activeArea == cMidArea);
  filterColor2 = getFilterColor(activeArea == cPeak2Area || activeArea == cMidArea);
}

void ZarnFilterController::setActive(AreaType area) {
  if (area == activeArea) return;
  activeArea = area;
  updateFilterColors();
  invalidate();
}

ZarnFilterController::AreaType ZarnFilterController::selectArea(const Point& p) const {
  if (hitsBitmap(peak1Rect, style->peak1, p)) return cPeak1Area;
  if (hitsBitmap(peak2Rect, style->peak2, p)) return cPeak2Area;
  if (hitsBitmap(midRect, style->mid, p)) return cMidArea;
  return cNoArea;
}

float ZarnFilterController::positionToCutOff(const Point& p) const {
  return std::clamp(p.x, 0, bounds.get().width()) * cutoffScale;
}

float ZarnFilterController::positionToPeak(const Point& p) const {
  const int b = curve1 ? curve1->getBase() : 0;
  return std::clamp(b - p.y, 0, b) * peakScale;
}

Point ZarnFilterController::peakPosition(int filter) const {
  const FilterCurve* c = filter == 1 ? curve1 : curve2;
  return c ? c->getPeakPosition() : Point();
}

void ZarnFilterController::setMirroring(bool on) {
  if (on && !mirroring) mirrorCentre = half(peakPosition(1) + peakPosition(2));
  mirroring = on;
}

void ZarnFilterController::setLinked(bool on) {
  if (on && !linked) halfDistance = half(peakPosition(2) - peakPosition(1));
  linked = on;
}

Rect ZarnFilterController::calculateHitArea(const Point& p, const gui::Bitmap* bitmap) {
  const int w = bitmap->getWidth(), h = bitmap->getHeight();
  return Rect(Point(p.x - w / 2, p.y - h / 2), w, h);
}

void ZarnFilterController::setFilter(int filter, const Point& q) {
  if (filter == 1) {
    cutoff1 = positionToCutOff(q);
    peak1 = positionToPeak(q);
  } else {
    cutoff2 = positionToCutOff(q);
    peak2 = positionToPeak(q);
  }
}

void ZarnFilterController::fireStart(int area) {
  if (area == cPeak1Area || area == cMidArea) onStartChange1(this);
  if (area == cPeak2Area || area == cMidArea) onStartChange2(this);
}

void ZarnFilterController::fireEnd(int area) {
  if (area == cPeak1Area || area == cMidArea) onEndChange1(this);
  if (area == cPeak2Area || area == cMidArea) onEndChange2(this);
}

void ZarnFilterController::mouseDown(gui::MouseButton button, const Point& p, gui::ShiftState state) {
  gui::Control::mouseDown(button, p, state);
  dragArea = selectArea(p);
  // A press that arrives before the last one was released ends that one's
  // gesture first.
  fireEnd(startedArea);
  startedArea = dragArea;
  fireStart(dragArea);

  // The display's gestures follow the shortcut table the knobs use: the
  // keys are read as the default table would name the same purposes.
  state = gui::shiftStateMapping.inDefaultKeys(state);
  const bool command = (state & gui::cCommandBit) && !(state & gui::cOptionBit);
  if (command || (state & gui::cShiftBit)) {
    if (dragArea == cPeak1Area) {
      if (command)
        response1 = nextResponse(static_cast<GenericFilter::Response>(response1.get()));
      else
        slope1 = nextSlope(static_cast<GenericFilter::Slope>(slope1.get()));
      onChange1(this);
    } else if (dragArea == cPeak2Area) {
      if (command)
        response2 = nextResponse(static_cast<GenericFilter::Response>(response2.get()));
      else
        slope2 = nextSlope(static_cast<GenericFilter::Slope>(slope2.get()));
      onChange2(this);
    }
    dragArea = cNoArea;
    return;
  }

  const Point p1 = peakPosition(1), p2 = peakPosition(2);
  pressPoint = p;
  leftPressPoint = false;
  if (dragArea == cPeak1Area) {
    filterColor1 = activeColor.get();
    grabOffset = p - p1;
  } else if (dragArea == cPeak2Area) {
    filterColor2 = activeColor.get();
    grabOffset = p - p2;
  } else if (dragArea == cMidArea) {
    filterColor1 = filterColor2 = activeColor.get();
    grabOffset = p - half(p1 + p2);
    halfDistance = half(p2 - p1);
  }
  if (dragArea != cNoArea) invalidate();
}

void ZarnFilterController::mouseMove(const Point& point, gui::ShiftState state) {
  gui::Control::mouseMove(point, state);
  if (dragArea == cNoArea) {
    setActive(selectArea(point));
    return;
  }
  // A click is no drag: until the pointer leaves the press point nothing
  // moves (nor is the preset changed by the rounding of a handle's place).
  if (!leftPressPoint) {
    if (point == pressPoint) return;
    leftPressPoint = true;
  }
  state = gui::shiftStateMapping.inDefaultKeys(state);
  setMirroring(state & gui::cCommandBit);
  setLinked((state & gui::cOptionBit) && !(state & gui::cCommandBit));
  const Point p = point - grabOffset;
  const Point twice = halfDistance + halfDistance;
  if (dragArea == cMidArea) {
    setFilter(1, p - halfDistance);
    setFilter(2, p + halfDistance);
    onChange1(this);
    onChange2(this);
  } else if (linked) {
    if (dragArea == cPeak1Area) {
      setFilter(1, p);
      setFilter(2, p + twice);
    } else {
      setFilter(1, p - twice);
      setFilter(2, p);
    }
    onChange1(this);
    onChange2(this);
  } else {
    const int self = dragArea == cPeak1Area ? 1 : 2, other = 3 - self;
    if (mirroring) {
      setFilter(other, mirrorCentre + mirrorCentre - p);
      if (other == 1) onChange1(this);
      else onChange2(this);
    }
    setFilter(self, p);
    if (self == 1) onChange1(this);
    else onChange2(this);
  }
}

void ZarnFilterController::mouseUp(gui::MouseButton button, const Point& p, gui::ShiftState state) {
  const int ended = startedArea;
  startedArea = cNoArea;
  fireEnd(ended);
  gui::Control::mouseUp(button, p, state);
  dragArea = cNoArea;
}

void ZarnFilterController::paint(const gui::Canvas& canvas) {
  if (!curve1 || !curve2) return;
  curve1->draw(canvas, 2.0f, enabled1, lineColor, filterColor1, gui::Color());
  curve2->draw(canvas, 2.0f, enabled2, lineColor, filterColor2, gui::Color());
  const Point p1 = curve1->getPeakPosition(), p2 = curve2->getPeakPosition();
  canvas.drawLine(p1, p2, lineColor, 1.0f);

  const Point sum = p1 + p2;
  const Point middle(static_cast<int>(sum.x * 0.5), static_cast<int>(sum.y * 0.5));
  auto handle = [&](int area, gui::Bitmap* active, gui::Bitmap* normal, const Point& at, Rect& hitRect) {
    gui::Bitmap* b = activeArea == area || dragArea == area ? active : normal;
    hitRect = calculateHitArea(at, b);
    canvas.drawBitmap(b, hitRect.topLeft(), 255);
  };
  handle(cMidArea, style->midActive, style->mid, middle, midRect);
  handle(cPeak2Area, style->peak2Active, style->peak2, p2, peak2Rect);
  handle(cPeak1Area, style->peak1Active, style->peak1, p1, peak1Rect);
}
