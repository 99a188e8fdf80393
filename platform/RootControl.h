#pragma once

// What a plug-in finds in the window port its host hands it: the window,
// and the window's root control, the view that holds every control view of
// the window. A window has no root control until one is made; asking for it
// then answers kNoRootControl, as the host's window system does.
//
// A port from the host belongs to the host's window server. The plug-in's
// toolkit must build its views on that server, so useServerOf makes it the
// current one first.

#include "platform/DrawPort.h"
#include "platform/WindowServer.h"

#include <cstdint>

struct OpaqueGrafPtr;

namespace platform {

constexpr int32_t kNoRootControl = -30586;
// The window cannot hold a root control.
constexpr int32_t kCannotEmbed = -30590;

// The port a host hands over as an opaque pointer is a DrawPort.
inline DrawPort* portFromOpaque(OpaqueGrafPtr* port) { return reinterpret_cast<DrawPort*>(port); }
inline OpaqueGrafPtr* opaqueFromPort(DrawPort* port) { return reinterpret_cast<OpaqueGrafPtr*>(port); }

// The window the port draws for (0 for an offscreen port).
WindowId GetWindowFromPort(DrawPort* port);
// Makes the port's window server the current one.
void useServerOf(DrawPort* port);
// 0 with root set, else kNoRootControl (root 0).
int32_t GetRootControl(WindowId window, ViewId* root);
// 0 with root set (the existing root when there is one), else kCannotEmbed.
int32_t CreateRootControl(WindowId window, ViewId* root);

} // namespace platform
