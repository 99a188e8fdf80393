#pragma once

// Reading a preset file into parameters.
//
// A preset file (".qvp") is the binary container: the plug-in's identifier
// as tag, the preset file version, the count N of values, then N float32
// natural values in parameter order. A loader decides where value i goes:
// CollectionPresetLoader puts it into parameter i of a ParameterCollection,
// CustomPresetLoader into entry i of a list that the product builds, which
// lets it read files whose order differs from the registration order or
// whose values land in plain variables.
//
// A file is applied whole or not at all: everything it declares is read
// and checked before the first parameter is touched, so a foreign, damaged
// or cut-short file, or one holding a value that is not a finite number,
// leaves every parameter as it was. Reading (read) and applying (apply) are
// separate steps, so that a file can be read where the disk may be touched
// and applied later where it may not (the render thread): apply allocates
// nothing and opens nothing.

#include <cstdint>
#include <string>
#include <vector>

class AbstractPluginParameter;
class GenericPlugin;
class ParameterCollection;
class Preset;

// Why a preset file was not applied: a plain record, so that the render
// thread can hand it on without allocating.
struct PresetLoadFailure {
  enum Kind : int32_t {
    none,
    cannotOpen,   // detail: the system's error number
    notAPreset,   // another tag: not a preset of this plug-in
    otherVersion, // detail: the file's version; expected: the one read
    badCount,     // a negative count of values
    cutShort,     // detail: the count it declares (-1: the header is cut short)
    refused,      // the product's own reader refused it
    notAFile,     // a FIFO, a device or a folder stands where the file should be;
                  // detail: its type (the S_IFMT bits of its mode, 0 unknown)
    notFinite     // detail: the value's index; expected: 0 NaN, 1 infinite;
                  // parameter: the name of the parameter it is for
  };
  // Room for a parameter's name with its terminating NUL; longer names are
  // cut (they only name the parameter to the user).
  static constexpr size_t cParameterNameCapacity = 64;

  Kind kind = none;
  int32_t detail = 0;
  int32_t expected = 0;
  char parameter[cParameterNameCapacity] = {};
};

// What a preset file holds, read and checked: its version and the values
// that have a parameter, in parameter order.
struct PresetData {
  int32_t version = 0;
  std::vector<float> values;
};

// The reason as a user reads it, after "could not be loaded: ".
std::string describePresetFailure(const PresetLoadFailure& failure);

class PresetLoader {
public:
  explicit PresetLoader(GenericPlugin* plugin) : plugin(plugin) {}

  // read, then apply: true when applied. False, with nothing changed, when
  // read refuses the file.
  bool load(Preset* preset, int version, const std::string& identifier = std::string());
  // Opens the file once and reads it whole into data: the version and the
  // first getNumParameters() values (values past them are ignored, but
  // must be there). identifier: the tag expected; empty means the plug-in's
  // identifier. olderVersion: a second version accepted (-1: none). False
  // when the file cannot be read, has another tag or version, a negative
  // count, ends before its last value, or holds a value for a parameter
  // that is not a finite number (an infinity or NaN would reach the engine
  // and never leave it); failure() then says why. Not for the render
  // thread.
  bool read(const std::string& path, int version, PresetData& data, const std::string& identifier = std::string(),
            int olderVersion = -1);
  // Applies what read gave inside one parameter batch of the plug-in: value
  // i goes to setParameterValue(i), every index without a value is set to
  // its default. Allocates nothing; any thread that may set parameters.
  void apply(const PresetData& data);
  // Why the last load or read failed (kind none after success).
  const PresetLoadFailure& failure() const { return mFailure; }

  virtual int getNumParameters() = 0;
  virtual void setParameterToDefault(int index) = 0;
  virtual void setParameterValue(int index, float natural) = 0;
  // The name the user knows the value by; empty when it has none.
  virtual std::string getParameterName(int index) = 0;

  // The plug-in whose batch the changes are announced in (may be null: then
  // nothing is batched and an identifier must be given).
  GenericPlugin* plugin;

protected:
  ~PresetLoader() = default;

private:
  bool fail(PresetLoadFailure::Kind kind, int32_t detail = 0, int32_t expected = 0);

  PresetLoadFailure mFailure;
};

// Value i goes to parameter i of the collection, with flags 0.
class CollectionPresetLoader final : public PresetLoader {
public:
  explicit CollectionPresetLoader(ParameterCollection* collection);

  int getNumParameters() override;
  void setParameterToDefault(int index) override;
  void setParameterValue(int index, float natural) override;
  std::string getParameterName(int index) override;

private:
  ParameterCollection* mCollection;
};

// Value i goes to entry i: to its parameter (flags 0) and to its target
// variable, whichever the entry has.
class CustomPresetLoader final : public PresetLoader {
public:
  struct ParamDef {
    AbstractPluginParameter* parameter; // may be null
    float* target;                      // may be null
  };

  explicit CustomPresetLoader(GenericPlugin* plugin) : PresetLoader(plugin) {}

  // One entry for the parameter.
  void add(AbstractPluginParameter& parameter);
  // count entries for the plug-in's parameters with the indexes first,
  // first + 1, ...; nothing when count is below 1. An index the plug-in
  // has no parameter for gives an entry that takes its value nowhere.
  void add(AbstractPluginParameter& first, int count);
  // An entry that writes into the variable only; the default is stored
  // there at once, and a file without this value leaves it so.
  void add(float* target, float def);

  int getNumParameters() override;
  void setParameterToDefault(int index) override;
  void setParameterValue(int index, float natural) override;
  std::string getParameterName(int index) override;

  const std::vector<ParamDef>& getEntries() const { return mEntries; }

private:
  std::vector<ParamDef> mEntries;
};
