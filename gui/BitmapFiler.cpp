#include "gui/BitmapFiler.h"

#include "base/Folders.h"
#include "gui/Bitmap.h"
#include "gui/PNGFiler.h"
#include "platform/RegularFile.h"

#include <fstream>
#include <memory>

namespace gui {

void BitmapFiler::writeLineToBitmap(int y, Color* colours) { bitmap->writeLine(y, colours); }

// The toolkit's only reader, made here so that every program that loads
// images has it (the registry is constant-initialised, so it exists first).
static PNGFilerFactory sPNGFilerFactory;

void Bitmap::loadFromStream(std::istream& s) {
  const std::streampos start = s.tellg();
  std::unique_ptr<BitmapFiler> filer;
  for (BitmapFilerFactory* factory : sFilerFactories) {
    filer.reset(factory->createFiler(this, s));
    s.clear();
    s.seekg(start);
    if (filer) break;
  }
  if (!filer) throw EBitmap("Unknown file format");
  // One change for the whole load, also when it fails halfway.
  std::unique_ptr<Update> update(beginUpdate());
  filer->load(s);
  notifyChange();
}

// The reason names the picture and says what the user can do about it:
// an editor that cannot open tells its host no more than this.
void Bitmap::loadFromResource(const std::string& name) {
  std::unique_ptr<std::istream> s;
  try {
    s.reset(createResourceStream(name));
  } catch (const EResource& e) {
    throw EResource("the picture " + name + " is missing from the plug-in's Resources folder (" + e.what() +
                    "); reinstall the plug-in");
  }
  try {
    loadFromStream(*s);
  } catch (const EBitmap& e) {
    const std::string reason = e.what();
    const bool unsupported = reason.rfind("Unsupported", 0) == 0;
    throw EBitmap("the picture " + name + " in the plug-in's Resources folder cannot be read (" + reason + "); " +
                  (unsupported ? "save it as an 8-bit RGB or RGBA PNG without interlacing"
                               : "it is damaged or cut short: reinstall the plug-in"));
  }
}

void Bitmap::loadFromFile(const std::string& path) {
  const auto s = platform::newRegularFileStream(path);
  loadFromStream(*s);
}

} // namespace gui
