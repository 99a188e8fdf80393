// Pictures and pixel patterns as a bundle's resources hold them: decoded,
// drawn over rectangles of every kind (empty, tiny, stretched, far larger
// than the port, off its edges) and used as the background pattern, then
// read through the resources by a picture view, the shared plate patterns
// and a dialog's own pattern.

#include "fuzz/FuzzSupport.h"
#include "fuzz/ViewFuzzWorld.h"
#include "platform/PortPicture.h"
#include "tests/support/ViewResources.h"

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

void prepare() {
  fuzz::views::open();
  fuzz::views::writeStandingResources();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  std::optional<platform::PortPicture> picture = platform::PortPicture::decode(bytes);
  if (picture) {
    if (picture->width() <= 0 || picture->height() <= 0 ||
        static_cast<size_t>(picture->width()) * static_cast<size_t>(picture->height()) * 4 + 8 != size)
      std::abort();
    // A decoded picture writes itself back byte for byte.
    if (picture->encode() != bytes) std::abort();
    platform::DrawPort& port = fuzz::views::port();
    const platform::PortRect rects[] = {{0, 0, 0, 0},         {5, 5, 6, 6},         {-10, -20, 30, 250},
                                        {-32768, -32768, 32767, 32767}, {100, 190, 32767, 32767}, {0, 0, 120, 200}};
    for (const platform::PortRect& r : rects) port.drawPicture(*picture, r);
    port.setBackPattern(&*picture);
    port.eraseRect({-5, -5, 40, 40});
    port.setBackPattern(nullptr);
  }
  // The same bytes as every picture and pattern the views read.
  fuzz::views::clearResources();
  for (int16_t id : {1000, 11000}) fuzz::views::writeResource("PICT", id, bytes);
  for (int16_t id : {1000, 1001, 1002}) fuzz::views::writeResource("ppat", id, bytes);
  using namespace zarn::test;
  fuzz::views::writeResource("DLOG", 128, dialogResource({0, 0, 60, 100}, 129));
  fuzz::views::writeResource("DITL", 129, itemListResource({{{0, 0, 30, 40}, kPictureItem, resourceID(1000)}}));
  fuzz::views::show({"!Picture[('NoID')(normal 1000)]", "10,10,80,40:!Background[('NoID' plate 2)]",
                     "0,0,20,10:!ViewPopup[('NoID')('ctl1')(128)]", "-40,-40,32000,32000:!ItemList[('NoID')(129)]"});
  return 0;
}

// Pictures the project's own writer makes: one pixel, odd sizes, holes,
// a pattern's 8 x 8, and a picture a little larger.
void writeSeeds(const std::string& folder) {
  std::mt19937 rng(117);
  const int sizes[][2] = {{1, 1}, {2, 3}, {8, 8}, {5, 1}, {1, 7}, {16, 12}};
  int n = 0;
  for (const auto& s : sizes) {
    std::vector<uint8_t> rgba(static_cast<size_t>(s[0]) * s[1] * 4);
    for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i % 4 == 3 ? (rng() % 3 ? 255 : 0) : rng());
    const std::vector<uint8_t> bytes = platform::PortPicture(s[0], s[1], rgba).encode();
    fuzz::writeFile(folder + "/picture-" + std::to_string(n++), std::string(bytes.begin(), bytes.end()));
  }
}
