#pragma once

// The host-independent plug-in object.
//
// A product derives from GenericPlugin: it supplies the identifier, builds
// its parameters (which register themselves as they are constructed), calls
// initialize, builds its signal graph on the instance's environment and
// overrides processSlice or connects channels. The host bridge registers
// itself as the Adapter and drives the instance; an open editor registers
// itself as the Listener.
//
// Threads. Two threads enter an instance: the host's main thread
// (initialization, host automation, editor edits, preset loads) and its
// render thread (process, receiveMidiMessage, and everything MIDI decoding
// triggers). Parameter changes and MIDI messages reach the render thread
// through lock-free queues; the adapter and the listener are called
// synchronously on the thread that made the change, which may be the render
// thread. process takes no lock, opens no file and allocates nothing, except
// when a queue's node pool must grow. A MIDI program change there applies
// values read from the library beforehand, into a snapshot every instance
// of the process shares (see PresetSnapshotPublisher). A product may hold
// the parameter changes back from its engine for a while
// (prepareParameterChanges); they are then taken off the queue and kept as
// the set of parameters that changed (HeldParameterChanges), whose values
// the engine reads from the parameters when they are let through, so the
// queue's pool does not grow however many arrive meanwhile.
//
// The thread that initializes an instance is its main thread. The preset
// context and the environment's sample rate are changed only where no other
// thread reads them at the same time: a preset loaded off the main thread
// leaves its name, path and modified flag in a hand-off that the main thread
// applies (applyPendingPresetContext, getPresetContext), and a new sample
// rate reaches the environment at the start of the next process call.
//
// Objects shared by every instance of the process (settings, product
// record, preset library, MIDI controller map) are made by the first
// initialize and released by the last finalize. A process may hold two
// hosts (a host and its plug-in scanner, two host bridges), and so two
// main threads that make and end instances at the same time: the count of
// instances, and the making and releasing of what they share, go under
// one lock, taken on those main-thread paths only (initialize, finalize,
// an instance that is not counted touching the shared controller map),
// never by process. An instance made while the last one ends finds the
// shared objects either whole or not yet made, never released under it.

#include "base/LockFreeQueue.h"
#include "base/PresetManager.h"
#include "base/Property.h"
#include "plugin/GenericParameterOwner.h"
#include "plugin/HeldParameterChanges.h"
#include "plugin/MidiDecoder.h"
#include "plugin/MidiMessage.h"
#include "plugin/ParameterCollection.h"
#include "plugin/PresetLoader.h"
#include "plugin/PresetSnapshotPublisher.h"
#include "wave/Component.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class AbstractMusicEventReceiver;
class AbstractPluginParameter;
class ControllerMapping;
class MidiVirtualPluginParameter;
class Preset;
class PresetContext;
class PresetContextHandOff;
class PresetFailureHandOff;
class PresetManager;
class SettingSerializer;
class VersionInfo;

namespace wave {
class Environment;
class Input;
class Producer;
} // namespace wave

// Codes of the events posted to the listener (postEvent code, value).
constexpr int cGeneralChangeEvent = -1024;   // the value given to notifyGeneralChange
constexpr int cParameterChangeEvent = -1025; // a parameter index, or -1 for all parameters
constexpr int cPresetChangeEvent = -1026;    // 0: a preset was loaded or saved
constexpr int cMidiReceivedEvent = -1027;    // 0: a MIDI message was received

// Bit of the flags of handleParameterChange and of every parameter's
// setValue: the change comes from the host, which is therefore not told
// about it again.
constexpr int cParameterChangeFromHost = 1;

class GenericPlugin : public GenericParameterOwner {
public:
  // At most this many host outputs are rendered.
  static constexpr int cMaxOutputs = 16;
  static constexpr int cParameterQueueSize = 8192;
  static constexpr int cMidiQueueSize = 1024;

