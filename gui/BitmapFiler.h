#pragma once

// Image files: the exception of image loading, and the registry of image
// readers (filers) through which Bitmap::loadFromStream finds a reader for
// a stream. Each registered factory looks at the start of the stream and
// either declines (null) or returns a reader bound to the bitmap; the
// caller rewinds the stream before the next factory looks, and before the
// chosen reader loads.

#include "gui/Color.h"

#include <iosfwd>
#include <stdexcept>
#include <string>

namespace gui {

class Bitmap;

// "Unknown file format", "Invalid PNG signature", "Unsupported PNG format",
// "Invalid PNG image".
class EBitmap : public std::runtime_error {
public:
  explicit EBitmap(const std::string& message) : std::runtime_error(message) {}
};

class BitmapFiler {
public:
  explicit BitmapFiler(Bitmap* bitmap) : bitmap(bitmap) {}
  virtual ~BitmapFiler() = default;
  BitmapFiler(const BitmapFiler&) = delete;
  BitmapFiler& operator=(const BitmapFiler&) = delete;

  // Reads the whole image into the bitmap or throws (EBitmap for a file it
  // cannot read); the bitmap may then hold a new size and some rows.
  virtual void load(std::istream& s) = 0;

protected:
  void writeLineToBitmap(int y, Color* colours);

  Bitmap* bitmap; // not owned
};

class BitmapFilerFactory {
public:
  // A new reader (owned by the caller) when the stream starts the way this
  // factory's files do, else null. May leave the stream anywhere.
  virtual BitmapFiler* createFiler(Bitmap* bitmap, std::istream& s) = 0;

protected:
  ~BitmapFilerFactory() = default;
};

} // namespace gui
