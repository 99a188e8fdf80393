#include "platform/RootControl.h"

namespace platform {

WindowId GetWindowFromPort(DrawPort* port) { return port ? port->window() : 0; }

void useServerOf(DrawPort* port) {
  if (port && &port->server() != &WindowServer::current()) WindowServer::setCurrent(&port->server());
}

int32_t GetRootControl(WindowId window, ViewId* root) {
  *root = window ? WindowServer::current().rootView(window) : 0;
  return *root ? 0 : kNoRootControl;
}

int32_t CreateRootControl(WindowId window, ViewId* root) {
  *root = window ? WindowServer::current().createRootView(window) : 0;
  return *root ? 0 : kCannotEmbed;
}

} // namespace platform
