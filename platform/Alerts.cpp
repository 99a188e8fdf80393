#include "platform/Alerts.h"

#include <cstdio>
#include <mutex>

namespace platform {

namespace {
std::mutex sMutex;
AlertHandler sHandler;
} // namespace

void showAlert(const std::string& message) {
  AlertHandler handler;
  {
    std::lock_guard<std::mutex> lock(sMutex);
    handler = sHandler;
  }
  if (handler)
    handler(message);
  else
    std::fprintf(stderr, "%s\n", message.c_str());
}

void setAlertHandler(AlertHandler handler) {
  std::lock_guard<std::mutex> lock(sMutex);
  sHandler = std::move(handler);
}

} // namespace platform
