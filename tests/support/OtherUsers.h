#pragma once
// The users a test plays, as root, to see what a save does to a file of
// another user: her own file, written by a collaborator who may write it
// through its group or an access list. A test forks a child and has it
// become one of them for the rest of its life. None of the ids need exist
// in the user database.

#include <grp.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace zarn::test {

struct User {
  const char* who;
  uid_t uid;
  gid_t gid;
  std::vector<gid_t> groups;
};

constexpr uid_t cNobody = 65534;
constexpr gid_t cNogroup = 65534;
constexpr uid_t cHer = 1234;    // the file's owner
constexpr gid_t cStudio = 4321; // a group the writer is in, she is not

// Becomes who for the rest of the process (a child's).
inline bool become(const User& who) {
  return ::setgroups(who.groups.size(), who.groups.data()) == 0 && ::setresgid(who.gid, who.gid, who.gid) == 0 &&
         ::setresuid(who.uid, who.uid, who.uid) == 0;
}

} // namespace zarn::test
