#include "base/SettingSerializer.h"

#include "base/TextUtils.h"

namespace {
const char* const cFloatFormat = "%.15lg";
}

int SettingSerializer::serializeInt(const std::string& name, int value, int def) {
  std::string s = serializeString(name, intToStr(value), intToStr(def));
  return strToIntDef(s, def);
}

bool SettingSerializer::serializeBool(const std::string& name, bool value, bool def) {
  return serializeInt(name, value ? 1 : 0, def ? 1 : 0) != 0;
}

double SettingSerializer::serializeFloat(const std::string& name, double value, double def) {
  std::string s = serializeString(name, floatToStr(value, cFloatFormat), floatToStr(def, cFloatFormat));
  return strToFloatDef(s, def);
}
