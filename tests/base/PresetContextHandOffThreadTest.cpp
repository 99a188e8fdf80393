// The hand-off that carries preset context changes from the render thread
// to the main thread: what arrives, in which order, with nothing torn and
// nothing allocated on the publishing side.

#include "base/PresetContext.h"
#include "tests/support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

using HandOff = PresetContextHandOff;

TEST(PresetContextHandOffTest, TheLatestPublishedTextsAreTakenOnce) {
  HandOff h;
  std::string name = "keep", path = "keep";
  EXPECT_FALSE(h.isPending());
  EXPECT_FALSE(h.takeNameAndPath(name, path));
  EXPECT_EQ(name, "keep");
  EXPECT_EQ(path, "keep");

  EXPECT_TRUE(h.publish("First", "A/First.qvp"));
  EXPECT_TRUE(h.publish("Second", "B/Second.qvp"));
  EXPECT_TRUE(h.isPending());
  ASSERT_TRUE(h.takeNameAndPath(name, path));
  EXPECT_EQ(name, "Second");
  EXPECT_EQ(path, "B/Second.qvp");
  EXPECT_FALSE(h.takeNameAndPath(name, path));

  // A shorter text after a longer one in the same slot keeps nothing of it.
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(h.publish(i % 2 ? "x" : "a much longer name", i % 2 ? "y" : "a/much/longer/path.qvp"));
    ASSERT_TRUE(h.takeNameAndPath(name, path));
    EXPECT_EQ(name, i % 2 ? "x" : "a much longer name");
    EXPECT_EQ(path, i % 2 ? "y" : "a/much/longer/path.qvp");
  }
  // Embedded NULs and empty texts come through as they are.
  ASSERT_TRUE(h.publish(std::string("a\0b", 3), ""));
  ASSERT_TRUE(h.takeNameAndPath(name, path));
  EXPECT_EQ(name, std::string("a\0b", 3));
  EXPECT_EQ(path, "");
}

TEST(PresetContextHandOffTest, TextsThatDoNotFitAreHandedOnAsNoPresetRatherThanCut) {
  HandOff h;
  std::string name, path;
  const std::string longest(HandOff::cNameCapacity - 1, 'n');
  const std::string longestPath(HandOff::cPathCapacity - 1, 'p');
  EXPECT_TRUE(h.publish(longest, longestPath));
  ASSERT_TRUE(h.takeNameAndPath(name, path));
  EXPECT_EQ(name, longest);
  EXPECT_EQ(path, longestPath);

  EXPECT_FALSE(h.publish(std::string(HandOff::cNameCapacity, 'n'), "A/P.qvp"));
  ASSERT_TRUE(h.takeNameAndPath(name, path));
  EXPECT_EQ(name, "");
  EXPECT_EQ(path, "");
  EXPECT_FALSE(h.publish("P", std::string(HandOff::cPathCapacity, 'p')));
  ASSERT_TRUE(h.takeNameAndPath(name, path));
  EXPECT_EQ(name, "");
  EXPECT_EQ(path, "");
}

TEST(PresetContextHandOffTest, TheModifiedFlagFollowsTheOrderOfThePublisher) {
  HandOff h;
  EXPECT_EQ(h.takeModified(), HandOff::cModifiedUnchanged);
  h.markModified();
  EXPECT_TRUE(h.isPending());
  EXPECT_EQ(h.takeModified(), HandOff::cModifiedSet);
  EXPECT_EQ(h.takeModified(), HandOff::cModifiedUnchanged);
  EXPECT_FALSE(h.isPending());

  // Changed, then a preset loaded: not modified.
  h.markModified();
  h.publish("P", "P.qvp");
  EXPECT_EQ(h.takeModified(), HandOff::cModifiedCleared);
  // A preset loaded, then changed: modified.
  h.publish("P", "P.qvp");
  h.markModified();
  EXPECT_EQ(h.takeModified(), HandOff::cModifiedSet);
}

TEST(PresetContextHandOffTest, PublishingAllocatesNothing) {
  HandOff h;
  const std::string name = "A preset name longer than any short string buffer";
  const std::string path = "Some/Folder/" + name + ".qvp";
  long allocations;
  {
    zarn::test::AllocationCounter counter;
    for (int i = 0; i < 10; ++i) {
      h.markModified();
      h.publish(name, path);
    }
    allocations = counter.count();
  }
  EXPECT_EQ(allocations, 0);
}

TEST(PresetContextHandOffThreadTest, TheTakerSeesWholeRecordsInPublishingOrder) {
  constexpr int cRecords = 20000;
  HandOff h;
  std::atomic<bool> done{false};
  std::thread publisher([&] {
    // Name and path of one record carry the same number, padded to
    // different lengths, so a record mixed from two would show.
    for (int i = 1; i <= cRecords; ++i) {
      const std::string n = std::to_string(i);
      h.publish(n, "Folder" + std::string(static_cast<size_t>(i % 7), '/') + n + ".qvp");
      if (i % 3 == 0) h.markModified();
    }
    done = true;
  });
  int last = 0, taken = 0, torn = 0, backwards = 0;
  std::string name, path;
  auto take = [&] {
    if (!h.takeNameAndPath(name, path)) return;
    ++taken;
    const int n = std::stoi(name);
    if (path != "Folder" + std::string(static_cast<size_t>(n % 7), '/') + name + ".qvp") ++torn;
    if (n <= last) ++backwards;
    last = n;
    h.takeModified();
  };
  while (!done.load()) take();
  publisher.join();
  take();
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(backwards, 0);
  EXPECT_GT(taken, 0);
  EXPECT_EQ(last, cRecords);
  EXPECT_FALSE(h.isPending());
}

} // namespace
