#include "fuzz/ViewFuzzWorld.h"

#include "base/PlatformUtils.h"
#include "fuzz/FuzzSupport.h"
#include "host/CProcessGroup.h"
#include "host/PlugInEntryPoints.h"
#include "host/services/CNoResourceView.h"
#include "platform/Bundle.h"
#include "platform/HeadlessWindowServer.h"
#include "platform/PortPicture.h"
#include "platform/Resources.h"
#include "tests/support/ViewResources.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

namespace {
class ViewFuzzGroup : public CProcessGroup {
public:
  int32_t Initialize() override { return 0; }
};
} // namespace

CProcessGroupInterface* CProcessGroup::CreateProcessGroup() { return new ViewFuzzGroup; }

// Views draw text, and the first face of a kind makes fontconfig fill caches
// of its own that it reaches in ways LeakSanitizer cannot follow; what it
// keeps is the library's, not a leak of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace fuzz::views {

namespace {

using namespace zarn::test;

struct World {
  platform::HeadlessWindowServer server;
  platform::Bundle* bundle = nullptr;
  std::string resources;
  platform::WindowId window = 0;
  std::unique_ptr<platform::DrawPort> port;
};

World& world() {
  static World* w = [] {
    auto* made = new World;
    const std::string path = scratchFolder() + "/Views.bundle";
    std::filesystem::create_directories(path + "/Resources");
    writeFile(path + "/Info.txt", "CFBundleIdentifier=com.quorvane.viewfuzz\n");
    made->bundle = platform::Bundle::open(path);
    if (!made->bundle) {
      std::fprintf(stderr, "view fuzz: cannot open %s\n", path.c_str());
      std::abort();
    }
    registerModuleInstance(made->bundle);
    made->resources = made->bundle->resourcesPath();
    platform::WindowServer::setCurrent(&made->server);
    made->window = made->server.createWindow({40, 30, 240, 150}, false, "views");
    made->port = std::make_unique<platform::DrawPort>(200, 120);
    made->port->setWindow(made->window, {40, 30});
    if (NewMachOPlugIn(path.c_str()) != 0) {
      std::fprintf(stderr, "view fuzz: the bundle does not open as a plug-in\n");
      std::abort();
    }
    return made;
  }();
  return *w;
}

std::vector<uint8_t> Picture(int width, int height, uint8_t shade) {
  std::vector<uint8_t> rgba;
  for (int i = 0; i < width * height; ++i)
    rgba.insert(rgba.end(), {shade, static_cast<uint8_t>(255 - shade), static_cast<uint8_t>(i * 37), 
                             static_cast<uint8_t>(i % 3 ? 255 : 0)});
  return platform::PortPicture(width, height, rgba).encode();
}

std::vector<uint8_t> Strings(const std::vector<std::string>& strings) {
  std::vector<uint8_t> out{0, static_cast<uint8_t>(strings.size())};
  for (const std::string& s : strings) {
    out.push_back(static_cast<uint8_t>(s.size()));
    out.insert(out.end(), s.begin(), s.end());
  }
  return out;
}

} // namespace

void open() { world(); }

void writeResource(const char (&type)[5], int16_t id, const std::vector<uint8_t>& bytes) {
  writeFile(world().resources + platform::resourceFileName(platform::fourCharCode(type), id),
            std::string(bytes.begin(), bytes.end()));
}

void clearResources() {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(world().resources, ec))
    std::filesystem::remove(entry.path(), ec);
}

