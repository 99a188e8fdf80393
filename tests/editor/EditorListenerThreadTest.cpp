#include "tests/editor/EditorScene.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using editortest::EditorScene;

// The render thread tells the editor of every MIDI message while editors
// come and go on the main thread: an editor is the plug-in's listener only
// while it is whole, and its destructor waits for a call still running.
TEST(EditorListenerThreadTest, EditorsComeAndGoWhileTheRenderThreadPosts) {
  EditorScene s;
  std::atomic<bool> stop{false};
  std::atomic<int> posted{0};
  std::thread render([&] {
    while (!stop.load()) {
      s.plugin->postEventToListener(cMidiReceivedEvent, 0);
      s.plugin->postEventToListener(cParameterChangeEvent, 0);
      posted.fetch_add(1);
      std::this_thread::yield();
    }
  });
  for (int i = 0; i < 20; ++i) {
    s.open();
    s.runMs(60);
    s.close();
    EXPECT_EQ(s.plugin->getListener(), nullptr);
  }
  stop = true;
  render.join();
  EXPECT_GT(posted.load(), 0);
}
