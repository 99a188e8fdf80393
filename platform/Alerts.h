#pragma once

// Modal alerts. By default the text goes to standard error; tests and the
// editor's window server install a handler of their own.

#include <functional>
#include <string>

namespace platform {

using AlertHandler = std::function<void(const std::string& message)>;

void showAlert(const std::string& message);
// null restores the default handler.
void setAlertHandler(AlertHandler handler);

} // namespace platform
