#include "plugin/ControllerMapping.h"

#include "base/BinaryData.h"
#include "base/Folders.h"
#include "base/PlatformUtils.h"
#include "platform/Bundle.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using zarn::test::TempDir;

namespace {

std::vector<int> entriesOf(const ControllerMapping& m) {
  std::vector<int> v;
  for (int c = 0; c < ControllerMapping::cControllerCount; ++c) v.push_back(m.getParameterIndex(c));
  return v;
}

void appendInt(std::string& bytes, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}

// A map file with the given tag and version; entry c is values[c] or -1.
std::string mapFile(const std::vector<int>& values, const std::string& tag = "QVCM", int version = 1) {
  std::string bytes = tag;
  bytes.resize(4, '\0');
  appendInt(bytes, version);
  for (int c = 0; c < 127; ++c) appendInt(bytes, c < static_cast<int>(values.size()) ? values[c] : -1);
  return bytes;
}

// A mapping with a few connections whose file content is known.
void fill(ControllerMapping& m) {
  m.setConnection(1, 0);
  m.setConnection(7, 12);
  m.setConnection(64, 0x100001);
  m.setConnection(126, 3);
}

} // namespace

TEST(ControllerMappingTest, ConnectionsKeepOneControllerPerParameter) {
  ControllerMapping m;
  EXPECT_EQ(std::vector<int>(127, -1), entriesOf(m));
  EXPECT_EQ(-1, m.getControllerNumber(5));

  EXPECT_TRUE(m.setConnection(7, 5));
  EXPECT_TRUE(m.setConnection(10, 5));
  EXPECT_EQ(-1, m.getParameterIndex(7));
  EXPECT_EQ(5, m.getParameterIndex(10));
  EXPECT_EQ(10, m.getControllerNumber(5));

  // Another parameter on a taken controller replaces it.
  EXPECT_TRUE(m.setConnection(10, 6));
  EXPECT_EQ(6, m.getParameterIndex(10));
  EXPECT_EQ(-1, m.getControllerNumber(5));

  EXPECT_TRUE(m.setConnection(10, -1));
  EXPECT_EQ(-1, m.getParameterIndex(10));

  m.setConnection(3, 1);
  m.setConnection(4, 2);
  m.removeConnection(3);
  EXPECT_EQ(-1, m.getControllerNumber(1));
  EXPECT_EQ(4, m.getControllerNumber(2));
  m.reset();
  EXPECT_EQ(std::vector<int>(127, -1), entriesOf(m));
}

TEST(ControllerMappingTest, ControllersOutsideTheTableAreIgnored) {
  ControllerMapping m;
  fill(m);
  const std::vector<int> before = entriesOf(m);
  for (int controller : {127, 128, 255, -1, 1000000}) {
    EXPECT_FALSE(m.setConnection(controller, 12)) << controller;
    m.removeConnection(controller);
    EXPECT_EQ(-1, m.getParameterIndex(controller));
    EXPECT_EQ(-1, m.getMappedParameter(controller));
  }
  EXPECT_EQ(before, entriesOf(m));
  EXPECT_EQ(-1, m.getControllerNumber(-1));
}

TEST(ControllerMappingTest, IndexLimitsDecideWhatAControllerMayMove) {
  ControllerMapping m;
  EXPECT_TRUE(m.acceptsIndex(0x7FFFFFFF)); // no limits yet
  EXPECT_FALSE(m.acceptsIndex(-1));

  m.setIndexLimits(10, 2);
  for (int ok : {0, 9, 0x100000, 0x100001}) EXPECT_TRUE(m.acceptsIndex(ok)) << ok;
  for (int bad : {10, 0xFFFFF, 0x100002, 0x7FFFFFFF, -5}) EXPECT_FALSE(m.acceptsIndex(bad)) << bad;

  EXPECT_FALSE(m.setConnection(3, 10));
  EXPECT_EQ(-1, m.getParameterIndex(3));

  // A stored map may name anything: it stays in the table, but is not handed on.
  TempDir dir;
  dir.write("map.qvm", mapFile({4, 50, 0x100001, 0x200000}));
  ASSERT_TRUE(m.loadFromFile(dir.file("map.qvm")));
  EXPECT_EQ(50, m.getParameterIndex(1));
  EXPECT_EQ(-1, m.getMappedParameter(1));
  EXPECT_EQ(-1, m.getMappedParameter(3));
  EXPECT_EQ(4, m.getMappedParameter(0));
  EXPECT_EQ(0x100001, m.getMappedParameter(2));

  m.setIndexLimits(-1, -1);
  EXPECT_EQ(50, m.getMappedParameter(1));
}

