#pragma once
// Hooks a test may set around every open of a file by name in its process
// (open, open64, openat, openat64; see RealTimeHooks.cpp): to act at the
// very moment a file is made, as a signal or another process might. Set
// them in a child process, or put them back before the test ends. result
// is -1 before the open and the open's result after it; errno is the
// open's own around the hook after it.
//
// This header includes no system header: RealTimeHooks.cpp includes it.

namespace zarn::test::hooks {

using OpenHook = void (*)(const char* path, int result);
extern OpenHook gBeforeOpen;
extern OpenHook gAfterOpen;

// Every unlinkat the process has made (of a file or a folder, whether it
// removed anything or not): what a removal of a tree tries.
extern long gUnlinkAts;

// Called before every unlinkat with the folder and the name it removes:
// to act between a signal handler's look at a name and its removal. It
// runs in the handler then, and does only what a handler may.
using UnlinkAtHook = void (*)(int folder, const char* name);
extern UnlinkAtHook gBeforeUnlinkAt;

} // namespace zarn::test::hooks
