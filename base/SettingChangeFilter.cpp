#include "base/SettingChangeFilter.h"

bool SettingChangeFilter::passes(const std::string& name, const Record::Value& value) {
  auto [at, added] = mRecord.mValues.try_emplace(name, value);
  if (added) return true;
  if (at->second == value) return false;
  at->second = value;
  return true;
}

int SettingChangeFilter::serializeInt(const std::string& name, int value, int def) {
  if (!mInner.isWriter()) {
    const int read = mInner.serializeInt(name, value, def);
    mRecord.mValues[name] = Record::Value{true, read, {}};
    return read;
  }
  if (passes(name, Record::Value{true, value, {}})) mInner.serializeInt(name, value, def);
  return value;
}

std::string SettingChangeFilter::serializeString(const std::string& name, const std::string& value,
                                                 const std::string& def) {
  if (!mInner.isWriter()) {
    std::string read = mInner.serializeString(name, value, def);
    mRecord.mValues[name] = Record::Value{false, 0, read};
    return read;
  }
  if (passes(name, Record::Value{false, 0, value})) mInner.serializeString(name, value, def);
  return value;
}
