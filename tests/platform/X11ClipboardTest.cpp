// The display's clipboard through the X11 window server, with another
// program (xclip) on the other side: what it copies, the server reads, as
// UTF-8 or as Latin-1; what the server copies, it pastes, in both forms; and
// a later copy elsewhere replaces the server's.

#include "tests/support/XPeer.h"

#include "platform/X11WindowServer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/Waiting.h"
#include "tests/support/Xvfb.h"

#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <future>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

bool haveXclip() { return std::system("command -v xclip >/dev/null 2>&1") == 0; }

// xclip holding the clipboard with `bytes` offered as `target`, until
// stopped.
class ClipboardOwner {
public:
  ClipboardOwner(const std::string& bytes, const std::string& target) {
    int in[2];
    if (pipe(in) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args{"xclip", "-quiet", "-selection", "clipboard", "-t", target, "-i"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&pid, "xclip", &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    if (write(in[1], bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) ADD_FAILURE();
    close(in[1]);
  }
  ~ClipboardOwner() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    zarn::test::awaitChild(pid, status);
  }
  pid_t pid = -1;
};

// What xclip pastes from the clipboard as `target`.
std::string Paste(const std::string& target) {
  const std::string command = "xclip -selection clipboard -t " + target + " -o 2>/dev/null";
  FILE* out = popen(command.c_str(), "r");
  std::string text;
  char buffer[256];
  for (size_t n; out && (n = fread(buffer, 1, sizeof buffer, out)) > 0;) text.append(buffer, n);
  if (out) pclose(out);
  return text;
}

class X11ClipboardTest : public ::testing::Test {
protected:
  void SetUp() override {
    ZARN_REQUIRE_XVFB(zarn::test::Xvfb::shared());
    if (!haveXclip()) {
      const char* ci = std::getenv("CI");
      if (ci && std::string(ci) == "true") FAIL() << "xclip is missing";
      GTEST_SKIP() << "xclip is not installed";
    }
    display = std::make_unique<zarn::test::ScopedEnvironment>("DISPLAY", zarn::test::Xvfb::shared().display());
    std::string why;
    server = platform::X11WindowServer::open(loop, why);
    ASSERT_TRUE(server) << why;
    peer = std::make_unique<zarn::test::XPeer>(zarn::test::Xvfb::shared().display());
    clipboard = XInternAtom(peer->dpy, "CLIPBOARD", False);
  }
  // Waits until the clipboard has an owner (with `none`: has none).
  bool awaitOwner(bool none = false) {
    return zarn::test::eventually([&] { return (XGetSelectionOwner(peer->dpy, clipboard) == None) == none; });
  }
  // Pastes with xclip while the server answers from its event loop.
  std::string PasteServed(const std::string& target) {
    std::future<std::string> pasted = std::async(std::launch::async, Paste, target);
    while (pasted.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) server->processPendingEvents();
    return pasted.get();
  }

  platform::RunLoop loop;
  std::unique_ptr<zarn::test::ScopedEnvironment> display;
  std::unique_ptr<platform::X11WindowServer> server;
  std::unique_ptr<zarn::test::XPeer> peer;
  Atom clipboard = None;
};

TEST_F(X11ClipboardTest, ServerReadsWhatAnotherProgramCopiedAsUtf8OrLatin1) {
  {
    ASSERT_TRUE(awaitOwner(true));
    ClipboardOwner owner("Grüße aus xclip ✓", "UTF8_STRING");
    ASSERT_TRUE(awaitOwner());
    EXPECT_EQ(server->clipboardText(), "Grüße aus xclip ✓");
  }
  {
    ASSERT_TRUE(awaitOwner(true));
    // A program that offers only Latin-1 bytes: read as the same letters.
    ClipboardOwner owner("Gr\xFC\xDF" "e", "STRING");
    ASSERT_TRUE(awaitOwner());
    EXPECT_EQ(server->clipboardText(), "Grüße");
  }
  {
    ASSERT_TRUE(awaitOwner(true));
    // Nothing the server can read as text.
    ClipboardOwner owner("\x89PNG", "image/png");
    ASSERT_TRUE(awaitOwner());
    EXPECT_EQ(server->clipboardText(), std::nullopt);
  }
}

TEST_F(X11ClipboardTest, AnotherProgramPastesWhatTheServerCopiedUntilItCopiesItself) {
  server->setClipboardText("Zarn ✓ -3 dB");
  EXPECT_EQ(server->clipboardText(), "Zarn ✓ -3 dB"); // its own, without asking
  EXPECT_EQ(PasteServed("UTF8_STRING"), "Zarn ✓ -3 dB");
  EXPECT_EQ(PasteServed("STRING"), "Zarn ? -3 dB"); // Latin-1 has no check mark
  const std::string targets = PasteServed("TARGETS");
  EXPECT_NE(targets.find("UTF8_STRING"), std::string::npos) << targets;

  const ::Window ours = XGetSelectionOwner(peer->dpy, clipboard);
  ClipboardOwner other("copied later", "UTF8_STRING");
  ASSERT_TRUE(zarn::test::eventually([&] { return XGetSelectionOwner(peer->dpy, clipboard) != ours; }));
  // The server hears that it lost the clipboard once the display's word
  // reaches it, and from then on reads the new owner's text.
  std::optional<std::string> text;
  zarn::test::eventually([&] {
    server->processPendingEvents();
    text = server->clipboardText();
    return text == "copied later";
  });
  EXPECT_EQ(text, "copied later");
}

} // namespace
