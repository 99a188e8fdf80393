#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace zarn::test {

// Sets (or, with nullopt, unsets) an environment variable for the lifetime
// of the object and restores the previous state afterwards.
class ScopedEnvironment {
public:
  ScopedEnvironment(const std::string& name, const std::optional<std::string>& value) : mName(name) {
    if (const char* old = std::getenv(name.c_str())) mOld = old;
    if (value)
      setenv(name.c_str(), value->c_str(), 1);
    else
      unsetenv(name.c_str());
  }
  ~ScopedEnvironment() {
    if (mOld)
      setenv(mName.c_str(), mOld->c_str(), 1);
    else
      unsetenv(mName.c_str());
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
  std::string mName;
  std::optional<std::string> mOld;
};

} // namespace zarn::test
