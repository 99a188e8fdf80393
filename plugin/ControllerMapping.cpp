#include "plugin/ControllerMapping.h"

#include "base/BinaryData.h"

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

const char* const cTag = "QVCM";

} // namespace

ControllerMapping::ControllerMapping() {
  for (auto& e : entries) e.store(-1, std::memory_order_relaxed);
}

int ControllerMapping::getParameterIndex(int controller) const {
  if (!isValidController(controller)) return -1;
  return entries[controller].load(std::memory_order_relaxed);
}

bool ControllerMapping::setConnection(int controller, int parameterIndex) {
  if (!isValidController(controller)) return false;
  if (parameterIndex < 0) {
    removeConnection(controller);
    return true;
  }
  if (!acceptsIndex(parameterIndex)) return false;
  // One controller per parameter: the index leaves every entry that holds
  // it (a loaded map may hold it more than once), in the same single scan.
  for (int c = 0; c < cControllerCount; ++c) {
    if (c == controller) continue;
    int32_t expected = parameterIndex;
    entries[c].compare_exchange_strong(expected, -1, std::memory_order_relaxed);
  }
  entries[controller].store(parameterIndex, std::memory_order_relaxed);
  return true;
}

void ControllerMapping::removeConnection(int controller) {
  if (isValidController(controller)) entries[controller].store(-1, std::memory_order_relaxed);
}

int ControllerMapping::getControllerNumber(int parameterIndex) const {
  if (parameterIndex < 0) return -1;
  for (int c = 0; c < cControllerCount; ++c)
    if (entries[c].load(std::memory_order_relaxed) == parameterIndex) return c;
  return -1;
}

void ControllerMapping::reset() {
  for (auto& e : entries) e.store(-1, std::memory_order_relaxed);
}

void ControllerMapping::setIndexLimits(const void* user, int parameterCount, int midiOnlyCount) {
  if (parameterCount < 0 || midiOnlyCount < 0) {
    removeIndexLimits(user);
    return;
  }
  // The MIDI-only range begins where plug-in indexes end; a larger count
  // would let the two ranges overlap.
  if (parameterCount > cMidiOnlyParameterBase) parameterCount = cMidiOnlyParameterBase;
  std::lock_guard<std::mutex> lock(mUsersLock);
  mUsers[user] = {parameterCount, midiOnlyCount};
  publishLimits();
}

void ControllerMapping::removeIndexLimits(const void* user) {
  std::lock_guard<std::mutex> lock(mUsersLock);
  if (mUsers.erase(user)) publishLimits();
}

void ControllerMapping::publishLimits() {
  // Every user's range starts at 0 (and at the MIDI-only base), so the
  // widest one holds all the others.
  int32_t parameters = -1, midiOnly = -1;
  for (const auto& [user, counts] : mUsers) {
    if (counts.first > parameters) parameters = counts.first;
    if (counts.second > midiOnly) midiOnly = counts.second;
  }
  // The MIDI-only limit first: a reader that sees the new parameter limit
  // sees a matching pair, never "no limits" half way.
  midiOnlyLimit.store(midiOnly, std::memory_order_relaxed);
  parameterLimit.store(parameters, std::memory_order_relaxed);
}

bool ControllerMapping::acceptsIndex(int parameterIndex) const {
  if (parameterIndex < 0) return false;
  const int32_t parameters = parameterLimit.load(std::memory_order_relaxed);
  const int32_t midiOnly = midiOnlyLimit.load(std::memory_order_relaxed);
  if (parameters < 0 || midiOnly < 0) return true;
  if (parameterIndex < parameters) return true;
  return parameterIndex >= cMidiOnlyParameterBase && parameterIndex - cMidiOnlyParameterBase < midiOnly;
}

int ControllerMapping::getMappedParameter(int controller) const {
  const int index = getParameterIndex(controller);
  return acceptsIndex(index) ? index : -1;
}

bool ControllerMapping::saveToFile(const std::string& path, std::string* reason) const {
  BinaryFileWriter writer(path);
  writer.writeHeader(cTag, cFileVersion);
  for (const auto& e : entries) writer.writeInt(e.load(std::memory_order_relaxed));
  if (writer.commit()) return true;
  if (reason) *reason = writer.reason().empty() ? std::strerror(EIO) : writer.reason();
  return false;
}

bool ControllerMapping::loadFromBinaryData(BinaryDataReader* reader) {
  if (!reader || !reader->headerValid(cTag)) return false;
  // Another version's layout may differ in any way: its values read as this
  // version's would learn controllers to the wrong parameters.
  if (reader->getVersion() != cFileVersion) return false;
  // A short file would leave the entries past its end at 0 (parameter 0):
  // read into a scratch table and take it only when it is complete.
  int32_t loaded[cControllerCount];
  for (auto& v : loaded) v = reader->readInt();
  if (reader->failed()) return false;
  for (int c = 0; c < cControllerCount; ++c) entries[c].store(loaded[c], std::memory_order_relaxed);
  return true;
}

bool ControllerMapping::loadFromFile(const std::string& path) {
  BinaryFileReader reader(path);
  return loadFromBinaryData(&reader);
}

bool ControllerMapping::loadFromResource(const std::string& name) {
  BinaryResourceReader reader(name);
  return loadFromBinaryData(&reader);
}
