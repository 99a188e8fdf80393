#include "tools/host/RenderCommand.h"

#include "platform/Clock.h"
#include "tools/host/CommandFiles.h"
#include "tools/host/ControlByName.h"
#include "tools/host/EditCommand.h"
#include "tools/host/HostInfo.h"
#include "tools/host/HostState.h"
#include "tools/host/MidiSongMap.h"
#include "tools/host/PresetByName.h"
#include "tools/host/PrintableName.h"
#include "tools/host/SimHost.h"
#include "tools/render/MidiFile.h"
#include "platform/ReplacingFile.h"
#include "tools/render/WavWriter.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <ostream>

#ifndef ZARN_DEFAULT_BUNDLE
#define ZARN_DEFAULT_BUNDLE ""
#endif

namespace simhost {
namespace {

constexpr int32_t kQuantum = 32;
constexpr int kMinRate = 8000, kMaxRate = 384000;
constexpr double kMaxTail = 600.0;
// The host's main thread gets its idle time this often, in samples, at the
// same places in every render so that two renders stay the same.
constexpr int64_t kIdleInterval = 8192;

const char* const kUsage = "usage: zarn-host render [options] INPUT.mid OUTPUT.wav\n"
                           "       zarn-host edit [options]\n"
                           "       zarn-host snapshot [options] OUT.png\n"
                           "       zarn-host info [--bundle PATH]\n";

const char* const kRenderHelp =
    "usage: zarn-host render [options] INPUT.mid OUTPUT.wav\n"
    "Plays a MIDI file through the plug-in and writes a 32-bit float stereo WAV file.\n"
    "  --bundle PATH        the plug-in bundle (default: the Zarn.bundle the build made)\n"
    "  --preset NAME        start from the plug-in's preset of that name (zarn-host info lists them;\n"
    "                       FOLDER/NAME chooses between presets of one name, /NAME the one\n"
    "                       at the library's top)\n"
    "  --set \"NAME=VALUE\"   set a parameter, in its own units (repeatable)\n"
    "  --rate HZ            sample rate (default 44100)\n"
    "  --tail SECONDS       release tail after the song's end (default 2)\n"
    "  --load-state FILE    start from a state saved before\n"
    "  --save-state FILE    save the state the song starts with\n"
    "  --quiet              print nothing but errors and warnings (no progress, summary or notes)\n"
    "  --help               this text\n"
    "The state is taken first, then the preset, then each --set. A program change in the song loads\n"
    "its preset over them, as in a host, even the preset already chosen; the render then says so once.\n"
    "The plug-in runs on a virtual clock, so two renders of the same input are the same to the sample.\n";

const char* const kInfoHelp =
    "usage: zarn-host info [--bundle PATH]\n"
    "Prints the bundle's identity, process types, controls and their value texts, chunks, the folder\n"
    "the plug-in reads its presets from, and the presets with the bank and program that choose each\n"
    "(the names --preset takes).\n"
    "  --bundle PATH        the plug-in bundle (default: the Zarn.bundle the build made)\n"
    "  --help               this text\n";

// Reads the options of a command: "--name VALUE" or "--name=VALUE" for
// those that take a value, "--" ends the options.
class ArgReader {
public:
  explicit ArgReader(const std::vector<std::string>& args) : mArgs(args) {}
  bool done() const { return mAt >= mArgs.size(); }
  const std::string& next() { return mArgs[mAt++]; }
  // For the option just read (name, or name=value): its value.
  bool value(const std::string& arg, std::string& value, std::string& error) {
    if (const size_t eq = arg.find('='); eq != std::string::npos) {
      value = arg.substr(eq + 1);
      return true;
    }
    if (done()) {
      error = arg + " needs a value";
      return false;
    }
    value = next();
    return true;
  }

private:
  const std::vector<std::string>& mArgs;
  size_t mAt = 0;
};

std::string optionName(const std::string& arg) { return arg.substr(0, arg.find('=')); }

bool parseNumber(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end && *end == '\0' && std::isfinite(value);
}

double toDecibels(float peak) { return peak > 0.0f ? 20.0 * std::log10(peak) : -INFINITY; }

int fail(std::ostream& err, const std::string& reason, int status = 1) {
  err << "zarn-host render: " << reason << "\n";
  return status;
}

// Writes the song's tempo and meter at a sample into the transport.
void followSong(Transport& transport, const renderio::TempoMap& map, double seconds) {
  transport.setTempo(map.tempoAt(seconds));
  const renderio::TempoMap::Meter& meter = map.meterAt(seconds);
  transport.setMeter(meter.numerator, meter.denominator);
}

// While it lives, the environment tells code loaded meanwhile (the bundle)
// to run the platform clock virtually from its fixed start: the plug-in's
// random seeds, taken from that clock, then repeat on every render.
class VirtualClockForLoading {
public:
  VirtualClockForLoading() {
    if (const char* v = std::getenv(platform::cVirtualClockVariable)) {
      mPrevious = v;
      mHadPrevious = true;
    }
    setenv(platform::cVirtualClockVariable, std::to_string(platform::cVirtualCalendarStart).c_str(), 1);
  }
  ~VirtualClockForLoading() {
    if (mHadPrevious)
      setenv(platform::cVirtualClockVariable, mPrevious.c_str(), 1);
    else
      unsetenv(platform::cVirtualClockVariable);
  }
  VirtualClockForLoading(const VirtualClockForLoading&) = delete;
  VirtualClockForLoading& operator=(const VirtualClockForLoading&) = delete;

private:
  std::string mPrevious;
  bool mHadPrevious = false;
};

std::string formatSeconds(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", s);
  return text;
}

// A program change in the song loads a whole preset over what the command
// line chose (the host passes the song on as it is, as a sequencer does).
// So that this is not silent, the instance's preset-name chunk is read
// after each quantum that carried a program change, and the next (a change
// the plug-in had to put off is applied there); the first time it shows
// another preset than the one the song started with, a warning says which,
// when, and what it took the place of. A change that loads the very preset
// again shows the same name: it is told by the controls, which the reload
// put back to the preset's own values, so that values the command line
// set over the preset (--set, or a state's without --preset) are said to be
// replaced; a reload that changes no value changes nothing heard, and is
// not said. Host side, between quanta: the plug-in's render path is not
// touched.
class SongPresetWatch {
public:
  // Watches only when the command line chose a sound; "" in replaced turns
  // it off. values names the values of the command line's own that a reload
  // of the same preset would replace ("" when there are none: a preset
  // alone).
  SongPresetWatch(SimHost& host, Instance& in, std::string replaced, std::string values)
      : mHost(host), mIn(in), mValues(std::move(values)) {
    if (replaced.empty()) return;
    std::vector<unsigned char> record;
    if (mHost.getChunk(mIn, PresetByName::kPresetNameChunkID, record) != 0) return;
    mStart = PresetByName::entryOf(0, record);
    mReplaced = std::move(replaced);
    mWatching = true;
  }
  // A program change was queued at sample.
  void programChange(int64_t sample) {
    if (!mWatching) return;
    // The values before the first of changes close together.
    if (mQuantaLeft == 0 && !mValues.empty()) mControlsBefore = controls();
    mChangeAt = sample;
    mQuantaLeft = 2;
  }
  // After each quantum: the warning's line, once, when the preset changed
  // or was loaded again over the command line's values; else "".
  std::string afterQuantum(double rate) {
    if (mQuantaLeft == 0) return {};
    --mQuantaLeft;
    std::vector<unsigned char> record;
    if (mHost.getChunk(mIn, PresetByName::kPresetNameChunkID, record) != 0) return {};
    const PresetByName::Entry now = PresetByName::entryOf(0, record);
    if (now.name.empty() || !now.loads()) return {};
    const std::string preset =
        "\"" + printableName(now.name) + "\"" + (now.path.empty() ? "" : " (" + PresetByName::pathName(now) + ")");
    const std::string at = formatSeconds(static_cast<double>(mChangeAt) / rate);
    if (now.name == mStart.name && now.stored == mStart.stored && now.path == mStart.path) {
      // The same preset; reloaded when the controls are back to its own.
      if (mValues.empty() || controls() == mControlsBefore) return {};
      mWatching = false;
      mQuantaLeft = 0;
      return "zarn-host render: warning: the song's program change at " + at + " reloads the preset " + preset +
             ": " + mValues + " are replaced by the preset's own\n";
    }
    mWatching = false;
    mQuantaLeft = 0;
    return "zarn-host render: warning: the song chooses the preset " + preset + " at " + at + ", in place of " +
           mReplaced + "\n";
  }

private:
  std::vector<int32_t> controls() const {
    std::vector<int32_t> values;
    const int32_t n = mHost.numControls(mIn);
    for (int32_t k = 1; k <= n; ++k) values.push_back(mHost.controlValue(mIn, k));
    return values;
  }

