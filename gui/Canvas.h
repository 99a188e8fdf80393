#pragma once

// The drawing context that controls paint through. A canvas holds no pixels:
// it forwards every call to its owner (in practice a Bitmap) after applying
// three pieces of state:
//
//   clip     in canvas coordinates; nothing outside it is drawn. A new
//            canvas has an empty clip and so draws nothing until it is set.
//   opacity  0-255, multiplied (through the multiply table) into every
//            alpha and opacity drawn.
//   origin   a canvas point p is the owner's point p + origin.
//
// The control tree narrows the clip and moves the origin for each child and
// puts them back with a State afterwards:
//
//   Canvas::State saved(&canvas);     // restored when it goes out of scope
//   canvas.origin = canvas.origin.get() + child->position;
//
// Drawing is const: a control that is handed a const canvas draws through
// it but cannot move its clip.

#include "base/Property.h"
#include "gui/Color.h"
#include "gui/Cubic.h"
#include "gui/Geometry.h"

namespace gui {

class Bitmap;
class Text;

// Which way a curve's parameter runs: along x (its value is a y) or along y
// (its value is an x).
enum Orientation : int { cHorizontal = 0, cVertical = 1 };

class Canvas {
public:
  // What a canvas draws into; every coordinate it receives is its own.
  class Owner {
  public:
    virtual void drawBitmap(Bitmap* source, const Rect& destination, const Point& sourcePosition,
                            int opacity) = 0;
    virtual void drawLine(const Rect& limit, const Point& from, const Point& to, Color colour, float width) = 0;
    virtual void drawSpline(const Cubic& curve, const Rect& destination, const Point& sourcePosition, Color line,
                            Color fill1, Color fill2, float width, Orientation orientation) = 0;
    virtual void fillRect(const Rect& r, Color colour) = 0;
    virtual Color getPixel(const Point& p) const = 0;
    virtual void setPixel(const Point& p, Color colour) = 0;

  protected:
    // Never deleted through this class.
    ~Owner() = default;
  };

  // The clip, opacity and origin of a canvas at the time it was made; puts
  // them back when restored or destroyed.
  class State {
  public:
    explicit State(Canvas* canvas);
    ~State() { restore(); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    // Writes back each saved value that differs from the current one (so
    // only those notify their property's owner).
    void restore();

  private:
    Canvas* canvas;
    Rect clip;
    int opacity;
    Point origin;
  };

  Property<Rect> clip;
  Property<int> opacity;
  Property<Point> origin;

  // owner is not owned and must outlive the canvas.
  explicit Canvas(Owner* owner);
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  Owner* getOwner() const { return owner; }

  // A new record of the current state; deleting it restores the canvas.
  State* saveState() { return new State(this); }

  void setPixel(const Point& p, Color c) const;
  // Reads through the origin but not the clip.
  Color getPixel(const Point& p) const;
  void fillRect(const Rect& r, Color c) const;
  // The clip travels to the owner as the line's limit.
  void drawLine(const Point& from, const Point& to, Color c, float width) const;
  // Copies the part of b whose top-left is sourcePosition to destination;
  // clipping away destination's left or top edge advances the source
  // position by as much.
  void drawBitmap(Bitmap* b, const Rect& destination, const Point& sourcePosition, int opacity) const;
  void drawBitmap(Bitmap* b, const Point& p, int opacity) const;
  // The text's rendered bitmap with its top-left corner at p.
  void drawText(Text* t, const Point& p, int opacity) const;
  // Stretches a three-part skin image (two caps and a middle that repeats)
  // over r without scaling it: along x when its height is r's height, else
  // along y.
  void drawTiledBitmap(Bitmap* b, const Rect& r, int opacity) const;
  // The curve as a stroke of the given width with a fill on either side:
  // fill1 on the side of smaller minor coordinates, fill2 on the other
  // (Color() fills nothing). sourcePosition is the curve coordinate of
  // destination's top-left pixel.
  void drawSpline(const Cubic& curve, const Rect& destination, const Point& sourcePosition, Color line,
                  Color fill1, Color fill2, float width, Orientation o) const;
  void drawSpline(const Cubic& curve, const Rect& destination, const Point& sourcePosition, Color line,
                  float width, Orientation o) const;
  // The curve over the parameter range [from, to) in canvas coordinates,
  // across the whole clip.
  void drawSpline(const Cubic& curve, int from, int to, Color line, float width, Orientation o) const;

private:
  Color scaled(Color c) const;
  int scaled(int o) const;

  Owner* owner;
};

} // namespace gui