  // The record that carries a parameter change to the render thread.
  struct ParameterChangeEvent {
    int32_t index; // as given by registration
    float value;   // natural units
  };

  // The host bridge.
  class Adapter {
  public:
    // index: the parameter that changed; -1 for all parameters.
    virtual void pluginParameterChange(int index) = 0;
    virtual void pluginPresetChange() = 0;

  protected:
    ~Adapter() = default;
  };

  // The editor. postEvent may be called on any thread, the render thread
  // included; an editor forwards each event to its own thread.
  class Listener {
  public:
    virtual void postEvent(int code, int value) = 0;

  protected:
    ~Listener() = default;
  };

  // One audio channel of an effect: a main input, a side-chain input (both
  // fed from host buffers) and the producer whose samples go out.
  class Channel {
  public:
    // Appends itself to the owner's channel list and builds its inputs on
    // the owner's environment, so the owner must be initialized first.
    explicit Channel(GenericPlugin* owner);
    // Deletes both inputs; the channel stays in the owner's list, so
    // channels are deleted only together with their plug-in.
    virtual ~Channel();

    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    // Called for every parameter change that reaches the engine.
    virtual void parameterChange(int index);

    void setInputBuffer(float* buffer, int count);
    void setSideChainBuffer(float* buffer, int count);
    void setOutput(wave::Producer* producer);

    // The output producer's samples for the environment's current block,
    // produced first (n samples) unless that was done already in this block
    // or flags bit 0 (a mute call) is set. Null when no producer is
    // connected or it has no block.
    const float* retrieveSamples(int n, int flags);

    wave::Input* getInput() const { return mInput; }
    wave::Input* getSideChainInput() const { return mSideChainInput; }
    wave::Producer* getOutput() const { return mOutput.input; }

  private:
    wave::Input* mInput;
    wave::Input* mSideChainInput;
    wave::Consumer mOutput;
  };

  // Settings that hold for every instance and every run of the host; each
  // field notifies its owner when its value changes.
  class Settings {
  public:
    Settings();
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    // Passes every setting to the serializer and keeps what comes back.
    void serialize(SettingSerializer* serializer);

    Property<std::string> HelpFileName;
    Property<bool> SavePresetItemEnabled;
    Property<bool> showInteractiveHelp;
    Property<bool> showWelcomeHint;
    Property<bool> ViewProgramNumbersEnabled;
  };

  // Shared by every instance of the process; see the top of this file.
  static VersionInfo* sVersionInfo;
  static Settings* sSettings;
  static PresetManager* sPresetManager;
  // The version written into and expected from preset files.
  static int sPresetFileVersion;
  static ControllerMapping* sControllerMapping;
  // Number of initialized instances, as the last initialize or finalize on
  // any thread left it.
  static int instanceCount();

  // Main thread, around making an instance that is only asked who the
  // plug-in is and then dropped (the host bridge's group does so before any
  // real instance). Should it make the objects every instance shares, their
  // preset library keeps its folder but is not read: a library that links
  // to a large tree would cost a whole scan for nothing. The instances that
  // follow read it. The scope holds for instances made on its own thread
  // only: another host's main thread reads the library as always.
  class IdentityOnlyScope {
  public:
    IdentityOnlyScope() { sIdentityOnlyThread.store(std::this_thread::get_id()); }
    ~IdentityOnlyScope() { sIdentityOnlyThread.store(std::thread::id()); }
    IdentityOnlyScope(const IdentityOnlyScope&) = delete;
    IdentityOnlyScope& operator=(const IdentityOnlyScope&) = delete;
  };

  // channelCount: the number of audio channels the product declares.
  explicit GenericPlugin(int channelCount);
  // Releases the instance's own lists and queues. Parameters, MIDI-only
  // parameters and channels belong to the product, which deletes them (and
  // calls finalize) first.
  virtual ~GenericPlugin();

  GenericPlugin(const GenericPlugin&) = delete;
  GenericPlugin& operator=(const GenericPlugin&) = delete;

