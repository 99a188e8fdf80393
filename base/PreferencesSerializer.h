#pragma once

// Settings kept in the user's preferences store, one domain per product
// (the product record's settings path). Integers and strings are stored
// typed; booleans as integers and floats as strings, through the base class.

#include "base/SettingSerializer.h"
#include "platform/PlatformString.h"
#include "platform/PreferencesStore.h"

#include <memory>

class PreferencesSerializer : public SettingSerializer {
public:
  PreferencesSerializer() = default;
  ~PreferencesSerializer() override;
  PreferencesSerializer(const PreferencesSerializer&) = delete;
  PreferencesSerializer& operator=(const PreferencesSerializer&) = delete;

  // Names the domain with a new identifier made from id, owned by this
  // object. An identifier owned before is released.
  void initializeApplicationID(const std::string& id);
  // Names the domain with id, which the caller keeps owning (and must keep
  // alive while this object lives). An identifier owned before is released.
  void initializeApplicationID(PlatformStringRef id);

protected:
  // The store of the current domain, read when first asked for.
  platform::PreferencesStore& store();
  // Writes what the store holds unwritten, if anything.
  bool commit();

  PlatformStringRef applicationID = nullptr;
  bool ownsApplicationID = false;

private:
  void releaseApplicationID();
  std::unique_ptr<platform::PreferencesStore> mStore;
};

class PreferencesReader : public PreferencesSerializer {
public:
  explicit PreferencesReader(PlatformStringRef id);
  explicit PreferencesReader(const std::string& id);
  ~PreferencesReader() override = default;

  using SettingSerializer::serializeInt;
  using SettingSerializer::serializeString;

  bool isWriter() override { return false; }
  // Nothing is stored in binary form: data stays as it is.
  void serializeBinary(const std::string& name, std::vector<char>& data) override;
  // The stored integer; def when the name is missing or holds no integer.
  int serializeInt(const std::string& name, int value, int def) override;
  // The stored string; def when the name is missing or holds no string.
  std::string serializeString(const std::string& name, const std::string& value,
                              const std::string& def) override;
};

class PreferencesWriter : public PreferencesSerializer {
public:
  explicit PreferencesWriter(PlatformStringRef id);
  explicit PreferencesWriter(const std::string& id);
  // Commits the stored values to disk.
  ~PreferencesWriter() override;

  using SettingSerializer::serializeInt;
  using SettingSerializer::serializeString;

  bool isWriter() override { return true; }
  void serializeBinary(const std::string& name, std::vector<char>& data) override;
  // Each stores value and returns it.
  int serializeInt(const std::string& name, int value, int def) override;
  std::string serializeString(const std::string& name, const std::string& value,
                              const std::string& def) override;

  // Writes the values stored so far; false when the store could not be
  // written (the destructor commits too, but cannot tell).
  bool synchronize() { return commit(); }
  // After a failed synchronize: where and why it could not be written, as
  // the end of a sentence that says what "could not be saved": " to PATH:
  // why" (the file, or the folder on its way that failed), or ": why" when
  // no file can be named (no configuration folder is known); "" after a
  // success.
  std::string failure();
};

// The serializer is owned by the caller, who deletes it; deleting a writer
// commits what it stored. domain is the product record's settings path.
SettingSerializer* createSettingReader(const std::string& domain);
SettingSerializer* createSettingWriter(const std::string& domain);
