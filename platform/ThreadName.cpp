#include "platform/ThreadName.h"

#include <pthread.h>

#include <cstring>

namespace platform {

void nameThisThread(const char* name) {
  if (!name) return;
  char cut[cMaxThreadNameLength + 1] = {};
  std::strncpy(cut, name, cMaxThreadNameLength);
  // Naming is for people reading a thread list; a failure changes nothing
  // the program does.
  (void)pthread_setname_np(pthread_self(), cut);
}

} // namespace platform