  // Called once by the product's constructor after its parameters exist.
  // The first instance makes the shared objects. maxBlockSize: the longest
  // slice ever rendered at once (values below 1 are taken as 1).
  void initialize(const std::string& productName, int maxBlockSize);
  // Called by the product's destructor after its graph and channels are
  // gone. The last instance writes the preferences and the controller map
  // and releases the shared objects.
  void finalize();

  // ---- queries (virtual, with the product's answers)
  // 0..4; the host bridge maps it to a host plug-in category.
  virtual int getCategory();
  // The four-character plug-in identifier, also the tag of preset files.
  virtual std::string getIdentifier() = 0;
  // which: -1 means the plug-in's own library.
  virtual PresetManager* getPresetManager(int which = -1);
  // 1: effect; 0: instrument.
  virtual int getType();
  virtual int getInterfaceHeight();
  virtual int getInterfaceWidth();
  virtual bool hasSideChain();
  virtual int getPluginFlag();

  // ---- settings and the MIDI controller map file
  virtual void loadMidiFactorySettings();
  // True when the saved map was read completely.
  virtual bool loadMidiSettings();
  // Writes the map file (whether it changed or not: the editor's save);
  // false, said on the alert handler with the path and the reason, when it
  // could not be written. A damaged file found at start-up is kept beside
  // as "MidiControllerMap.qvm.damaged" (the first free "...damaged-N" when
  // an earlier copy is there); a file of another version, or
  // something that is no file, is never written over.
  virtual bool saveMidiSettings();
  virtual void serialize(SettingSerializer* serializer);

  // ---- rendering
  // Resets the sound state of the signal graph.
  virtual void reset();
  // Main thread: prepares the product for the rate (prepareSampleRate), then
  // hands the rate to the render thread: the environment takes it at the
  // start of the next process call, before any slice, so that it never
  // changes under a slice being rendered. Rates of 0 or below, infinite
  // rates and not-a-number are ignored.
  void changeSampleRate(float rate);
  // Main thread, from changeSampleRate before the hand-off: whatever the
  // product must build for a rate (which may allocate) before the render
  // thread uses it. Nothing here.
  virtual void prepareSampleRate(float rate);
  // Host tempo (beats per minute) and song position (beats), before each
  // buffer; nothing here.
  virtual void sync(float tempo, float position);
  // Render thread, before each buffer: whether sync would use the tempo and
  // the position now (true here). When it would not, the adapter spares the
  // host's transport queries and hands sync the last values it had.
  virtual bool followsTransport() const;
  // Binds host input buffers to the channels' inputs.
  virtual void connectInputs(float** inputs, int inputCount, int sampleCount);
  // Render thread: applies a program change that had to wait and the
  // queued parameter changes, renders the buffer in slices that end at each
  // queued MIDI message's offset (and where beginSlice says) and writes the
  // first 16 outputs.
  void process(float** inputs, int inputCount, float** outputs, int outputCount, int sampleCount);
  // Must set each of the first outputCount entries to a buffer of at least
  // sampleCount floats (or null, read as silence) that stays valid until the
  // next slice begins. The default pulls the channels' output producers.
  virtual void processSlice(const float** outputs, int outputCount, int sampleCount);
  // Render thread, before each slice of at most samples (after the MIDI
  // messages due there): does what the product has due at this sample and
  // returns the slice's length, 1..samples, shorter when it has something
  // of its own to do at a later sample (an event it plays later than it
  // came, say). Nothing, and samples, here.
  virtual int beginSlice(int samples) { return samples; }

