#pragma once

// Reads a control's value text for a maximum length, checking that nothing
// past out[maxLength] is written and that out[maxLength] is 0.

#include "host/CPluginControl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

inline std::string valueText(const CPluginControl& control, int32_t maxLength, int32_t value) {
  char buffer[320];
  std::memset(buffer, '#', sizeof buffer);
  control.GetValueString(buffer, maxLength, value);
  EXPECT_EQ(buffer[maxLength], '\0') << "maxLength " << maxLength;
  for (size_t i = static_cast<size_t>(maxLength) + 1; i < sizeof buffer; ++i)
    if (buffer[i] != '#') {
      ADD_FAILURE() << "byte " << i << " written for maxLength " << maxLength;
      break;
    }
  return buffer;
}