  SimHost& mHost;
  Instance& mIn;
  PresetByName::Entry mStart;
  std::string mReplaced, mValues;
  std::vector<int32_t> mControlsBefore;
  bool mWatching = false;
  int64_t mChangeAt = 0;
  int mQuantaLeft = 0;
};

// What the command line chose of the sound, in its own words; "" for
// nothing.
std::string chosenSound(const RenderOptions& options) {
  std::string text;
  if (!options.preset.empty())
    text = "--preset \"" + printableName(options.preset) + "\"";
  else if (!options.loadState.empty())
    text = "the state of --load-state";
  if (!options.settings.empty()) text += (text.empty() ? "" : " and ") + std::string("the values of --set");
  return text;
}

// The values the command line set over a preset, which the preset's own
// replace when the song loads it again; "" for none. A state's are only
// where no --preset replaced them already.
std::string valuesOverThePreset(const RenderOptions& options) {
  const bool state = !options.loadState.empty() && options.preset.empty(), set = !options.settings.empty();
  if (state && set) return "the values of --load-state and --set";
  if (state) return "the values of --load-state";
  if (set) return "the values of --set";
  return {};
}

} // namespace

std::string defaultBundlePath() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const std::filesystem::path beside = exe.parent_path() / ".." / ".." / "Zarn.bundle";
    if (std::filesystem::is_directory(beside, ec)) return beside.lexically_normal().string();
  }
  return ZARN_DEFAULT_BUNDLE;
}

