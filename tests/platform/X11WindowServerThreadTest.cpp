// A window on the display whose user interface hears from another thread
// (as an editor hears from the render thread) is closed by the window
// manager: the events reach the GUI thread through the display's run loop,
// and the close tears everything down cleanly.

#include "platform/X11WindowServer.h"

#include "gui/MacInterface.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/XPeer.h"
#include "tests/support/Xvfb.h"

#include <atomic>
#include <thread>

namespace {

struct Collector : gui::UserInterface::Listener {
  int got = 0;
  void receiveEvent(int, int) override { ++got; }
};

} // namespace

TEST(X11WindowServerThreadTest, ClosingWhileAnotherThreadPostsIsClean) {
  ZARN_REQUIRE_XVFB(zarn::test::Xvfb::shared());
  zarn::test::ScopedEnvironment display("DISPLAY", zarn::test::Xvfb::shared().display());
  platform::RunLoop loop;
  std::string why;
  auto server = platform::X11WindowServer::open(loop, why);
  ASSERT_TRUE(server) << why;
  platform::WindowServer::setCurrent(server.get());
  const platform::WindowId window = server->createWindow({60, 60, 260, 200}, true, "posting");
  auto ui = std::make_unique<gui::MacInterface>(window, 0, gui::Rect(0, 0, 200, 140));
  Collector collector;
  ui->registerListener(&collector);

  std::atomic<bool> posting{true};
  std::atomic<int> posted{0};
  gui::MacInterface* target = ui.get();
  std::thread poster([&] {
    while (posting.load()) {
      target->postEvent(1, posted.fetch_add(1));
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  bool closed = false;
  server->setCloseHandler(window, [&] {
    // As a host closing its editor: the thread stops talking to the
    // interface, then the interface and its window go.
    posting = false;
    poster.join();
    ui.reset();
    server->destroyWindow(window);
    closed = true;
  });

  zarn::test::XPeer peer(zarn::test::Xvfb::shared().display());
  const unsigned long xid = server->xWindow(window);
  // Deadlines, generous for a busy machine: the posts are heard, and the
  // close reaches the handler.
  EXPECT_TRUE(loop.runUntil([&] { return collector.got > 100; }, 20'000'000));
  peer.closeWindow(xid);
  EXPECT_TRUE(loop.runUntil([&] { return closed; }, 20'000'000));
  if (poster.joinable()) {
    posting = false;
    poster.join();
  }
  EXPECT_GT(collector.got, 100);
  EXPECT_LE(collector.got, posted.load());
  EXPECT_EQ(server->xWindow(window), 0u);
  loop.runFor(100'000); // nothing of the closed window is left to run
  platform::WindowServer::setCurrent(nullptr);
}
