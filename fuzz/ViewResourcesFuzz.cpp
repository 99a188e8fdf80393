// The resources host-drawn views read through a bundle: item lists
// ("DITL"), dialogs ("DLOG"), controls ("CNTL"), icons ("ICON"), pixel
// patterns ("ppat"), pictures ("PICT"), and the strings ("STR#") and
// version ("vers") that descriptions read. An input is a list of records,
// each a type byte, an id byte and a 16-bit big-endian length, then that
// many bytes; they replace the bundle's resources, and the views that read
// them are built, drawn, clicked and taken down as the host would. Views
// that cannot be built are left out; nothing escapes to the host, and no
// resource, however it names others, builds without end.

#include "fuzz/FuzzSupport.h"
#include "fuzz/ViewFuzzWorld.h"
#include "host/services/CDAEError.h"
#include "host/services/CStaticTextView.h"
#include "platform/PortPicture.h"
#include "tests/support/ViewResources.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace {

const char kTypes[][5] = {"DITL", "DLOG", "CNTL", "ICON", "ppat", "PICT", "STR#", "vers"};
constexpr int kTypeCount = 8;
// Ids a record can name: the ones the views below start from and a few
// they may name in turn.
constexpr int16_t kIds[] = {128, 129, 130, 131, 1000, 1001, 1002, 11000, 1};

std::string Record(int type, int id, const std::vector<uint8_t>& bytes) {
  std::string r{static_cast<char>(type), static_cast<char>(id), static_cast<char>(bytes.size() >> 8),
                static_cast<char>(bytes.size() & 0xFF)};
  return r + std::string(bytes.begin(), bytes.end());
}

} // namespace

void prepare() { fuzz::views::open(); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::views::clearResources();
  size_t at = 0;
  int records = 0;
  while (at + 4 <= size && records++ < 16) {
    const int type = data[at] % kTypeCount;
    const int16_t id = kIds[data[at + 1] % std::size(kIds)];
    const size_t length = std::min<size_t>(static_cast<size_t>(data[at + 2] << 8 | data[at + 3]), size - at - 4);
    fuzz::views::writeResource(kTypes[type], id, std::vector<uint8_t>(data + at + 4, data + at + 4 + length));
    at += 4 + length;
  }
  fuzz::views::show({"!ItemList[('NoID')(128)]", "10,10,40,20:!ViewPopup[('NoID')('ctl1')(128 'Vw01')]",
                     "0,100,60,20:!StaticText[('NoID' plate 1)(getString(128 2))]",
                     "100,100,100,20:!StaticText[('NoID')(shortVersion longVersion)]"});
  // A dialog view on its own: its size, its list and its own pattern.
  CDialogView dialog;
  dialog.SetDialogID(129);
  dialog.SetPatternID(1000);
  try {
    dialog.Initialize();
  } catch (const CDAEError&) {
    return 0;
  }
  dialog.SetViewPort(&fuzz::views::port());
  dialog.Update(nullptr);
  dialog.SetViewPort(nullptr);
  return 0;
}

// Every kind of resource as the project's writers make it, one kind per
// seed, and a dialog with its list, controls, icon and pictures together.
void writeSeeds(const std::string& folder) {
  using namespace zarn::test;
  std::array<uint32_t, 32> rows{};
  for (size_t i = 0; i < 32; ++i) rows[i] = 0xF0F0F0F0u >> (i % 4);
  const std::vector<uint8_t> icon = iconResource(rows);
  const std::vector<uint8_t> control = controlResource({0, 0, 20, 60}, 1, true, 1, 0, 1, "Mute");
  const std::vector<uint8_t> hidden = controlResource({0, 0, 20, 60}, 0, false, 1, 0, 0, "Go");
  const std::vector<uint8_t> list = itemListResource({
      {{0, 0, 20, 80}, kStaticTextItem, "!Background[('Vw01' plate 3)]"},
      {{20, 0, 40, 80}, kStaticTextItem | kItemOff, "Plain text"},
      {{40, 0, 60, 60}, kResControlItem, resourceID(129)},
      {{40, 60, 60, 120}, kResControlItem, resourceID(130)},
      {{0, 90, 32, 122}, kIconItem, resourceID(128)},
      {{40, 90, 60, 130}, kPictureItem, resourceID(1000)},
      {{60, 0, 80, 50}, kButtonItem, "OK"},
      {{60, 60, 80, 110}, kButtonItem | 1, "Check"},
      {{80, 0, 90, 10}, kUserItem, ""},
      {{80, 20, 100, 100}, kStaticTextItem, "!ItemList[('Nest')(130)]"},
  });
  const std::vector<uint8_t> inner = itemListResource({{{0, 0, 10, 40}, 16, "edit"}});
  std::vector<uint8_t> rgba(4 * 3 * 4);
  for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i * 29);
  const std::vector<uint8_t> picture = platform::PortPicture(4, 3, rgba).encode();
  const std::vector<uint8_t> pattern = platform::PortPicture(8, 8, std::vector<uint8_t>(256, 170)).encode();

  auto seed = [&](const std::string& name, const std::string& records) { fuzz::writeFile(folder + "/" + name, records); };
  // Ids by their index in kIds: 0 = 128, 1 = 129, 2 = 130, 4 = 1000.
  seed("list", Record(0, 0, list) + Record(0, 2, inner) + Record(2, 1, control) + Record(2, 2, hidden) +
                   Record(3, 0, icon) + Record(5, 4, picture));
  seed("dialog", Record(1, 0, dialogResource({40, 40, 120, 180}, 128)) + Record(1, 1, dialogResource({0, 0, 50, 90}, 130)) +
                     Record(0, 0, list) + Record(0, 2, inner) + Record(4, 4, pattern) + Record(4, 5, pattern));
  seed("control", Record(0, 0, itemListResource({{{0, 0, 20, 60}, kResControlItem, resourceID(129)}})) +
                      Record(2, 1, control));
  seed("icon", Record(0, 0, itemListResource({{{0, 0, 32, 32}, kIconItem, resourceID(128)}})) + Record(3, 0, icon));
  seed("picture", Record(0, 0, itemListResource({{{0, 0, 30, 40}, kPictureItem, resourceID(1000)}})) +
                      Record(5, 4, picture) + Record(5, 7, picture));
  const std::vector<uint8_t> strings{0, 2, 5, 'F', 'i', 'r', 's', 't', 7, 'S', 'e', 'c', 'o', 'n', 'd', '\\'};
  const std::vector<uint8_t> version{1, 0, 0x80, 0, 0, 0, 3, '1', '.', '0', 8, '1', '.', '0', ' ', 'b', 'e', 't', 'a'};
  seed("strings", Record(6, 0, strings) + Record(7, 8, version));
  seed("pattern", Record(4, 5, pattern) + Record(4, 6, pattern) + Record(1, 1, dialogResource({0, 0, 40, 40}, 131)) +
                      Record(0, 3, inner) + Record(4, 4, pattern));
}