bool parseRenderOptions(const std::vector<std::string>& args, RenderOptions& options, bool& help,
                        std::string& error) {
  help = false;
  ArgReader reader(args);
  std::vector<std::string> positional;
  bool optionsEnd = false;
  while (!reader.done()) {
    const std::string arg = reader.next();
    if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    const std::string name = optionName(arg);
    std::string value;
    if (arg == "--") {
      optionsEnd = true;
    } else if (arg == "--help" || arg == "-h") {
      help = true;
      return false;
    } else if (arg == "--quiet" || arg == "-q") {
      options.quiet = true;
    } else if (name == "--bundle" || name == "--preset" || name == "--set" || name == "--rate" || name == "--tail" ||
               name == "--load-state" || name == "--save-state") {
      if (!reader.value(arg, value, error)) return false;
      if (name == "--bundle") {
        options.bundle = value;
      } else if (name == "--preset") {
        if (value.empty()) {
          error = "--preset needs a name";
          return false;
        }
        options.preset = value;
      } else if (name == "--set") {
        ControlSetting setting;
        if (!parseControlSetting(value, setting, error)) return false;
        options.settings.push_back(value);
      } else if (name == "--rate") {
        double rate = 0.0;
        if (!parseNumber(value, rate) || rate != std::floor(rate) || rate < kMinRate || rate > kMaxRate) {
          error = "--rate " + value + " is not a whole number of hertz from " + std::to_string(kMinRate) + " to " +
                  std::to_string(kMaxRate);
          return false;
        }
        options.sampleRate = static_cast<int>(rate);
      } else if (name == "--tail") {
        double tail = 0.0;
        if (!parseNumber(value, tail) || tail < 0.0 || tail > kMaxTail) {
          error = "--tail " + value + " is not a number of seconds from 0 to " + std::to_string(int(kMaxTail));
          return false;
        }
        options.tailSeconds = tail;
      } else if (name == "--load-state") {
        options.loadState = value;
      } else {
        options.saveState = value;
      }
      if (value.empty() && name != "--bundle") {
        error = name + " needs a value";
        return false;
      }
    } else {
      error = "unknown option " + arg;
      return false;
    }
  }
  if (positional.size() != 2) {
    error = positional.size() < 2 ? "needs INPUT.mid and OUTPUT.wav" : "too many arguments: " + positional[2];
    return false;
  }
  // An empty name is no file: said as such, not as the folder it would
  // resolve to.
  if (positional[0].empty() || positional[1].empty()) {
    error = std::string("the name given for ") + (positional[0].empty() ? "INPUT.mid" : "OUTPUT.wav") + " is empty";
    return false;
  }
  options.input = positional[0];
  options.output = positional[1];
  return true;
}

