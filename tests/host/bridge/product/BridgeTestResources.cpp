// bridgetest-resources FOLDER: writes the test product's editor pictures
// into FOLDER (the bundle's Resources).

#include "tests/host/bridge/product/BridgeTestEditor.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {
bool write(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}
} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bridgetest-resources FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  const bool ok = write(folder + "/BridgeTestBackground.png", bridgetest::backgroundPicture()) &&
                  write(folder + "/BridgeTestKnob.png", bridgetest::knobPicture(false)) &&
                  write(folder + "/BridgeTestPointer.png", bridgetest::knobPicture(true));
  return ok ? 0 : 1;
}
