#include "base/PreferencesSerializer.h"

PreferencesSerializer::~PreferencesSerializer() { releaseApplicationID(); }

void PreferencesSerializer::releaseApplicationID() {
  if (ownsApplicationID) releasePlatformString(applicationID);
  applicationID = nullptr;
  ownsApplicationID = false;
}

void PreferencesSerializer::initializeApplicationID(const std::string& id) {
  // Values stored under the old domain go there before it is left.
  commit();
  mStore.reset();
  releaseApplicationID();
  applicationID = platform::PlatformString::create(id);
  ownsApplicationID = true;
}

void PreferencesSerializer::initializeApplicationID(PlatformStringRef id) {
  commit();
  mStore.reset();
  if (id == applicationID) {
    ownsApplicationID = false; // same object: the caller has it now
    return;
  }
  releaseApplicationID();
  applicationID = id;
}

platform::PreferencesStore& PreferencesSerializer::store() {
  if (!mStore) mStore = std::make_unique<platform::PreferencesStore>(applicationID ? applicationID->bytes() : "");
  return *mStore;
}

bool PreferencesSerializer::commit() { return !mStore || mStore->synchronize(); }

PreferencesReader::PreferencesReader(PlatformStringRef id) { initializeApplicationID(id); }
PreferencesReader::PreferencesReader(const std::string& id) { initializeApplicationID(id); }

void PreferencesReader::serializeBinary(const std::string&, std::vector<char>&) {}

int PreferencesReader::serializeInt(const std::string& name, int, int def) {
  int32_t stored;
  return store().getInteger(name, stored) ? stored : def;
}

std::string PreferencesReader::serializeString(const std::string& name, const std::string&,
                                               const std::string& def) {
  std::string stored;
  return store().getString(name, stored) ? stored : def;
}

PreferencesWriter::PreferencesWriter(PlatformStringRef id) { initializeApplicationID(id); }
PreferencesWriter::PreferencesWriter(const std::string& id) { initializeApplicationID(id); }

PreferencesWriter::~PreferencesWriter() { commit(); }

std::string PreferencesWriter::failure() {
  const std::string& error = store().lastError();
  const std::string& file = store().filePath();
  if (error.empty()) return {};
  if (file.empty()) return ": " + error;
  // A reason that begins with a path names what failed (the file, or a
  // folder on its way); any other is about the file.
  if (error[0] == '/') return " to " + error;
  return " to " + file + ": " + error;
}

void PreferencesWriter::serializeBinary(const std::string&, std::vector<char>&) {}

int PreferencesWriter::serializeInt(const std::string& name, int value, int) {
  store().setInteger(name, value);
  return value;
}

std::string PreferencesWriter::serializeString(const std::string& name, const std::string& value,
                                               const std::string&) {
  store().setString(name, value);
  return value;
}

SettingSerializer* createSettingReader(const std::string& domain) { return new PreferencesReader(domain); }
SettingSerializer* createSettingWriter(const std::string& domain) { return new PreferencesWriter(domain); }