int render(const RenderOptions& options, std::ostream& out, std::ostream& err) {
  const std::string bundle = options.bundle.empty() ? defaultBundlePath() : options.bundle;
  // A slip of the arguments must not replace a file the render reads (the
  // song becoming a state, a state becoming a WAV file).
  CommandFiles files(bundle, options.loadState, options.saveState);
  files.reads("INPUT.mid", options.input);
  files.writes("OUTPUT.wav", options.output);
  std::string clash;
  if (!files.check(clash)) return fail(err, clash, 2);

  // The inputs are read before the bundle loads: one that is no file, or
  // no song or state, is refused at once, and before anything the plug-in
  // would say.
  renderio::MidiFile song;
  if (!song.read(options.input, options.sampleRate)) return fail(err, song.error());
  std::string error;
  HostState loaded;
  if (!options.loadState.empty() && !loaded.read(options.loadState, error)) return fail(err, error);
  const int64_t total =
      song.lengthSamples() + static_cast<int64_t>(std::llround(options.tailSeconds * options.sampleRate));
  // A WAV file's sizes are 32 bits: known now, not after hours of rendering.
  if (const int64_t most = renderio::WavWriter::maxFrames(renderio::WavWriter::Encoding::Float32, 2); total > most)
    return fail(err, "the render would last " + formatSeconds(static_cast<double>(total) / options.sampleRate) +
                         ", past the 4 GiB a WAV file can hold (" +
                         formatSeconds(static_cast<double>(most) / options.sampleRate) + " of stereo at " +
                         std::to_string(options.sampleRate) + " Hz); give a lower --rate, a shorter --tail or song");
  // Said before the render, not after it: a folder, or a place that takes
  // no file.
  std::string unwritable;
  if (!platform::ReplacingFile::checkWritable(options.output, unwritable)) return fail(err, unwritable);
  if (!options.saveState.empty() && !platform::ReplacingFile::checkWritable(options.saveState, unwritable))
    return fail(err, "--save-state: " + unwritable);

  if (bundle.empty()) return fail(err, "no bundle given and none was built");

  HostOptions hostOptions;
  hostOptions.sampleRate = options.sampleRate;
  SimHost host(hostOptions);
  int32_t loadStatus = 0;
  {
    VirtualClockForLoading virtualClock;
    loadStatus = host.load(bundle);
  }
  if (int32_t status = loadStatus; status != 0)
    return fail(err, HostError("the bundle " + bundle + " did not start", status, host.failureWords(status)).what());
  if (host.numProcessTypes() < 1) return fail(err, "the bundle " + bundle + " has no process types");

  Instance& in = *host.createInstance(1);
  if (in.numOutputs() < 1) return fail(err, "the plug-in has no outputs");
  if (!loaded.empty() && !loaded.restore(host, in, error)) return fail(err, options.loadState + ": " + error);
  if (!options.preset.empty()) {
    HostState preset;
    if (!PresetByName::load(host, in.typeIndex(), options.preset, preset, error)) return fail(err, error);
    if (!preset.restore(host, in, error)) return fail(err, "preset \"" + options.preset + "\": " + error);
  }
  for (const std::string& text : options.settings) {
    ControlSetting setting;
    if (!parseControlSetting(text, setting, error) || !applyControlSetting(host, in, setting, error))
      return fail(err, error);
  }
  host.idle();
  if (!options.saveState.empty()) {
    HostState state;
    if (!state.capture(host, in, error) || !state.write(options.saveState, error)) return fail(err, error);
  }

  renderio::WavWriter wav;
  if (!wav.open(options.output, options.sampleRate, renderio::WavWriter::Encoding::Float32, 2))
    return fail(err, wav.error());
  // What was at the output path before stays there.
  auto abandon = [&](const std::string& reason) {
    wav.discard();
    return fail(err, reason);
  };

  const double rate = options.sampleRate;
  const renderio::TempoMap& map = song.tempoMap();
  const std::vector<renderio::MidiEvent>& events = song.events();
  size_t next = 0;

  const int32_t outputs = in.numOutputs();
  std::vector<std::vector<float>> buffers(static_cast<size_t>(outputs), std::vector<float>(kQuantum, 0.0f));
  std::vector<float*> outs;
  for (auto& b : buffers) outs.push_back(b.data());
  const float* left = buffers[0].data();
  const float* right = buffers[outputs > 1 ? 1 : 0].data();

  // The transport follows the song: its tempo and meter quantum by quantum,
  // its bar and beat positions from the song's own map.
  const MidiSongMap songMap(map, rate);
  struct SongMapScope {
    Transport& transport;
    ~SongMapScope() { transport.setSongMap(nullptr); }
  } scope{host.transport()};
  host.transport().setSongMap(&songMap);
  SongPresetWatch presetWatch(host, in, chosenSound(options), valuesOverThePreset(options));

  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  Clock::time_point lastReport = start;
  bool reported = false;
  float peak = 0.0f;
  // Samples beyond full scale: the float file keeps them, a fixed-point
  // copy of it would clip them.
  int64_t overs = 0;

  for (int64_t at = 0; at < total; at += kQuantum) {
    followSong(host.transport(), map, static_cast<double>(at) / rate);
    for (; next < events.size() && events[next].sample < at + kQuantum; ++next) {
      const renderio::MidiEvent& e = events[next];
      host.queueMidi(in, std::max<int64_t>(e.sample - at, 0), e.status, e.data1, e.data2,
                     static_cast<uint32_t>(e.size()));
      if ((e.status & 0xF0) == 0xC0) presetWatch.programChange(e.sample);
    }
    host.render(in, nullptr, outs.data(), kQuantum);
    if (const std::string warning = presetWatch.afterQuantum(rate); !warning.empty()) {
      // On a line of its own, after the progress line so far.
      err << (reported ? "\n" : "") << warning << std::flush;
    }
    const size_t frames = static_cast<size_t>(std::min<int64_t>(kQuantum, total - at));
    for (size_t i = 0; i < frames; ++i) {
      const float l = std::isfinite(left[i]) ? std::fabs(left[i]) : 0.0f;
      const float r = std::isfinite(right[i]) ? std::fabs(right[i]) : 0.0f;
      peak = std::max({peak, l, r});
      overs += (l > 1.0f ? 1 : 0) + (r > 1.0f ? 1 : 0);
    }
    if (!wav.writeStereo(left, right, frames)) return abandon(wav.error());
    if ((at + kQuantum) % kIdleInterval == 0) host.idle();

    if (!options.quiet) {
      const Clock::time_point now = Clock::now();
      if (now - lastReport >= std::chrono::seconds(1)) {
        lastReport = now;
        reported = true;
        err << "\rrendering: " << (at * 100 / std::max<int64_t>(total, 1)) << "% ("
            << formatSeconds(static_cast<double>(at) / rate) << " of " << formatSeconds(static_cast<double>(total) / rate)
            << ")" << std::flush;
      }
    }
  }
  if (reported) err << "\n";
  if (!wav.close()) return fail(err, wav.error());
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();

  // A note, not a fault: --quiet keeps it back. A clipped file is a loss.
  if ((overs > 0 && !options.quiet) || wav.clippedSamples() > 0) {
    char line[200];
    std::snprintf(line, sizeof line,
                  "zarn-host render: note: %lld samples beyond full scale, peak %.4f (%+.1f dBFS)%s\n",
                  static_cast<long long>(std::max(overs, wav.clippedSamples())), peak, toDecibels(peak),
                  wav.clippedSamples() > 0 ? ", clipped in the file" : "; the float file keeps them, a 24-bit copy would clip them");
    err << line;
  }
  if (wav.nonFiniteSamples() > 0)
    err << "zarn-host render: warning: " << wav.nonFiniteSamples() << " samples were not numbers and were written as 0\n";
  if (!options.quiet) {
    const double seconds = static_cast<double>(total) / rate;
    char line[256];
    std::snprintf(line, sizeof line, ": %.2f s (%lld samples at %d Hz), peak %.4f (%.1f dBFS), %.1fx real time\n",
                  seconds, static_cast<long long>(total), options.sampleRate, peak,
                  toDecibels(peak), elapsed > 0.0 ? seconds / elapsed : 0.0);
    out << printableName(options.output) << line;
  }
  return 0;
}

int runRenderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  RenderOptions options;
  bool help = false;
  std::string error;
  if (!parseRenderOptions(args, options, help, error)) {
    if (help) {
      out << kRenderHelp;
      return 0;
    }
    err << "zarn-host render: " << error << " (see zarn-host render --help)\n";
    return 2;
  }
  try {
    return render(options, out, err);
  } catch (const std::exception& e) {
    return fail(err, e.what());
  }
}

int runInfoCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  ArgReader reader(args);
  std::string bundle, error;
  std::vector<std::string> positional;
  while (!reader.done()) {
    const std::string arg = reader.next();
    if (arg == "--help" || arg == "-h") {
      out << kInfoHelp;
      return 0;
    }
    if (optionName(arg) == "--bundle") {
      if (!reader.value(arg, bundle, error)) {
        err << "zarn-host info: " << error << "\n";
        return 2;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      err << "zarn-host info: unknown option " << arg << " (see zarn-host info --help)\n";
      return 2;
    } else {
      positional.push_back(arg);
    }
  }
  // A word without an option is a slip (a bundle is given with --bundle):
  // it is refused, not taken for something.
  if (!positional.empty()) {
    err << "zarn-host info: unexpected argument " << positional[0]
        << "; give a bundle with --bundle PATH (see zarn-host info --help)\n";
    return 2;
  }
  if (bundle.empty()) bundle = defaultBundlePath();
  try {
    SimHost host;
    if (int32_t status = host.load(bundle); status != 0) {
      err << "zarn-host info: " << HostError("the bundle " + bundle + " did not start", status, host.failureWords(status)).what()
          << "\n";
      return 1;
    }
    printInfo(out, host, bundle);
    host.unload();
  } catch (const std::exception& e) {
    err << "zarn-host info: " << e.what() << "\n";
    return 1;
  }
  return 0;
}

int runHostCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << kUsage;
    return 2;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "render") return runRenderCommand(rest, out, err);
  if (args[0] == "info") return runInfoCommand(rest, out, err);
  if (args[0] == "edit") return runEditCommand(rest, out, err);
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    out << kUsage
        << "  render               plays a MIDI file through the plug-in into a WAV file\n"
           "  edit                 opens the plug-in's editor in a window, saves the state when it closes\n"
           "  snapshot             opens the editor without a display, plays a mouse script, writes a PNG\n"
           "  info                 prints the bundle's identity, controls, chunks and presets\n"
           "See zarn-host render --help, zarn-host edit --help, zarn-host snapshot --help and zarn-host info --help.\n";
    return 0;
  }
  err << "zarn-host: unknown command " << args[0] << " (see zarn-host --help)\n";
  return 2;
}

} // namespace simhost
