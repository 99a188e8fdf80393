#pragma once
// The cases of a table that cannot run on this machine (no root to make a
// device or become another user, a file system without access lists).
// The table goes on with the others; report(), called last, ends the test
// as one skip that names every case left out, so that GoogleTest and ctest
// count it as skipped rather than passed. A case that ran and failed still
// fails the test: a failure outweighs a skip.

#include <gtest/gtest.h>

#include <string>

namespace zarn::test {

class SkippedCases {
public:
  void add(const std::string& what, const std::string& why) {
    mWhat += (mWhat.empty() ? "" : "; ") + what + ": " + why;
  }
  bool any() const { return !mWhat.empty(); }
  // Marks the running test skipped when a case was.
  void report() const {
    if (any()) GTEST_SKIP() << "cases left out: " << mWhat;
  }

private:
  std::string mWhat;
};

} // namespace zarn::test
