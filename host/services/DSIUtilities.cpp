#include "host/services/DSIUtilities.h"

#include "host/services/CDAEError.h"
#include "host/services/DSICalls.h"
#include "host/services/HostCallback.h"
#include "host/services/HostStrings.h"
#include "platform/Clock.h"
#include "platform/DebugOutput.h"
#include "platform/KeyMap.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

double GainToDB(double gain) {
  double dB = 20.0 * std::log10(gain);
  return dB > -144.0 ? dB : -144.0; // also for NaN (negative gains)
}
double GainToDB(const double* gain) { return GainToDB(*gain); }
double DBToGain(double dB) { return std::pow(10.0, 0.05 * dB); }
double DBToGain(const double* dB) { return DBToGain(*dB); }

double DSPCoefToDouble(int32_t coefficient) {
  if (coefficient > 8388607) coefficient = 8388607;
  if (coefficient < -8388607) coefficient = -8388607;
  return coefficient * 1.1920930376163766e-7;
}

namespace {

// Converting a double that does not fit is undefined; saturate instead.
int32_t saturate(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

} // namespace

int32_t DoubleToLong(double x) { return saturate(8388607.0 * x); }

int32_t DoubleToDSPCoef(double x) {
  if (x >= 0.9999998807907104) return 0x7FFFFF;
  if (x < -1.0) return -8388608;
  return saturate(x * 8388608.0);
}

int32_t DoubleToDSPCoefRnd(double x) {
  if (x >= 0.9999998807907104) return 0x7FFFFF;
  if (x < -1.0) return -8388608;
  if (std::isnan(x)) return 0;
  // Ties to even without depending on the thread's rounding mode.
  double v = x * 8388608.0;
  double f = std::floor(v);
  double rest = v - f;
  if (rest > 0.5 || (rest == 0.5 && std::fmod(f, 2.0) != 0.0)) f += 1.0;
  return saturate(f);
}

double LongToDouble(int32_t value) { return value; }

void FloatToString(float value, unsigned char* text) {
  double shifted = std::fabs(static_cast<double>(value)) + 0.005;
  if (!(shifted < 2147483647.0)) shifted = 2147483647.0; // NaN and huge values
  int32_t whole = static_cast<int32_t>(shifted);
  double fraction = shifted - whole;
  int tenths = static_cast<int>(fraction * 10.0) % 10;
  int hundredths = static_cast<int>(fraction * 100.0) % 10;
  unsigned char digits[16];
  NumToString(whole, digits);
  text[0] = 0;
  if (value < 0) {
    text[0] = 1;
    text[1] = '-';
  }
  AppendPString(255, digits, text);
  const unsigned char tail[] = {3, '.', static_cast<unsigned char>('0' + tenths),
                                static_cast<unsigned char>('0' + hundredths)};
  AppendPString(255, tail, text);
}

bool IsThisKeyDown(int16_t keyCode) {
  if (keyCode < 0 || keyCode > 127) return false;
  platform::KeyMap keys;
  platform::getKeys(keys);
  return (keys.bytes[keyCode / 8] >> (keyCode % 8)) & 1;
}

bool IsCommandKeyDown() { return IsThisKeyDown(55); }
bool IsControlKeyDown() { return IsThisKeyDown(59); }
bool IsOptionKeyDown() { return IsThisKeyDown(58); }
bool IsShiftKeyDown() { return IsThisKeyDown(56); }

bool IsValidHandle(char** handle) {
  auto odd = [](const void* p) { return (reinterpret_cast<uintptr_t>(p) & 1) != 0; };
  if (handle && !odd(handle) && *handle && !odd(*handle)) return true;
  platform::debuggerString(";printf \"IsValidHandle bad handle:%d\" rd0");
  return false;
}

void CPlusDebugString(const char* text) {
  HostCallbackProc callback = GetHostCallback();
  if (!callback || !text) return;
  unsigned char message[256];
  size_t length = std::strlen(text);
  if (length > 255) length = 255;
  message[0] = static_cast<unsigned char>(length);
  std::memcpy(message + 1, text, length);
  callback(kHostCallbackDebugText, 0, reinterpret_cast<uintptr_t>(message));
}

void CPlusDebugLong(int32_t value) {
  if (HostCallbackProc callback = GetHostCallback())
    callback(kHostCallbackDebugNumber, 0, static_cast<uintptr_t>(static_cast<intptr_t>(value)));
}

int32_t PlugInPrintf(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (n < 0) text[0] = '\0';
  return Call_DsiPrintf(reinterpret_cast<uintptr_t>(text));
}

int32_t SendProgressMessage(int32_t info) {
  SDSIClientRecord* client = nullptr;
  if (int32_t status = Call_GetClientList(reinterpret_cast<uintptr_t>(&client))) return status;
  for (; client; client = client->next) {
    if (client->signature != kProgressClientSignature || client->progressHandler == 0) continue;
    SDSIMessage message{0, reinterpret_cast<uintptr_t>(client), kProgressMessageCode, 4, info};
    int32_t status = Call_DsiSendMsg(reinterpret_cast<uintptr_t>(&message));
    if (status != 0 && status != -1) return status;
  }
  return 0;
}

void MicrosecondDelay(int32_t microseconds) {
  int64_t end = platform::microseconds() + microseconds;
  while (platform::microseconds() <= end) {
  }
}

std::string binary2string(uint32_t value, int32_t bits) {
  if (bits > 32) bits = 32;
  std::string text;
  for (int32_t i = bits - 1; i >= 0; --i) text += ((value >> i) & 1) ? '1' : '0';
  return text;
}

uint32_t string2binary(const char* text) {
  uint32_t value = 0;
  for (const char* p = text; p && *p; ++p) {
    if (*p != '0' && *p != '1') throw CDAEError(HostStatus::kUnexpectedCase);
    value = (value << 1) | static_cast<uint32_t>(*p - '0');
  }
  return value;
}
