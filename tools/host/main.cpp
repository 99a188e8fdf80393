// zarn-host: the command-line face of the simulated host.
//   zarn-host info BUNDLE   prints the bundle's identity, process types,
//                           controls and chunks

#include "tools/host/HostInfo.h"
#include "tools/host/SimHost.h"

#include <exception>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3 || std::string(argv[1]) != "info") {
    std::cerr << "usage: zarn-host info BUNDLE\n";
    return 2;
  }
  try {
    simhost::SimHost host;
    int32_t status = host.load(argv[2]);
    if (status != 0) {
      std::cerr << "zarn-host: the bundle did not start (" << status << ")\n";
      return 1;
    }
    simhost::printInfo(std::cout, host, argv[2]);
    host.unload();
  } catch (const std::exception& e) {
    std::cerr << "zarn-host: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
