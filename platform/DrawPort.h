#pragma once

// A drawing port: what the host-drawn views draw into. It owns a buffer of
// 32-bit pixels and carries the drawing state of the old two-dimensional
// drawing library those views were written for: a local coordinate system
// whose top-left corner is the origin, a clip region, fore and back colours,
// a pen (position, size, mode), an optional background pixel pattern, and
// text settings (font number, size, face). Every call draws in local
// coordinates and only inside the clip region and the port's bounds.
//
// A port can stand for a window: it then knows the window and where its
// pixel (0, 0) lies on the screen, so that invalidation reaches the window
// server and mouse points can be converted. One port is current at a time
// (setCurrentPort), as the views expect.
//
// Text uses the text engine's default face: font numbers are kept but all
// map to it; the face's bold bit picks its bold style. Main thread only.

#include "platform/Region.h"
#include "platform/WindowServer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

class PortPicture;

// Modes of the pen and of text.
enum PenMode : int16_t { kSrcOr = 1, kPatCopy = 8 };
// Text face bits.
enum TextFace : int16_t { kFaceBold = 1, kFaceItalic = 2 };

class DrawPort {
public:
  DrawPort(int width, int height);

  // The window the port draws for; global is the screen position of pixel
  // (0, 0). Window 0: an offscreen port. server: the window server that
  // owns the window (null: the current one), which the port asks about the
  // mouse and tells of invalidations.
  void setWindow(WindowId window, ScreenPoint global, WindowServer* server = nullptr);
  WindowId window() const { return mWindow; }
  WindowServer& server() const { return mServer ? *mServer : WindowServer::current(); }

  // The bounds in local coordinates: the origin and the size.
  PortRect bounds() const;
  void setOrigin(int h, int v);
  PortPoint localToGlobal(PortPoint p) const;
  PortPoint globalToLocal(PortPoint p) const;
  // The mouse and the button, through the window server.
  PortPoint mouse() const;
  static bool stillDown();

  const Region& clip() const { return mClip; }
  void setClip(const Region& clip) { mClip = clip; }
  void clipRect(const PortRect& r) {
    mClip.clear();
    mClip.unite(r);
  }

  PortColor foreColor() const { return mFore; }
  PortColor backColor() const { return mBack; }
  void setForeColor(PortColor c) { mFore = c; }
  void setBackColor(PortColor c) { mBack = c; }
  // The pattern erasing tiles, anchored at local (0, 0); null erases with
  // the back colour. Not owned.
  const PortPicture* backPattern() const { return mBackPattern; }
  void setBackPattern(const PortPicture* pattern) { mBackPattern = pattern; }

  void setPenSize(int width, int height);
  void setPenMode(int16_t mode) { mPenMode = mode; }
  int16_t penMode() const { return mPenMode; }
  void setTextMode(int16_t mode) { mTextMode = mode; }
  PortPoint pen() const { return mPen; }
  void moveTo(int h, int v) { mPen = {static_cast<int16_t>(v), static_cast<int16_t>(h)}; }
  // Draws from the pen to (h, v) with the pen rectangle hanging below and
  // right of each point of the line; the pen ends at (h, v).
  void lineTo(int h, int v);

  void paintRect(const PortRect& r);
  void eraseRect(const PortRect& r);
  // The rectangle's inner border, as thick as the pen.
  void frameRect(const PortRect& r);
  void paintOval(const PortRect& r);
  void eraseOval(const PortRect& r);
  void frameOval(const PortRect& r);
  void fillTriangle(PortPoint a, PortPoint b, PortPoint c);
  // Draws the picture stretched over r.
  void drawPicture(const PortPicture& picture, const PortRect& r);
  // Draws a 32 x 32 one-bit icon (128 bytes, rows of 4 bytes, the high bit
  // leftmost) in the fore colour, stretched over r.
  void plotIcon(const PortRect& r, const uint8_t* icon);
  // Moves the pixels inside r by (dh, dv), erases what the move exposed and
  // returns that exposed area.
  Region scrollRect(const PortRect& r, int dh, int dv);

  // Text: font number, size in pixels, face bits.
  void setTextFont(int16_t font) { mFont = font; }
  void setTextSize(int16_t size) { mSize = size; }
  void setTextFace(int16_t face) { mFace = face; }
  int16_t textFont() const { return mFont; }
  int16_t textSize() const { return mSize; }
  int16_t textFace() const { return mFace; }
  struct FontInfo {
    int ascent, descent, leading;
  };
  FontInfo fontInfo() const;
  int textWidth(const std::string& text) const;
  // Draws text with its baseline at the pen; the pen moves by its width.
  void drawString(const std::string& text);

  // Invalidates r (local) in the port's window; every invalidation is also
  // kept until takeInvalidated.
  void invalidate(const PortRect& r);
  std::vector<PortRect> takeInvalidated();

  // Copies a width x height image of RGBA pixels (alpha ignored) with its
  // top-left at local (h, v), inside the clip and the bounds. The image's
  // rows lie rowPixels pixels apart (its width when 0 or less): a part of a
  // larger image goes in one call.
  void drawImage(const uint8_t* rgba, int width, int height, int h, int v, int rowPixels = 0);

  // Pixels, by local coordinates; outside the port black.
  PortColor pixel(int h, int v) const;
  int width() const { return mWidth; }
  int height() const { return mHeight; }
  const uint8_t* pixels() const { return mPixels.data(); }
  // The pixels (RGBA, rows from the top) for a window server painting its
  // views into the port's window.
  uint8_t* pixelData() { return mPixels.data(); }

private:
  // Fills the part of r (local) inside the clip and the bounds.
  void fill(const PortRect& r, PortColor c);
  void erase(const PortRect& r);
  void plot(int h, int v, PortColor c);
  bool visible(int h, int v) const;
  void set(int h, int v, PortColor c);
  void blend(int h, int v, PortColor c, int coverage);
  // The part of r (local) that drawing can reach: inside the bounds and the
  // clip's bounding box.
  PortRect drawable(const PortRect& r) const;
  template <class Inside> void fillShape(const PortRect& r, Inside inside, bool eraseIt);

  int mWidth, mHeight;
  std::vector<uint8_t> mPixels;
  int16_t mOriginH = 0, mOriginV = 0;
  WindowId mWindow = 0;
  WindowServer* mServer = nullptr;
  ScreenPoint mGlobal;
  Region mClip;
  PortColor mFore{0, 0, 0};
  PortColor mBack{0xFFFF, 0xFFFF, 0xFFFF};
  const PortPicture* mBackPattern = nullptr;
  PortPoint mPen;
  int mPenWidth = 1, mPenHeight = 1;
  int16_t mPenMode = kPatCopy, mTextMode = kSrcOr;
  int16_t mFont = 0, mSize = 12, mFace = 0;
  std::vector<PortRect> mInvalidated;
};

DrawPort* currentPort();
void setCurrentPort(DrawPort* port);

} // namespace platform
