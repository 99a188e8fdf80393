#pragma once

// Writes only what this process changed.
//
// Several processes may share one preferences store (two hosts open on one
// account, each with the plug-in loaded). Each reads the settings when it
// starts and writes them when it ends; the store merges what a writer
// stores over what is on disk at that moment. A process that stored every
// setting at its end would put back, as changes of its own, the values it
// read long ago, over those another process has stored since.
//
// So a settings pass reads through a filter that records, by name, the
// value and type each setting was read as (the stored value, or the default
// when none was stored); a later writing pass through a filter on the same
// record hands on to the writer only the values that differ from the
// record, and records them in turn. A value this process changed and then
// changed back counts as unchanged: the process has nothing of its own to
// say about it.
//
// The filter forwards everything else to the serializer it wraps, which
// stays the caller's. Main thread, like every settings pass.

#include "base/SettingSerializer.h"

#include <map>
#include <string>
#include <vector>

class SettingChangeFilter : public SettingSerializer {
public:
  // Each setting as last read or written, by name.
  class Record {
  public:
    void clear() { mValues.clear(); }
    bool empty() const { return mValues.empty(); }

  private:
    friend class SettingChangeFilter;
    struct Value {
      bool isInteger = false;
      int number = 0;
      std::string text;
      bool operator==(const Value&) const = default;
    };
    std::map<std::string, Value> mValues;
  };

  SettingChangeFilter(SettingSerializer& inner, Record& record) : mInner(inner), mRecord(record) {}

  bool isWriter() override { return mInner.isWriter(); }
  void serializeBinary(const std::string& name, std::vector<char>& data) override {
    mInner.serializeBinary(name, data);
  }
  int serializeInt(const std::string& name, int value, int def) override;
  std::string serializeString(const std::string& name, const std::string& value, const std::string& def) override;

  using SettingSerializer::serializeInt;
  using SettingSerializer::serializeString;

private:
  // A reader's result is recorded; a writer is handed the value only when
  // it differs from the record.
  bool passes(const std::string& name, const Record::Value& value);

  SettingSerializer& mInner;
  Record& mRecord;
};
