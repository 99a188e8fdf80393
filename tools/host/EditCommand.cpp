#include "tools/host/EditCommand.h"

#include "platform/Clock.h"
#include "platform/RunLoop.h"
#include "platform/WindowServer.h"
#include "platform/X11WindowServer.h"
#include "tools/host/CommandFiles.h"
#include "tools/host/EditorWindow.h"
#include "tools/host/HostState.h"
#include "tools/host/PacedRender.h"
#include "tools/host/PresetByName.h"
#include "tools/host/RenderCommand.h"
#include "tools/host/SimHost.h"
#include "tools/render/MidiFile.h"
#include "platform/ReplacingFile.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <functional>
#include <unistd.h>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace simhost {

namespace {

const char* const kEditHelp =
    "usage: zarn-host edit [options]\n"
    "Opens the plug-in's editor in a window and runs until the window is closed.\n"
    "  --bundle PATH        the plug-in bundle (default: the Zarn.bundle the build made)\n"
    "  --preset NAME        start from the plug-in's preset of that name\n"
    "  --load-state FILE    start from a state saved before\n"
    "  --save-state FILE    save the state when the window closes (may be the --load-state file)\n"
    "  --midi FILE          play this MIDI file in a loop meanwhile\n"
    "  --buffer-size N      render N frames per host buffer, a multiple of 32 up to 8192 (default 512)\n"
    "  --help               this text\n"
    "Needs an X display (DISPLAY); there is no audio output, the sound is rendered and dropped.\n";

constexpr double kSampleRate = 44100.0;
// How often the host's main thread gets its idle time while the editor is
// up: on a pass the window's own timers or events make anyway, once 20 ms
// have gone by since the last, and at the latest after 50 ms. An untouched
// window then wakes only for what is due in it.
constexpr int64_t kIdleMicroseconds = 50'000;
constexpr int64_t kIdleLeewayMicroseconds = 30'000;
// Where the editor's window asks to be put.
constexpr platform::ScreenPoint kEditorAt{80, 60};

// Interrupting the program in its terminal (Ctrl-C), closing that terminal
// (SIGHUP) or terminating the program closes the window as the window
// manager would, so the state is saved: the signal only writes a byte into
// a pipe the run loop watches. A signal the program was started to ignore
// (nohup) stays ignored.
int sStopPipe[2] = {-1, -1};
constexpr int kStopSignals[3] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void onStopSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(sStopPipe[1], &byte, 1);
  errno = saved;
}