TEST(ControllerMappingTest, SavedFileIsTheContainerByteForByteAndLoadsBack) {
  TempDir dir;
  ControllerMapping m;
  fill(m);
  ASSERT_TRUE(m.saveToFile(dir.file("MidiControllerMap.qvm")));
  const std::string bytes = dir.read("MidiControllerMap.qvm");

  std::vector<int> expected(127, -1);
  expected[1] = 0;
  expected[7] = 12;
  expected[64] = 0x100001;
  expected[126] = 3;
  EXPECT_EQ(516u, bytes.size());
  EXPECT_EQ(mapFile(expected), bytes);
  EXPECT_EQ(std::string("QVCM\x01\x00\x00\x00", 8), bytes.substr(0, 8));
  EXPECT_EQ(std::string("\x01\x00\x10\x00", 4), bytes.substr(8 + 64 * 4, 4));

  ControllerMapping copy;
  ASSERT_TRUE(copy.loadFromFile(dir.file("MidiControllerMap.qvm")));
  EXPECT_EQ(expected, entriesOf(copy));
  ASSERT_TRUE(copy.saveToFile(dir.file("again.qvm")));
  EXPECT_EQ(bytes, dir.read("again.qvm"));
}

TEST(ControllerMappingTest, OnlyTheVersionItKnowsIsRead) {
  // Another version's layout is unknown: read as version 1's it would send
  // controllers to the wrong parameters. The table stays as it was.
  TempDir dir;
  for (int version : {2, 7, 0, -1}) {
    SCOPED_TRACE(version);
    dir.write("other.qvm", mapFile({9, 8, 7}, "QVCM", version));
    ControllerMapping m;
    m.setConnection(4, 3);
    EXPECT_FALSE(m.loadFromFile(dir.file("other.qvm")));
    EXPECT_EQ(-1, m.getParameterIndex(0));
    EXPECT_EQ(3, m.getParameterIndex(4));
  }
  dir.write("v1.qvm", mapFile({9, 8, 7}, "QVCM", 1));
  ControllerMapping m;
  EXPECT_TRUE(m.loadFromFile(dir.file("v1.qvm")));
  EXPECT_EQ(9, m.getParameterIndex(0));
  EXPECT_EQ(7, m.getParameterIndex(2));
  EXPECT_EQ(-1, m.getParameterIndex(3));
}

TEST(ControllerMappingTest, ShortForeignOrMissingFilesChangeNothingAndFail) {
  TempDir dir;
  const std::string good = mapFile(std::vector<int>(127, 5));
  dir.write("200.qvm", good.substr(0, 200));
  dir.write("515.qvm", good.substr(0, 515));
  dir.write("header.qvm", good.substr(0, 8));
  dir.write("6.qvm", good.substr(0, 6));
  dir.write("empty.qvm", "");
  dir.write("foreign.qvm", mapFile(std::vector<int>(127, 5), "QVil"));
  dir.write("lower.qvm", mapFile(std::vector<int>(127, 5), "qvcm"));

  ControllerMapping m;
  fill(m);
  const std::vector<int> before = entriesOf(m);
  for (const char* name : {"200.qvm", "515.qvm", "header.qvm", "6.qvm", "empty.qvm", "foreign.qvm", "lower.qvm",
                           "missing.qvm"}) {
    EXPECT_FALSE(m.loadFromFile(dir.file(name))) << name;
    EXPECT_EQ(before, entriesOf(m)) << name;
  }
  EXPECT_FALSE(m.loadFromFile(dir.path())); // a folder
  EXPECT_FALSE(m.loadFromBinaryData(nullptr));
  EXPECT_EQ(before, entriesOf(m));

  // A complete map followed by more bytes is still a complete map.
  dir.write("long.qvm", good + "tail");
  EXPECT_TRUE(m.loadFromFile(dir.file("long.qvm")));
  EXPECT_EQ(std::vector<int>(127, 5), entriesOf(m));
}

TEST(ControllerMappingTest, SaveIntoAMissingFolderFailsAndWritesNothing) {
  TempDir dir;
  ControllerMapping m;
  fill(m);
  EXPECT_FALSE(m.saveToFile(dir.file("no/such/folder/map.qvm")));
  EXPECT_EQ("", dir.read("no/such/folder/map.qvm"));
}

TEST(ControllerMappingTest, FactoryMapComesFromTheBundleResources) {
  TempDir bundle("zarn-bundle");
  bundle.write("Info.txt", "CFBundleIdentifier=com.quorvane.test.midi\n");
  bundle.write("Resources/MidiControllerMap.qvm", mapFile({-1, 17, -1, 0x100000}));
  bundle.write("Resources/Broken.qvm", "QVCM\x01");
  BundleRef previous = getModuleInstance();
  registerModuleInstance(platform::Bundle::open(bundle.path()));

  ControllerMapping m;
  EXPECT_TRUE(m.loadFromResource("MidiControllerMap.qvm"));
  EXPECT_EQ(17, m.getParameterIndex(1));
  EXPECT_EQ(0x100000, m.getParameterIndex(3));
  EXPECT_FALSE(m.loadFromResource("Broken.qvm"));
  EXPECT_EQ(17, m.getParameterIndex(1));
  EXPECT_THROW(m.loadFromResource("Missing.qvm"), EResource);
  EXPECT_EQ(17, m.getParameterIndex(1));

  registerModuleInstance(previous);
}
