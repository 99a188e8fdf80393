#include "tests/editor/EditorScene.h"
#include "tests/support/AllocationCounter.h"

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

namespace {

struct MidiCountingEditor : editortest::TestEditor {
  using TestEditor::TestEditor;
  void updateReceivedMidi() override { ++midiUpdates; }
  int midiUpdates = 0;
};

} // namespace

// A burst of the plug-in's events from the render thread, many more than
// the queue's 4096 preallocated nodes within one drain (a dense MIDI file,
// a controller sweep): posting them neither allocates nor locks, and the
// drain still leaves every control at its parameter's last value and tells
// of the MIDI received, burst after burst.
TEST(EditorListenerThreadTest, ABurstBeyondTheQueuesPoolCostsTheRenderThreadNothing) {
  EditorScene s;
  auto owned = std::make_unique<gui::MacInterface>(s.window, 0, gui::Rect(0, 0, 400, 300));
  s.ui = owned.get();
  auto* editor = new MidiCountingEditor(std::move(owned), s.plugin.get(), &s.bridge, "Background.png");
  s.editor = editor;
  constexpr int cBurst = 3000;
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    long allocations = -1, locks = -1;
    std::thread render([&] {
      zarn::test::AllocationCounter counter;
      s.plugin->pan.setValue(round == 0 ? -0.5f : 0.75f, 0);
      for (int i = 0; i < cBurst; ++i) {
        // A controller sweeping Level, each message lighting the MIDI
        // light; the host's "all parameters" now and then.
        s.plugin->postEventToListener(cMidiReceivedEvent, 0);
        s.plugin->level.setValue(static_cast<float>(i) / cBurst, 0);
        if (i % 100 == 0) s.plugin->postEventToListener(cParameterChangeEvent, -1);
      }
      allocations = counter.count();
      locks = counter.locks();
    });
    render.join();
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(locks, 0);
    const int midiBefore = editor->midiUpdates;
    s.runMs(60);
    EXPECT_NEAR(editor->levelKnob->getValue(), static_cast<float>(cBurst - 1) / cBurst, 1e-4);
    EXPECT_NEAR(editor->panKnob->getValue(), round == 0 ? 0.25f : 0.875f, 1e-4);
    EXPECT_GE(editor->midiUpdates, midiBefore + 1);
  }
}
