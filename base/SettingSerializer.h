#pragma once

// One routine both saves and loads a set of named settings: for each name,
// in a fixed order, it passes the value it holds and keeps what comes back.
// A reader gives back the stored value (or the default when there is none);
// a writer stores the value and gives it back unchanged.

#include <string>
#include <vector>

class SettingSerializer {
public:
  virtual ~SettingSerializer() = default;

  virtual bool isWriter() = 0;
  virtual void serializeBinary(const std::string& name, std::vector<char>& data) = 0;
  // Stored as the integer 1 or 0.
  virtual bool serializeBool(const std::string& name, bool value, bool def);
  // Stored as a string in "%.15lg" form ("C" locale).
  virtual double serializeFloat(const std::string& name, double value, double def);
  // Stored as a decimal string unless an implementation has integers.
  virtual int serializeInt(const std::string& name, int value, int def);
  virtual std::string serializeString(const std::string& name, const std::string& value,
                                      const std::string& def) = 0;

  // The forms without a default use the value passed in as the default, so a
  // reader leaves the value as it is when the name is not stored.
  bool serializeBool(const std::string& name, bool value) { return serializeBool(name, value, value); }
  double serializeFloat(const std::string& name, double value) { return serializeFloat(name, value, value); }
  int serializeInt(const std::string& name, int value) { return serializeInt(name, value, value); }
  std::string serializeString(const std::string& name, const std::string& value) {
    return serializeString(name, value, value);
  }
};
