#pragma once
// Runs a zarn-host command in the test's process and keeps what it said.

#include "tools/host/RenderCommand.h"

#include <sstream>
#include <string>
#include <vector>

namespace hosttest {

struct Result {
  int status = 0;
  std::string out, err;
};

inline Result run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  Result r;
  r.status = simhost::runHostCommand(args, out, err);
  r.out = out.str();
  r.err = err.str();
  return r;
}

} // namespace hosttest
