// View descriptions as a bundle's dialog items and a host's AddView2 calls
// give them: up to four lines, each a description (optionally placed by
// "X,Y,W,H:"), built into one root as the host builds its views, drawn,
// clicked and taken down. A description either makes its view, shows as
// static text or is left out with a status; nothing escapes to the host.

#include "fuzz/FuzzSupport.h"
#include "fuzz/ViewFuzzWorld.h"

#include <string>
#include <vector>

void prepare() {
  fuzz::views::open();
  fuzz::views::writeStandingResources();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 2048) return 0;
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i < size && lines.size() < 4; ++i) {
    if (data[i] == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (data[i] != 0) {
      line += static_cast<char>(data[i]);
    }
  }
  if (lines.size() < 4) lines.push_back(line);
  fuzz::views::show(lines);
  return 0;
}

// The descriptions in the project's tests and tools, one per seed, and the
// view words each with the standing resources of the bundle.
void writeSeeds(const std::string& folder) {
  int n = 0;
  for (const std::string& d : fuzz::views::descriptionsInTests())
    fuzz::writeFile(folder + "/test-" + std::to_string(n++), d);
  const char* words[] = {
      "!ItemList[('NoID')(128)]",
      "10,10,60,20:!ViewPopup[('NoID')('ctl1')(128 'Vw01')]",
      "!Picture[('NoID')(normal 1000 clicked 1001 disabled 1000)]",
      "!StaticText[('NoID' plate 4)(center getString(128 1))]\n0,40,100,20:!StaticText[('NoID')(left longVersion)]",
      "0,0,200,10:!ProcessControl[('ctl1')(\"Gain\" 5 2147483647 0)]\n10,20,150,14:!Slider[('NoID')('ctl1')(reverse)]"
      "\n10,40,40,40:!Dial[('NoID')('ctl1')(cyclical)]\n60,40,80,20:!TextEditor[('NoID')('ctl1')]",
      "0,0,200,10:!ProcessControl[('ctl2')(\"Mode\" 3 0)]\n10,20,80,17:!TextPopup[('NoID')('ctl2')]"
      "\n10,50,90,40:!RadioGroup[('NoID')('ctl2')(\"EnableHighlight\")]",
      "!ScrollControl[('scrl')(\"Scroll\" 4 0)]\n0,0,100,60:!ItemList[('NoID')(128 'scrl' 'scrl')]",
      "!Button[('NoID')(\"OK\" 0 1 0)]\n0,30,80,20:!CheckBox[('NoID' inversePlate 5)(\"On\" 0 1 1)]",
      "0,0,200,10:!ProcessControl[('ctl2')(\"Mode\" 2000000000 0)]\n5,5,80,20:!TextPopup[('NoID')('ctl2')]",
  };
  for (const char* w : words) fuzz::writeFile(folder + "/word-" + std::to_string(n++), w);
}