  // ---- presets
  // True when the preset was applied; updates the preset context (on the
  // main thread; else through the hand-off) and tells the host and the
  // editor.
  bool loadPreset(Preset* preset);
  // Reads the preset into the parameters: readPreset, then
  // applyPresetData. False, with failure saying why, when nothing was
  // applied. Not for the render thread.
  virtual bool doLoadPreset(Preset* preset, PresetLoadFailure& failure);
  // Reads and checks the file at path, opening it once; false, with
  // failure saying why, when it cannot be applied. The default accepts
  // only files of sPresetFileVersion. Any thread but the render thread:
  // the shared preset snapshot is read on whichever thread rescanned the
  // library, with any one instance's reader.
  virtual bool readPreset(const std::string& path, PresetData& data, PresetLoadFailure& failure);
  // Applies what readPreset gave, inside one parameter batch. Allocates
  // nothing and opens nothing: the render thread calls it for a program
  // change.
  virtual void applyPresetData(const PresetData& data);
  // The file of exactly that version into the parameters; when not, and
  // failure is given, it says why.
  bool loadPresetWithVersion(Preset* preset, int version, PresetLoadFailure* failure = nullptr);
  bool loadPresetWithName(const std::string& name);
  // bank (0..cMaxProgramChangeBank) and program in the library order; false
  // when no preset was loaded now: there is none, it was refused, or the
  // change is deferred to the start of the next process call (off the main
  // thread while a load on the main thread is in progress; on any thread
  // while the library, rescanned, is being read again on another thread).
  // The values come from the shared preset snapshot: off the main thread
  // no file is opened, nothing is allocated, no lock is taken. One thread
  // besides the main thread calls it (the render thread, through MIDI
  // decoding).
  bool receiveProgramChange(int bank, int program);
  // Main thread: reads the library into the shared preset snapshot when it
  // was rescanned since the snapshot was read and no other thread is
  // reading it, and deletes the snapshots no render thread holds any more.
  // A rescan reads the library again by itself, on the thread that
  // rescanned; this catches up at initialize and at idle time
  // (applyPendingPresetContext).
  void refreshPresetSnapshot();
  // Main thread: says (once) what a scan of the library left out, when the
  // library was scanned since this instance last looked.
  void reportNewLibraryScan();
  static constexpr int cMaxProgramChangeBank = 16383;
  // True when the file was written.
  virtual bool savePreset(Preset* preset);
  static void setPresetFileVersion(int version) { sPresetFileVersion = version; }

  // ---- the sound of saved states
  // The version of the sound a state saved now holds (the host's stored
  // control values carry it); 0 before any change of sound.
  virtual int getStateVersion() const { return 0; }
  // After a state saved with an older version (fromVersion) was restored:
  // brings its values to what sounds the same now. Main thread.
  virtual void upgradeState(int /*fromVersion*/) {}
  // Main thread: makes the preset context show what other threads loaded
  // (name, path) and changed (the modified flag) since the last call, in
  // the order they did it, and tells the user of the preset files they
  // could not load. The host bridge calls it at idle time and before
  // chunks; getPresetContext calls it when asked on the main thread.
  // Elsewhere it does nothing.
  void applyPendingPresetContext();
  // Main thread: the alert's text for a file that could not be loaded. A
  // load that fails is reported to the user on the alert handler, once per
  // file for the whole process: at once on the main thread, else through a
  // hand-off at the main thread's next idle time.
  static std::string presetFailureMessage(const std::string& path, const PresetLoadFailure& failure);
  // A preset file this instance could not load: its full path, and why.
  struct PresetRefusal {
    std::string path;
    std::string reason;
  };
  // Main thread. While a host probes the library (it reads what each of its
  // program changes did), a file that cannot be loaded is kept for the host
  // instead of being reported to the user: the host says what it was asked
  // about. Switching either way forgets the kept refusal.
  void setPresetRefusalsToHost(bool toHost);
  // Main thread: whether a host probes the library now.
  bool presetRefusalsToHost() const { return mPresetRefusalsToHost; }
  // Main thread: the last refusal kept for the host; an empty path when
  // there is none.
  const PresetRefusal& getPresetRefusal() const { return mPresetRefusal; }

