#pragma once
// Runs a piece of a test in a child process that the test can give up on.
// A fault under test may make the code wait for ever (a FIFO opened for
// reading, a scan that never ends); in-process, the test would then hang
// until ctest's timeout and say nothing. In a child, the test waits a
// generous while, kills the child and fails on its own expectations. The
// wait is no measure of speed: the code is expected to finish at once.
//
// The body runs in the child after fork(), so it sees the test's state as
// it was; its result text comes back through a pipe (expectations inside
// the body would be lost with the child: return what the test should check).

#include <functional>
#include <string>
#include <sys/types.h>

namespace zarn::test {

struct ChildResult {
  bool finished = false; // false: killed after the wait, or it crashed
  std::string output;    // what the body returned
};

ChildResult runInChild(const std::function<std::string()>& body, int waitSeconds = 60);

// Waits for a child the test forked itself, up to waitSeconds: true with
// its status once it has ended; false when it had not by then, the child
// killed and waited for, so that no test leaves a process behind.
bool awaitChild(pid_t child, int& status, int waitSeconds = 60);

// In a forked child that is to end by SIGTERM as a program would: the
// signal back at its default action and none held back, whatever the test
// process had set.
void freshSignals();

// The number of a process that has ended and been waited for: a pid that
// names no live process (until the system hands it out again), for tests of
// what is left behind by processes that are gone.
pid_t endedProcess();

} // namespace zarn::test
