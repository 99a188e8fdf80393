#pragma once
// Makes the calling process meet file permissions as an ordinary user meets
// them. A test of what a user is told when a folder takes no new file needs
// a folder that refuses it; root passes every permission bit by its
// capabilities, and CI runs the tests as root. Becoming another user would
// lose the way to the test's own files (a clone in a folder only its owner
// may enter), so root keeps its identity and drops from its effective set
// only the capabilities that pass permissions by: its own files, with their
// owner's bits, stay as reachable as before.
//
// For a child process (runInChild): the capabilities stay dropped for the
// rest of the process.

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace zarn::test {

// True when the process now meets permissions as their owner (at once for
// a user who is not root).
inline bool meetPermissionsAsOwner() {
  if (::geteuid() != 0) return true;
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  if (::syscall(SYS_capget, &header, data) != 0) return false;
  for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
    data[capability / 32].effective &= ~(1u << (capability % 32));
  return ::syscall(SYS_capset, &header, data) == 0;
}

} // namespace zarn::test