void writeStandingResources() {
  std::array<uint32_t, 32> rows{};
  for (int i = 0; i < 32; ++i) rows[static_cast<size_t>(i)] = 0x80000001u | (1u << (i % 32));
  writeResource("ICON", 128, iconResource(rows));
  writeResource("CNTL", 128, controlResource({0, 0, 20, 60}, 1, true, 1, 0, 1, "Mute"));
  writeResource("DITL", 128,
                itemListResource({{{0, 0, 20, 80}, kStaticTextItem, "!Background[('Vw01' plate 3)]"},
                                  {{20, 0, 40, 80}, kStaticTextItem | kItemOff, "Plain text"},
                                  {{40, 0, 60, 60}, kResControlItem, resourceID(128)},
                                  {{0, 90, 32, 122}, kIconItem, resourceID(128)},
                                  {{40, 90, 60, 130}, kPictureItem, resourceID(1000)},
                                  {{60, 0, 80, 50}, kButtonItem, "OK"},
                                  {{60, 60, 70, 70}, kUserItem, ""}}));
  writeResource("DLOG", 128, dialogResource({40, 40, 120, 180}, 128, "Choices"));
  writeResource("PICT", 1000, Picture(3, 2, 10));
  writeResource("PICT", 11000, Picture(1, 1, 99));
  writeResource("PICT", 1001, Picture(2, 5, 200));
  writeResource("ppat", 1000, Picture(8, 8, 120));
  writeResource("ppat", 1001, Picture(4, 4, 60));
  writeResource("ppat", 1002, Picture(4, 4, 180));
  writeResource("STR#", 128, Strings({"First", "Second\\tstring"}));
  writeResource("vers", 1, {1, 0, 0x80, 0, 0, 0, 3, '1', '.', '0', 9, '1', '.', '0', ' ', 'f', 'u', 'z', 'z'});
}

platform::DrawPort& port() { return *world().port; }

void show(const std::vector<std::string>& descriptions) {
  World& w = world();
  std::unique_ptr<CNoResourceView> root(CreateCNoResourceView());
  root->SetSize(200, 120);
  for (const std::string& d : descriptions) {
    int x = 0, y = 0, width = 200, height = 120, used = 0;
    std::string text = d;
    if (std::sscanf(d.c_str(), "%d,%d,%d,%d:%n", &x, &y, &width, &height, &used) == 4 && used > 0)
      text = d.substr(static_cast<size_t>(used));
    root->AddView2(text.c_str(), x, y, width, height, true);
  }
  // What reaches the host as an exception is a finding: abort.
  root->Initialize();
  root->SetViewPort(w.port.get());
  root->Activate();
  Rect all{0, 0, 120, 200};
  root->Update(&all);
  // A release with the button up: tracking loops end at once.
  for (Point where : {Point{10, 10}, Point{60, 100}, Point{100, 150}}) {
    EventRecord press;
    press.what = kMouseDownEvent;
    press.where = where;
    root->HandleMouseDown(&press);
  }
  root->Idle(1);
  root->Deactivate();
  root->SetViewPort(nullptr);
  root->Detach();
}

std::vector<std::string> descriptionsInTests() {
  std::set<std::string> found;
  const std::string source = ZARN_SOURCE_DIR;
  const std::regex literal("\"((?:[^\"\\\\]|\\\\.)*)\"");
  std::error_code ec;
  for (const char* folder : {"/tests", "/host", "/tools/views"})
    for (auto it = std::filesystem::recursive_directory_iterator(source + folder, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      const std::string ext = it->path().extension().string();
      if (ext != ".cpp" && ext != ".txt") continue;
      std::ifstream in(it->path());
      std::stringstream text;
      text << in.rdbuf();
      const std::string s = text.str();
      for (auto m = std::sregex_iterator(s.begin(), s.end(), literal); m != std::sregex_iterator(); ++m) {
        std::string body = (*m)[1].str(), plain;
        for (size_t i = 0; i < body.size(); ++i) {
          if (body[i] == '\\' && i + 1 < body.size()) {
            const char c = body[++i];
            plain += c == 'n' ? '\n' : c == 't' ? '\t' : c;
          } else {
            plain += body[i];
          }
        }
        const size_t place = plain.find(":!");
        if (!plain.empty() && plain[0] == '!' && plain.find('[') != std::string::npos) found.insert(plain);
        else if (place != std::string::npos && place < 20) found.insert(plain);
      }
    }
  return {found.begin(), found.end()};
}

} // namespace fuzz::views
