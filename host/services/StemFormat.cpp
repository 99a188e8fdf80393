#include "host/services/StemFormat.h"

#include "host/services/CDAEError.h"

int32_t SurroundFormatToNumChannels(int32_t format) {
  static const int32_t kChannels[] = {1, 2, 3, 4, 4, 5, 6, 6, 7, 7, 8};
  if (format < 0 || format > 10) throw CDAEError(HostStatus::kUnexpectedCase);
  return kChannels[format];
}

bool SurroundFormatHasLFE(int32_t format) { return format >= 0 && format <= 10 && ((0x540 >> format) & 1); }
