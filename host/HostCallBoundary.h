#pragma once

// Where a host call enters the plug-in, every failure turns back into a
// host status: a CDAEError gives its code, a thrown integer its value, and
// anything else kPlugInErr_Unexpected. Nothing is allowed to cross into the
// host as an exception.
//
// A status alone tells the user nothing he can act on. The words of a
// failure that had words (a std::exception's what()) are kept with their
// status and the calling thread, and a host that knows to ask takes them
// with PlugInTakeFailureText (host/PlugInEntryPoints.h) right after the
// call. Only failures touch them: a call that succeeds costs nothing.

#include "host/HostInterface.h"
#include "host/services/CDAEError.h"

#include <cstdint>
#include <exception>

// Keeps the words of the failure that returns status on this thread,
// replacing earlier ones (of any thread); never throws (words that cannot
// be kept are dropped).
void RememberHostCallFailure(int32_t status, const char* words) noexcept;
// A failure without words: forgets the words kept for any other status, so
// that a host never takes stale words for it. Those kept for the same
// status stay (an inner boundary's words, its status thrown on by an outer
// one).
void NoteHostCallFailure(int32_t status) noexcept;

template <class F> int32_t CallAtHostBoundary(F&& body) noexcept {
  try {
    return body();
  } catch (const CDAEError& e) {
    NoteHostCallFailure(e.GetErrorCode());
    return e.GetErrorCode();
  } catch (long code) {
    NoteHostCallFailure(static_cast<int32_t>(code));
    return static_cast<int32_t>(code);
  } catch (int code) {
    NoteHostCallFailure(code);
    return code;
  } catch (short code) {
    NoteHostCallFailure(code);
    return code;
  } catch (const std::exception& e) {
    RememberHostCallFailure(kPlugInErr_Unexpected, e.what());
    return kPlugInErr_Unexpected;
  } catch (...) {
    NoteHostCallFailure(kPlugInErr_Unexpected);
    return kPlugInErr_Unexpected;
  }
}
