#pragma once

// Writers of the resources host-drawn views read from a bundle, byte for
// byte as the views expect them: item lists ("DITL"), dialogs ("DLOG"),
// controls ("CNTL") and icons ("ICON"). Numbers are big-endian.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zarn::test {

struct ResRect {
  int16_t top, left, bottom, right;
};

// One entry of an item list: its rectangle (relative to the list), its
// type byte and its data (a text, or a resource id as two bytes).
struct ListItem {
  ResRect rect;
  uint8_t type;
  std::string data;
};
// Item types.
constexpr uint8_t kUserItem = 0, kButtonItem = 4, kResControlItem = 7, kStaticTextItem = 8, kIconItem = 32,
                  kPictureItem = 64, kItemOff = 0x80;

// A resource id as item data.
std::string resourceID(int16_t id);
// The count less one, then each entry: 4 bytes of handle, the rectangle,
// the type, the data length, the data padded to an even length.
std::vector<uint8_t> itemListResource(const std::vector<ListItem>& items);
// The bounds, kind, visibility, close box, reference, item-list id and
// title.
std::vector<uint8_t> dialogResource(ResRect bounds, int16_t itemListID, const std::string& title = "");
// The bounds, value, visibility, maximum, minimum, kind and title.
std::vector<uint8_t> controlResource(ResRect bounds, int16_t value, bool visible, int16_t maximum, int16_t minimum,
                                     int16_t kind, const std::string& title);
// 32 rows of 32 bits, the leftmost pixel in the top bit.
std::vector<uint8_t> iconResource(const std::array<uint32_t, 32>& rows);

} // namespace zarn::test