  // ---- parameters
  void handleParameterChange(int index, float value, int flags) override;
  int registerParameter(AbstractPluginParameter* parameter) override;
  void registerChannel(Channel* channel);
  // Returns the MIDI-only identifier (cMidiVirtualParameterBase + position).
  int registerMidiVirtualParameter(MidiVirtualPluginParameter* parameter);
  // Tells the shared controller map which indexes name a parameter.
  void refreshControllerIndexLimits();
  // Appends the number of parameters up to and including `last` as the
  // parameter count of the next plug-in version (version is not used).
  void definePluginVersion(int version, const AbstractPluginParameter& last);
  // -1 when the version was not defined.
  int getNumParametersForVersion(int version) const;

  // Brings the held parameter changes (in their order), then the queued
  // ones, to the engine.
  void processParameterChangeEvents();
  // Render thread: takes the queued changes off the queue and holds them
  // back from the engine, keeping which parameters changed; the next
  // processParameterChangeEvents brings each one's value as it is then.
  // Allocates nothing however many arrive.
  void holdParameterChangeEvents();
  // Render thread, where process begins and after a program change decoded
  // there: lets prepareParameterChanges start what must come first, then
  // holds the queued changes or brings them to the engine.
  void handOverParameterChanges();
  // Render thread, before the queued parameter changes are handed to the
  // engine: a product that must first end what they would cut off starts
  // that here (fading voices out, say), and returns true while the changes
  // must wait; they are held meanwhile, and the product brings them with
  // processParameterChangeEvents when done. False here.
  virtual bool prepareParameterChanges() { return false; }
  // Hands every parameter's current value to the engine, in index order.
  void updateParameters();
  // Called on the render thread for every change that reached the engine;
  // the default tells every channel.
  virtual void parameterChange(int index);
  // Batches of parameter changes nest; the outermost end announces all
  // parameters once when anything changed inside.
  void beginParameterUpdate();
  void endParameterUpdate();
  // A learned MIDI controller moved: sets the parameter, or passes the value
  // to the MIDI-only parameter, from a normalized value.
  void receiveMidiParameterMessage(int index, float normalized);
  // Null when index names no MIDI-only parameter.
  MidiVirtualPluginParameter* getMidiVirtualParameterFromParameterIndex(int index) const;

  // ---- MIDI
  // Any thread; queued for process. Dropped when the queue is full.
  void receiveMidiMessage(const MidiMessage& message);
  // The next controller received is mapped to the parameter; -1 cancels.
  void learnMidi(int parameterIndex);

  // ---- notification
  void registerPluginAdapter(Adapter* adapter);
  // Stores the listener (null detaches), then waits until no call to the
  // previous one is in progress: after it returns the previous listener may
  // be deleted.
  void setListener(Listener* listener);
  void notifyGeneralChange(int value);
  void postEventToListener(int code, int value);

  // ---- access
  int getChannelCount() const { return mChannelCount; }
  const std::vector<Channel*>& getChannels() const { return mChannels; }
  ParameterCollection& getParameters() { return mParameters; }
  const ParameterCollection& getParameters() const { return mParameters; }
  int getNumParameters() const { return mParameters.size(); }
  // Null when index names no registered parameter.
  AbstractPluginParameter* getParameter(int index) const { return mParameters.get(index); }
  const std::vector<MidiVirtualPluginParameter*>& getMidiVirtualParameters() const {
    return mMidiVirtualParameters;
  }
  wave::Environment* getEnvironment() const { return mEnvironment; }
  // On the main thread the context is brought up to date first, so its
  // readers there see what the render thread loaded. Other threads must
  // not read its texts.
  PresetContext* getPresetContext() const;
  MidiDecoder* getMidiDecoder() { return mMidiDecoder ? &*mMidiDecoder : nullptr; }
  AbstractMusicEventReceiver* getMusicEventReceiver() const { return mReceiver; }
  Adapter* getAdapter() const { return mAdapter.load(std::memory_order_acquire); }
  Listener* getListener() const { return mListener.load(); }
  int getUpdateDepth() const { return mUpdateDepth.load(); }

protected:
  // The receiver MIDI decoding calls; the default binds the shared
  // controller map and this plug-in.
  virtual AbstractMusicEventReceiver* createMusicEventReceiver();
  // Made by the first initialize. Products that share objects of their own
  // override both and call these.
  virtual void createSharedObjects(const std::string& productName);
  virtual void releaseSharedObjects();

