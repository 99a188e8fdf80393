// zarn-scene run as a program of its own: the timeline, and nothing else,
// on standard output (a timeline kept in a file or read by a script holds
// only events); every error on standard error, and the exit status says
// whether the run went through.

#include "tools/scene/Scene.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct ToolRun {
  int status = -1; // the exit status; -1 when it did not exit by itself
  std::string out, err;
};

// Runs zarn-scene with args, standard input empty, its two streams into
// files of dir.
ToolRun runTool(const std::vector<std::string>& args, const zarn::test::TempDir& dir) {
  std::vector<std::string> all{ZARN_SCENE_EXECUTABLE};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, dir.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, dir.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ToolRun r;
  int status = 0;
  if (spawned == 0 && zarn::test::awaitChild(pid, status, 60) && WIFEXITED(status)) r.status = WEXITSTATUS(status);
  r.out = dir.read("out");
  r.err = dir.read("err");
  return r;
}

// The timeline the library gives for script, one line each; its last line
// apart when it is an error.
std::string timelineOf(const std::string& script, std::string* error = nullptr) {
  std::istringstream in(script);
  std::vector<std::string> lines = scene::runScene(in);
  if (error && !lines.empty() && lines.back().rfind("error: ", 0) == 0) {
    *error = lines.back().substr(7);
    lines.pop_back();
  }
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

} // namespace

TEST(SceneToolTest, TheTimelineGoesToStandardOutputAndErrorsToStandardError) {
  zarn::test::TempDir dir("scene-tool");
  const std::string events = "move 40 60\nwait 1600\ndown 40 60\ndrag 40 50\nup 40 50\n";
  dir.write("whole.scene", events);
  dir.write("bad.scene", events + "wobble 1 2\nwait 10\n");
  dir.write("unsaved.scene", events + "snapshot " + dir.file("no-folder/s.png") + "\n");
  std::string badError, unsavedError;
  const std::string timeline = timelineOf(events);
  ASSERT_EQ(timelineOf(events + "wobble 1 2\n", &badError), timeline);
  ASSERT_EQ(badError, "line 6: unknown command wobble");
  ASSERT_EQ(timelineOf(events + "snapshot " + dir.file("no-folder/s.png") + "\n", &unsavedError), timeline);
  ASSERT_NE(unsavedError.find(dir.file("no-folder")), std::string::npos) << unsavedError;
  ASSERT_NE(timeline.find("knob value 60\n"), std::string::npos) << timeline;

  struct Case {
    const char* what;
    std::vector<std::string> args;
    int status;
    std::string out, err;
  };
  const std::vector<Case> cases = {
      {"a script that runs through", {dir.file("whole.scene")}, 0, timeline, ""},
      {"a line it cannot read: the timeline so far, then the error", {dir.file("bad.scene")}, 1, timeline,
       "zarn-scene: " + badError + "\n"},
      {"a snapshot it cannot write", {dir.file("unsaved.scene")}, 1, timeline, "zarn-scene: " + unsavedError + "\n"},
      {"a script that cannot be read", {dir.file("none.scene")}, 1, "",
       "zarn-scene: cannot read " + dir.file("none.scene") + "\n"},
      {"two scripts", {dir.file("whole.scene"), dir.file("bad.scene")}, 2, "", "usage: zarn-scene [SCRIPT]\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ToolRun r = runTool(c.args, dir);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
  }
  EXPECT_NE(::access(dir.file("no-folder").c_str(), F_OK), 0); // nothing was made for the snapshot
}
