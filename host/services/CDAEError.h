#pragma once

// The exception that carries a host status code through the host layer. The
// code is a negative 16-bit host status kept in 32 bits; the boundary where
// the host calls the plug-in catches it and hands the code back as its
// result.

#include <cstdint>

class CDAEError {
public:
  explicit CDAEError(int32_t errorCode) : fErrorCode(errorCode) {}
  virtual ~CDAEError() = default;
  CDAEError(const CDAEError&) = default;
  CDAEError& operator=(const CDAEError&) = default;

  int32_t GetErrorCode() const { return fErrorCode; }

private:
  int32_t fErrorCode;
};

// Throws CDAEError with status when status is not 0.
inline void ThrowIfDAEError(int32_t status) {
  if (status != 0) throw CDAEError(status);
}

// Host status codes used by the host services.
namespace HostStatus {
constexpr int32_t kNoErr = 0;
constexpr int32_t kEngineEntryMissing = -2802;     // the library lacks the entry point
constexpr int32_t kEngineLibraryMissing = -2812;   // the engine library is not loaded
constexpr int32_t kEntryNameUnknown = -9007;       // no name for an entry id, or not exported
constexpr int32_t kFrameworkNotFound = -9064;      // the framework file is not in the last folder tried
constexpr int32_t kBundleNotLoadable = -9065;      // no such bundle, or it cannot be created or loaded
constexpr int32_t kNullObject = -7053;             // missing object, handle or space
constexpr int32_t kPortInUse = -7100;              // input port already connected
constexpr int32_t kOutputPortInUse = -7101;        // output port already connected
constexpr int32_t kBadFormat = -7104;              // audio format not accepted
constexpr int32_t kBadPortIndex = -7106;           // port index out of range
constexpr int32_t kPortNotConnected = -7107;       // port already free
constexpr int32_t kAssertion = -7400;              // broken assertion, malformed description
constexpr int32_t kUnexpectedCase = -7401;         // a value outside what is handled
} // namespace HostStatus