  // Sets the preset context's modified flag, notifying its owner once (off
  // the main thread: through the hand-off).
  void markPresetModified();
  // Whether the calling thread is the one that initialized the instance.
  bool isMainThread() const { return std::this_thread::get_id() == mMainThread; }

  // While set, incoming MIDI is ignored; nothing sets it at present.
  bool mMidiBlocked = false;

private:
  friend void initializeGenericPlugin(GenericPlugin* plugin);
  friend bool finalizeGenericPlugin(GenericPlugin* plugin);

  void initSharedObjects();
  void installFirstRunFolders();
  // Removes the temporary files no writer holds any more from the data and
  // preferences folders, or from the preset library.
  static void removeStaleTemporaryFiles(bool presetLibrary);
  // How deep below the library's root (and the data folder) the start-up
  // sweep looks.
  static constexpr int cPresetFolderDepth = 6;
  // The shared map as it was last read or saved, and whether the last
  // instance must write it: only when this process changed it, or when the
  // user has no readable copy yet (see GenericPluginSettings.cpp). Another
  // process's map is not put back to what was read here.
  static void noteMidiMapAsStored();
  static bool midiMapNeedsSaving();
  void decodeMidiMessage(const MidiMessage& message);
  // Makes the preset the current one (see loadPreset) and tells the host
  // and the editor.
  void announcePreset(const std::string& name, const std::string& relativePath);
  // Applies the file inside one batch; true when it was applied. A failure
  // is reported (see presetFailureMessage).
  bool applyPreset(Preset* preset);
  // Main thread: the reports other threads handed over, each shown once
  // per file.
  void reportPendingPresetFailures();
  // Scans the shared library from folder, unless an IdentityOnlyScope
  // stands: then it only takes the folder.
  static void readPresetLibrary(const std::string& folder);
  // The thread an IdentityOnlyScope stands on (none: the default id). Not
  // a thread-local: the bundle keeps none (see ZarnBundleTest).
  static std::atomic<std::thread::id> sIdentityOnlyThread;
  // Guarded by the shared objects' lock (see GenericPlugin.cpp).
  static int sInstances;
  // Main thread: tells the user of a file that could not be loaded (once
  // per file), or keeps it for a host that probes.
  void reportPresetFailure(const std::string& path, const PresetLoadFailure& failure);
  // Render thread, first thing in process.
  void applyPendingSampleRate();
  // A program change that met a load on another thread, or a library
  // rescanned since the snapshot was read, waits here for the next process
  // call.
  void deferProgramChange(int bank, int program);
  void applyDeferredProgramChange();
  // applyPendingPresetContext; const for getPresetContext, which changes
  // only the context and the hand-off, not the instance.
  void bringPresetContextUpToDate() const;
  // Applies the program change from the shared snapshot, or defers it while
  // the snapshot is out of date or, off the main thread, a load on another
  // thread is in progress.
  bool applyProgramFromSnapshot(int bank, int program);
  // Applies and announces the snapshot's preset of that bank and program;
  // false when it has none or refused it (then reported).
  bool applyProgramEntry(const PresetLibrarySnapshot* snapshot, int bank, int program);

  // Held by every thread but the render thread while it applies, announces
  // or saves a preset: waits for the preset lock, then for the render
  // thread to finish a program change it is applying, and keeps the render
  // thread's program changes deferred until it ends.
  class PresetScope {
  public:
    explicit PresetScope(GenericPlugin& plugin);
    ~PresetScope();
    PresetScope(const PresetScope&) = delete;
    PresetScope& operator=(const PresetScope&) = delete;

