// zarn-view-render: draws view descriptions the way the host draws a
// plug-in's host-drawn views, into a PNG.
//   zarn-view-render [--bundle PATH] [--size WIDTHxHEIGHT] OUTPUT.png DESCRIPTION...
// Each DESCRIPTION is a view description ("!Background[('NoID' plate 2)]",
// grave accents read as double quotes), optionally preceded by
// "X,Y,WIDTH,HEIGHT:" for its place; without one it covers the whole
// picture (default 320 x 200). A description that does not parse shows as
// static text. With --bundle the views read their pictures, patterns and
// strings from that bundle's resources.

#include "host/CProcessGroup.h"
#include "host/PlugInEntryPoints.h"
#include "host/services/CNoResourceView.h"
#include "platform/DrawPort.h"
#include "platform/PngWriter.h"
#include "platform/SignalCleanup.h"
#include "tools/CommandHelp.h"
#include "tools/views/ViewRender.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// The group of the bundle the views read their resources from.
class ViewGroup : public CProcessGroup {
public:
  int32_t Initialize() override { return 0; }
};

const char* const kUsage = "usage: zarn-view-render [--bundle PATH] [--size WIDTHxHEIGHT] OUTPUT.png DESCRIPTION...\n";
const char* const kHelp =
    "Draws view descriptions the way the host draws a plug-in's host-drawn views, into a PNG.\n"
    "Each DESCRIPTION is a view description (\"!Background[('NoID' plate 2)]\"; grave accents read\n"
    "as double quotes), optionally preceded by \"X,Y,WIDTH,HEIGHT:\" for its place; without one it\n"
    "covers the whole picture. A description that does not parse shows as static text.\n"
    "  --bundle PATH        read pictures, patterns and strings from that bundle's resources\n"
    "  --size WxH           the picture's size in pixels, up to 4096 a side (default 320x200)\n"
    "  --help               this text\n";

int usage() { return zarn::tools::usage(false, kUsage); }

} // namespace

CProcessGroupInterface* CProcessGroup::CreateProcessGroup() { return new ViewGroup; }

int main(int argc, char** argv) {
  // A signal that ends the tool while a picture is written removes the
  // temporary file; the picture at the name stays as it was.
  const platform::SignalCleanup cleanup;
  std::string bundle, output;
  int width = 320, height = 200;
  std::vector<std::string> descriptions;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--bundle" && i + 1 < argc) {
      bundle = argv[++i];
    } else if (a == "--size" && i + 1 < argc) {
      if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0 || width > 4096 ||
          height > 4096)
        return usage();
    } else if (zarn::tools::isHelpOption(a.c_str())) {
      return zarn::tools::usage(true, kUsage, kHelp);
    } else if (output.empty()) {
      output = a;
    } else {
      descriptions.push_back(a);
    }
  }
  if (output.empty() || descriptions.empty()) return usage();
  if (!bundle.empty() && NewMachOPlugIn(bundle.c_str()) != 0) {
    std::fprintf(stderr, "zarn-view-render: cannot open the bundle %s\n", bundle.c_str());
    return 1;
  }
  int status = 0;
  {
    std::unique_ptr<CNoResourceView> root(CreateCNoResourceView());
    root->SetSize(width, height);
    std::string problems;
    if (!viewrender::buildViews(*root, descriptions, problems)) status = 1;
    for (size_t at = 0, end; (end = problems.find('\n', at)) != std::string::npos; at = end + 1)
      std::fprintf(stderr, "zarn-view-render: %s\n", problems.substr(at, end - at).c_str());
    platform::DrawPort port(width, height);
    viewrender::drawViews(*root, port);
    if (std::string error; !writePngFile(output, width, height, port.pixels(), false, &error)) {
      std::fprintf(stderr, "zarn-view-render: %s\n", error.c_str());
      status = 1;
    }
  }
  if (!bundle.empty()) CloseMachOPlugIn();
  return status;
}
