#pragma once

// Where a host call enters the plug-in, every failure turns back into a
// host status: a CDAEError gives its code, a thrown integer its value, and
// anything else kPlugInErr_Unexpected. Nothing is allowed to cross into the
// host as an exception.

#include "host/HostInterface.h"
#include "host/services/CDAEError.h"

#include <cstdint>

template <class F> int32_t CallAtHostBoundary(F&& body) noexcept {
  try {
    return body();
  } catch (const CDAEError& e) {
    return e.GetErrorCode();
  } catch (long code) {
    return static_cast<int32_t>(code);
  } catch (int code) {
    return code;
  } catch (short code) {
    return code;
  } catch (...) {
    return kPlugInErr_Unexpected;
  }
}