  private:
    GenericPlugin& mPlugin;
    std::lock_guard<std::recursive_mutex> mLock;
  };

  std::atomic<Adapter*> mAdapter{nullptr};
  std::vector<Channel*> mChannels;
  wave::Environment* mEnvironment = nullptr;
  std::atomic<Listener*> mListener{nullptr};
  std::atomic<int32_t> mListenerInUse{0};
  // Held in place: the decoder has no virtual destructor.
  std::optional<MidiDecoder> mMidiDecoder;
  lockfree::Queue<MidiMessage> mMidiQueue;
  std::vector<MidiVirtualPluginParameter*> mMidiVirtualParameters;
  AbstractMusicEventReceiver* mReceiver = nullptr;
  int32_t mChannelCount;
  std::vector<int32_t> mParameterCountPerVersion;
  const float* mOutputs[cMaxOutputs];
  lockfree::Queue<ParameterChangeEvent> mParameterQueue;
  // Render thread: what holdParameterChangeEvents took off the queue.
  HeldParameterChanges mHeldParameterChanges;
  ParameterCollection mParameters;
  std::atomic<int32_t> mUpdateDepth{0};
  // Written by both batch ends and by changes from any thread.
  std::atomic<bool> mUpdatePending{false};
  PresetContext* mPresetContext = nullptr;
  // Filled off the main thread, emptied on it; made with the context.
  std::unique_ptr<PresetContextHandOff> mPresetContextHandOff;
  // Filled off the main thread, emptied on it; made with the context.
  std::unique_ptr<PresetFailureHandOff> mPresetFailureHandOff;
  // Main thread only.
  bool mPresetRefusalsToHost = false;
  PresetRefusal mPresetRefusal;
  // Main thread only: an owner told of a change while the pending changes
  // are applied may ask for the context again; that must not apply newer
  // changes before the older ones are complete.
  mutable bool mApplyingPresetContext = false;
  std::thread::id mMainThread;
  // 0: no new rate.
  std::atomic<float> mPendingSampleRate{0.0f};
  // Held while a preset is applied and announced (and saved) by any thread
  // but the render thread (PresetScope).
  std::recursive_mutex mPresetLock;
  // The render thread's side of the exclusion, without a lock: each side
  // raises its own flag, then looks at the other's (sequentially
  // consistent, so at least one sees the other). The render thread backs
  // off and defers; a PresetScope waits for the render thread to finish.
  std::atomic<int32_t> mPresetScopes{0};
  std::atomic<bool> mRenderApplyingPreset{false};
  // This instance among the readers of its library's shared snapshot,
  // from initialize to finalize; the snapshot its program changes hold.
  PresetSnapshotPublisher::Subscriber mPresetSnapshots{*this};
  // Main thread: the library's generation reportNewLibraryScan looked at.
  int64_t mReportedScanGeneration = -1;
  // bank << 8 | program of a deferred program change; -1 for none.
  std::atomic<int32_t> mDeferredProgramChange{-1};
};

// Says the message on the alert handler, unless this process said the same
// already: a host that builds and drops instances (a temporary one to read
// the plug-in's names, then the real ones) hears of a failure once.
void alertOnce(const std::string& message);
// Says, once, what the last scan of the library left out: the folders that
// could not be read, and where the scan's time ran out. Main thread.
void reportPresetLibraryScan(const PresetManager& library);

// The first instance's start-up: registers the bundle's help book, reads
// the preferences into the plug-in's serialize, and lets the bundle's help
// book name win over the stored one.
void initializeGenericPlugin(GenericPlugin* plugin);
// The last instance's end: writes the preferences from serialize. False,
// said on the alert handler with the file and the reason, when they could
// not be written.
bool finalizeGenericPlugin(GenericPlugin* plugin);
