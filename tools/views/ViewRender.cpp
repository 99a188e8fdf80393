#include "tools/views/ViewRender.h"

#include "host/services/CDAEError.h"

#include <cstdio>

namespace viewrender {

bool buildViews(CNoResourceView& root, const std::vector<std::string>& descriptions, std::string& problems) {
  bool ok = true;
  const Rect all = root.GetBounds();
  for (const std::string& d : descriptions) {
    int x = 0, y = 0, w = all.right - all.left, h = all.bottom - all.top, used = 0;
    std::string text = d;
    if (std::sscanf(d.c_str(), "%d,%d,%d,%d:%n", &x, &y, &w, &h, &used) == 4 && used > 0) text = d.substr(used);
    if (!root.AddView2(text.c_str(), x, y, w, h, true)) {
      problems += "no view for " + text + " (error " + std::to_string(root.GetLastError()) + ")\n";
      ok = false;
    }
  }
  // As the host does with the views it is given: the root is initialized
  // once its children are in.
  try {
    root.Initialize();
  } catch (const CDAEError& e) {
    problems += "the views cannot be initialized (error " + std::to_string(e.GetErrorCode()) + ")\n";
    ok = false;
  }
  return ok;
}

void drawViews(CNoResourceView& root, platform::DrawPort& port) {
  root.SetViewPort(&port);
  root.Activate();
  Rect all{0, 0, static_cast<int16_t>(port.height()), static_cast<int16_t>(port.width())};
  root.Update(&all);
  root.SetViewPort(nullptr);
}

} // namespace viewrender