class StopSignals {
public:
  StopSignals(platform::RunLoop& loop, std::function<void()> onStop) : loop(loop) {
    if (pipe2(sStopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction a {};
    a.sa_handler = onStopSignal;
    sigemptyset(&a.sa_mask);
    for (int i = 0; i < 3; ++i) {
      sigaction(kStopSignals[i], nullptr, &old[i]);
      if (old[i].sa_handler != SIG_IGN) sigaction(kStopSignals[i], &a, nullptr);
    }
    loop.watch(sStopPipe[0], [onStop = std::move(onStop)] {
      char bytes[16];
      while (read(sStopPipe[0], bytes, sizeof bytes) > 0) {
      }
      onStop();
    });
  }
  ~StopSignals() {
    if (sStopPipe[0] < 0) return;
    for (int i = 0; i < 3; ++i)
      if (old[i].sa_handler != SIG_IGN) sigaction(kStopSignals[i], &old[i], nullptr);
    loop.unwatch(sStopPipe[0]);
    close(sStopPipe[0]);
    close(sStopPipe[1]);
    sStopPipe[0] = sStopPipe[1] = -1;
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

private:
  platform::RunLoop& loop;
  struct sigaction old[3] = {};
};

int fail(std::ostream& err, const std::string& reason, int status = 1) {
  err << "zarn-host edit: " << reason << "\n";
  return status;
}

// How many names a kept state tries in one place before the next place.
constexpr int kMaxKeptNames = 100;

// Writes the state to path; when that fails (the folder went away or was
// closed to us while the window was open), keeps the session's work in a
// file beside it or else in the user's home folder. keptAt is where it went
// ("" when nowhere); error says why path was not written.
bool writeState(const HostState& state, const std::string& path, std::string& keptAt, std::string& error) {
  keptAt.clear();
  if (state.write(path, error, &keptAt)) {
    keptAt = path;
    return true;
  }
  // Kept whole beside it by the writer already (another save finished
  // first, or it was written into in place and failed): error says where.
  if (!keptAt.empty()) return false;
  std::vector<std::string> elsewhere{path + ".unsaved"};
  const char* home = std::getenv("HOME");
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (home && *home) elsewhere.push_back(std::string(home) + "/" + name + ".unsaved-" + std::to_string(::getpid()));
  // Under a name nothing has yet: what an earlier failed session kept there
  // is the user's too.
  for (const std::string& other : elsewhere)
    for (int n = 1; n <= kMaxKeptNames; ++n) {
      const std::string candidate = n == 1 ? other : other + "-" + std::to_string(n);
      bool taken = false;
      std::string ignored;
      if (state.writeNew(candidate, taken, ignored)) {
        keptAt = candidate;
        return false;
      }
      if (!taken) break;
    }
  return false;
}

} // namespace

bool parseEditOptions(const std::vector<std::string>& args, EditOptions& options, bool& help, std::string& error) {
  help = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      help = true;
      return false;
    }
    const size_t eq = arg.find('=');
    const std::string name = arg.substr(0, eq);
    std::string bufferSize;
    std::string* target = name == "--bundle"        ? &options.bundle
                          : name == "--preset"      ? &options.preset
                          : name == "--load-state"  ? &options.loadState
                          : name == "--save-state"  ? &options.saveState
                          : name == "--midi"        ? &options.midi
                          : name == "--buffer-size" ? &bufferSize
                                                    : nullptr;
    if (!target) {
      error = arg.size() > 1 && arg[0] == '-' ? "unknown option " + arg : "unexpected argument " + arg;
      return false;
    }
    if (eq != std::string::npos) {
      *target = arg.substr(eq + 1);
    } else if (i + 1 < args.size()) {
      *target = args[++i];
    } else {
      error = name + " needs a value";
      return false;
    }
    if (target->empty()) {
      error = name + " needs a value";
      return false;
    }
    if (target == &bufferSize) {
      char* end = nullptr;
      const long frames = std::strtol(bufferSize.c_str(), &end, 10);
      if (*end != '\0' || frames < 32 || frames > PacedRender::kMaxBufferFrames || frames % 32 != 0) {
        error = "--buffer-size must be a multiple of 32 from 32 to " + std::to_string(PacedRender::kMaxBufferFrames) +
                ", not " + bufferSize;
        return false;
      }
      options.bufferFrames = static_cast<int32_t>(frames);
    }
  }
  if (!options.preset.empty() && !options.loadState.empty()) {
    error = "--preset and --load-state exclude each other";
    return false;
  }
  return true;
}

int runEditCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  EditOptions options;
  bool help = false;
  std::string error;
  if (!parseEditOptions(args, options, help, error)) {
    if (help) {
      out << kEditHelp;
      return 0;
    }
    return fail(err, error + " (see zarn-host edit --help)", 2);
  }
  // Said now, not when the window closes on a session's work: a state
  // saved over the song or into the bundle, or a place that takes no file.
  const std::string bundle = options.bundle.empty() ? defaultBundlePath() : options.bundle;
  CommandFiles files(bundle, options.loadState, options.saveState);
  files.reads("--midi", options.midi);
  if (!files.check(error)) return fail(err, error, 2);
  if (!options.saveState.empty() && !platform::ReplacingFile::checkWritable(options.saveState, error))
    return fail(err, "--save-state: " + error);

  renderio::MidiFile song;
  if (!options.midi.empty() && !song.read(options.midi, kSampleRate)) return fail(err, song.error());
  // The state too is read before the display and the bundle are opened, so
  // that one that is no file, or no state, is refused at once.
  HostState loaded;
  if (!options.loadState.empty() && !loaded.read(options.loadState, error)) return fail(err, error);

  platform::RunLoop& loop = platform::RunLoop::main();
  std::string whyHeadless;
  std::unique_ptr<platform::WindowServer> server = platform::WindowServer::open(loop, &whyHeadless);
  if (!whyHeadless.empty()) return fail(err, "no display to open the editor on (" + whyHeadless + ")");

  try {
    if (bundle.empty()) return fail(err, "no bundle given and none was built");

    HostOptions hostOptions;
    hostOptions.sampleRate = static_cast<int32_t>(kSampleRate);
    SimHost host(hostOptions);
    if (int32_t status = host.load(bundle); status != 0)
      return fail(err, HostError("the bundle " + bundle + " did not start", status, host.failureWords(status)).what());
    if (host.numProcessTypes() < 1) return fail(err, "the bundle " + bundle + " has no process types");
    Instance& in = *host.createInstance(1);
    if (!loaded.empty() && !loaded.restore(host, in, error)) return fail(err, options.loadState + ": " + error);
    if (!options.preset.empty()) {
      HostState preset;
      int32_t index = 0;
      if (!PresetByName::load(host, in.typeIndex(), options.preset, preset, error, &index)) return fail(err, error);
      if (!preset.restore(host, in, error)) return fail(err, "preset \"" + options.preset + "\": " + error);
      if (!PresetByName::choose(host, in, index, options.preset, error)) return fail(err, error);
    }
    if (!options.midi.empty()) host.transport().setTempo(song.tempoMap().tempoAt(0.0));
    host.idle();

    PacedRender render(host, in, kSampleRate, options.midi.empty() ? nullptr : &song, options.bufferFrames);
    std::string keptAt;
    auto save = [&](std::string& why) {
      render.stop();
      if (options.saveState.empty()) return true;
      HostState state;
      if (!state.capture(host, in, why)) return false;
      if (writeState(state, options.saveState, keptAt, why)) return true;
      if (keptAt.empty())
        why += "; the state could not be kept anywhere";
      else if (why.find(keptAt) == std::string::npos)
        why += "; the state was kept in " + keptAt;
      return false;
    };

    platform::WindowServer::setCurrent(server.get());
    // A display that goes away takes the process with it: the state is saved
    // first.
    platform::X11WindowServer::setConnectionLostHandler([&] {
      std::string why;
      if (!save(why)) err << "zarn-host edit: " << why << "\n";
      err << "zarn-host edit: the connection to the display was lost\n" << std::flush;
    });

    bool closed = false;
    // A menu or dialog open meanwhile is cancelled, so the loop gets back.
    StopSignals signals(loop, [&] {
      closed = true;
      server->cancelModal();
    });

    // The host's road: the plug-in's view in a window on the display, the
    // window's port handed over, the editor on the window's root control.
    // Gestures go to the host's automation, which echoes them to the
    // plug-in when the host idles.
    auto editor = std::make_unique<EditorWindow>(host, in, *server, kEditorAt, "Zarn");
    server->setCloseHandler(editor->window(), [&] { closed = true; });

    const int64_t opened = platform::microseconds();
    render.start();
    const platform::RunLoop::TimerId idle = loop.addTimer(kIdleMicroseconds, kIdleMicroseconds, [&] { host.idle(); },
                                                             kIdleLeewayMicroseconds);
    loop.runUntil([&] { return closed; }, INT64_MAX / 4);
    loop.removeTimer(idle);
    // The editor closes while the render still runs and talks to it, as in
    // a host; then the render stops and the state is taken.
    editor.reset();
    host.idle();

    const bool saved = save(error);
    const double openSeconds = static_cast<double>(platform::microseconds() - opened) / 1e6;
    platform::X11WindowServer::setConnectionLostHandler(nullptr);
    platform::WindowServer::setCurrent(nullptr);
    host.idle();
    if (!saved) return fail(err, error);
    char line[128];
    std::snprintf(line, sizeof line, "rendered %.2f s of sound in %.2f s\n",
                  static_cast<double>(render.quanta()) * 32 / kSampleRate, openSeconds);
    out << line;
    if (!options.saveState.empty()) out << "saved the state to " << options.saveState << "\n";
    return 0;
  } catch (const std::exception& e) {
    platform::X11WindowServer::setConnectionLostHandler(nullptr);
    platform::WindowServer::setCurrent(nullptr);
    return fail(err, e.what());
  }
}

} // namespace simhost
