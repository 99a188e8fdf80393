#pragma once

// Messages meant for a developer's debugger. By default they go to standard
// error; tests install a handler that records them.

#include <functional>
#include <string>

namespace platform {

using DebugOutputHandler = std::function<void(const std::string& message)>;

void debuggerString(const std::string& message);
// null restores the default handler.
void setDebugOutputHandler(DebugOutputHandler handler);

} // namespace platform
