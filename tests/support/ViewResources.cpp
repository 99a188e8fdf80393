#include "tests/support/ViewResources.h"

namespace zarn::test {

namespace {
void put16(std::vector<uint8_t>& out, int v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
void putRect(std::vector<uint8_t>& out, ResRect r) {
  for (int16_t c : {r.top, r.left, r.bottom, r.right}) put16(out, c);
}
} // namespace

std::string resourceID(int16_t id) {
  return std::string{static_cast<char>(static_cast<uint16_t>(id) >> 8), static_cast<char>(id & 0xFF)};
}

std::vector<uint8_t> itemListResource(const std::vector<ListItem>& items) {
  std::vector<uint8_t> out;
  put16(out, static_cast<int>(items.size()) - 1);
  for (const ListItem& item : items) {
    out.insert(out.end(), {0, 0, 0, 0});
    putRect(out, item.rect);
    out.push_back(item.type);
    out.push_back(static_cast<uint8_t>(item.data.size()));
    out.insert(out.end(), item.data.begin(), item.data.end());
    if (item.data.size() % 2) out.push_back(0);
  }
  return out;
}

std::vector<uint8_t> dialogResource(ResRect bounds, int16_t itemListID, const std::string& title) {
  std::vector<uint8_t> out;
  putRect(out, bounds);
  put16(out, 1);                 // kind
  out.insert(out.end(), {1, 0}); // visible
  out.insert(out.end(), {0, 0}); // no close box
  out.insert(out.end(), {0, 0, 0, 0});
  put16(out, itemListID);
  out.push_back(static_cast<uint8_t>(title.size()));
  out.insert(out.end(), title.begin(), title.end());
  return out;
}

std::vector<uint8_t> controlResource(ResRect bounds, int16_t value, bool visible, int16_t maximum, int16_t minimum,
                                     int16_t kind, const std::string& title) {
  std::vector<uint8_t> out;
  putRect(out, bounds);
  put16(out, value);
  put16(out, visible ? 0x0100 : 0);
  put16(out, maximum);
  put16(out, minimum);
  put16(out, kind);
  out.push_back(static_cast<uint8_t>(title.size()));
  out.insert(out.end(), title.begin(), title.end());
  return out;
}

std::vector<uint8_t> iconResource(const std::array<uint32_t, 32>& rows) {
  std::vector<uint8_t> out;
  for (uint32_t row : rows)
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(row >> shift));
  return out;
}

} // namespace zarn::test
