#pragma once

// The drawing context of the window layer: it draws into 32-bit pixels that
// someone else owns (a window's back buffer, a bitmap) and stands where the
// Mac's vector drawing context stood, with just what the toolkit asks of it:
// a current transformation of translation and mirroring (scale +1 or -1 on
// each axis), a stack of saved states whose clip rectangles only ever
// narrow, rectangle fills and image drawing.
//
// User space starts equal to the pixels' own space, y downwards. A point
// (x, y) of user space lies at device (sx * x + tx, sy * y + ty); a user
// rectangle covers the device pixels between its transformed edges, so
// mirroring an axis maps [left, right) to [tx - right, tx - left).
//
// The context has no alpha channel: fills and images blend their colour
// bytes over the old ones (new x alpha + old x (1 - alpha), colours not
// premultiplied) and never touch the fourth byte of a pixel.

#include "platform/Pixels.h"

#include <vector>

namespace platform {

class DrawContext {
public:
  struct Box {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool isEmpty() const { return right <= left || bottom <= top; }
  };

  explicit DrawContext(const Pixels& target);

  const Pixels& target() const { return mTarget; }

  // The current transformation: translate moves the origin by (dx, dy) in
  // user units; scale mirrors an axis for a factor of -1 (any negative
  // number) and leaves it for +1 (any other number).
  void translate(int dx, int dy);
  void scale(int sx, int sy);
  // The user rectangle r in device pixels (not clipped).
  Box toDevice(const Box& r) const;

  // Saves and restores the transformation and the clip. Restoring with
  // nothing saved does nothing.
  void saveState();
  void restoreState();
  int savedStates() const { return static_cast<int>(mSaved.size()); }
  // Narrows the clip to the user rectangle r (intersection).
  void clipToRect(const Box& r);
  // The clip in device pixels; empty when nothing can be drawn.
  const Box& deviceClip() const { return mState.clip; }

  // Fills the user rectangle r with (red, green, blue) at alpha a: 255
  // replaces the colour bytes, 0 leaves them.
  void fillRect(const Box& r, uint8_t red, uint8_t green, uint8_t blue, uint8_t a = 255);
  // Draws image so that it fills the user rectangle r, stretched by whole
  // pixels (nearest neighbour) when the sizes differ and mirrored with the
  // transformation. Its row 0 lies at r's top edge in user space. The
  // image's fourth bytes are ignored unless useAlpha is true; then each
  // pixel blends with its own alpha.
  void drawImage(const Box& r, const Pixels& image, bool useAlpha = false);

private:
  struct State {
    int tx = 0, ty = 0;
    int sx = 1, sy = 1;
    Box clip;
  };

  Pixels mTarget;
  State mState;
  std::vector<State> mSaved;
};

} // namespace platform
