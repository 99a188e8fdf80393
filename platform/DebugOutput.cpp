#include "platform/DebugOutput.h"

#include <cstdio>
#include <mutex>

namespace platform {
namespace {

std::mutex sMutex;
DebugOutputHandler& handler() {
  static auto* h = new DebugOutputHandler;
  return *h;
}

} // namespace

void debuggerString(const std::string& message) {
  DebugOutputHandler h;
  {
    std::lock_guard<std::mutex> lock(sMutex);
    h = handler();
  }
  if (h)
    h(message);
  else
    std::fprintf(stderr, "%s\n", message.c_str());
}

void setDebugOutputHandler(DebugOutputHandler h) {
  std::lock_guard<std::mutex> lock(sMutex);
  handler() = std::move(h);
}

} // namespace platform
