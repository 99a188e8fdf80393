// The plug-in instance's life cycle, the objects shared by all instances,
// registration of parameters and channels, and the plug-in's answers to the
// host's questions.

#include "plugin/GenericPlugin.h"

#include "base/Folders.h"
#include "base/PlatformPaths.h"
#include "base/PathUtils.h"
#include "base/PlatformUtils.h"
#include "base/PreferencesSerializer.h"
#include "base/PresetContext.h"
#include "base/PresetManager.h"
#include "base/SettingChangeFilter.h"
#include "base/VersionInfo.h"
#include "plugin/AbstractPluginParameter.h"
#include "plugin/ControllerMapping.h"
#include "plugin/MidiDecoder.h"
#include "plugin/DefaultEventReceiver.h"
#include "plugin/MidiVirtualPluginParameter.h"
#include "platform/Clock.h"
#include "platform/PreferencesStore.h"
#include "platform/TemporaryFiles.h"
#include "plugin/PresetFailureHandOff.h"
#include "plugin/PresetLibrarySnapshot.h"
#include "wave/Environment.h"

#include <cerrno>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>

namespace {

// The build day, month (1-12) and year, from the compiler's "Mmm dd yyyy".
constexpr int monthOf(const char* date) {
  constexpr const char* names = "JanFebMarAprMayJunJulAugSepOctNovDec";
  for (int m = 0; m < 12; ++m)
    if (date[0] == names[3 * m] && date[1] == names[3 * m + 1] && date[2] == names[3 * m + 2]) return m + 1;
  return 1;
}
constexpr int digit(char c) { return c >= '0' && c <= '9' ? c - '0' : 0; }
constexpr int cBuildDay = digit(__DATE__[4]) * 10 + digit(__DATE__[5]);
constexpr int cBuildMonth = monthOf(__DATE__);
constexpr int cBuildYear =
    digit(__DATE__[7]) * 1000 + digit(__DATE__[8]) * 100 + digit(__DATE__[9]) * 10 + digit(__DATE__[10]);

// The plug-in's bundle identifier as a system string, released on leaving
// the scope; null when the bundle has none.
class BundleIdentifier {
public:
  BundleIdentifier() {
    BundleRef bundle = getBundle();
    if (bundle && !bundle->identifier().empty()) mId = createCFString(bundle->identifier());
  }
  ~BundleIdentifier() { releasePlatformString(mId); }
  BundleIdentifier(const BundleIdentifier&) = delete;
  BundleIdentifier& operator=(const BundleIdentifier&) = delete;

  PlatformStringRef get() const { return mId; }

private:
  PlatformStringRef mId = nullptr;
};

// The settings as this process read them when its first instance started:
// at the end only what differs from them is written, so that what another
// process stored meanwhile is not put back to what was read here.
SettingChangeFilter::Record sSettingsAsRead;

} // namespace

VersionInfo* GenericPlugin::sVersionInfo = nullptr;
GenericPlugin::Settings* GenericPlugin::sSettings = nullptr;
PresetManager* GenericPlugin::sPresetManager = nullptr;
int GenericPlugin::sPresetFileVersion = 1;
int GenericPlugin::sInstances = 0;
bool GenericPlugin::sIdentityOnly = false;
ControllerMapping* GenericPlugin::sControllerMapping = nullptr;

GenericPlugin::Settings::Settings()
    : HelpFileName(nullptr, ""), SavePresetItemEnabled(nullptr, false), showInteractiveHelp(nullptr, true),
      showWelcomeHint(nullptr, false), ViewProgramNumbersEnabled(nullptr, false) {}

GenericPlugin::GenericPlugin(int channelCount)
    : mMidiQueue(cMidiQueueSize), mChannelCount(channelCount), mOutputs{}, mParameterQueue(cParameterQueueSize),
      mParameters(this) {
  // Seeded from the platform's calendar clock: the wall clock in a live
  // host, a fixed start in an offline render, which then repeats exactly.
  std::srand(static_cast<unsigned>(platform::calendarSeconds()));
}

GenericPlugin::~GenericPlugin() {
  // An instance that registered parameters but was never initialized (or
  // outlived nothing) leaves no limits of its own behind in the shared map.
  if (sControllerMapping) sControllerMapping->removeIndexLimits(this);
  // An instance initialized but not finalized; no render thread runs any
  // more.
  PresetSnapshotPublisher::unsubscribe(mPresetSnapshots);
}

void GenericPlugin::initialize(const std::string& productName, int maxBlockSize) {
  if (++sInstances == 1) {
    createSharedObjects(productName);
    initSharedObjects();
  }
  refreshControllerIndexLimits();
  // A block size of 0 would never advance the render position.
  mEnvironment = new wave::Environment(maxBlockSize < 1 ? 1 : maxBlockSize);
  mEnvironment->setSampleRate(44100.0f);
  mReceiver = createMusicEventReceiver();
  mMidiDecoder.emplace(mReceiver);
  mMainThread = std::this_thread::get_id();
  mPresetContextHandOff = std::make_unique<PresetContextHandOff>();
  mPresetFailureHandOff = std::make_unique<PresetFailureHandOff>();
  mPresetContext = new PresetContext();
  // The render thread's program changes read the library from here on.
  if (PresetManager* library = getPresetManager(-1)) PresetSnapshotPublisher::subscribe(*library, mPresetSnapshots);
  reportNewLibraryScan();
}

void GenericPlugin::finalize() {
  if (sControllerMapping) sControllerMapping->removeIndexLimits(this);
  // Before the library goes: the last instance deletes the shared snapshot.
  PresetSnapshotPublisher::unsubscribe(mPresetSnapshots);
  if (--sInstances == 0) releaseSharedObjects();
  delete mPresetContext;
  mPresetContext = nullptr;
  mPresetContextHandOff.reset();
  mPresetFailureHandOff.reset();
  mMidiDecoder.reset();
  delete mReceiver;
  mReceiver = nullptr;
  delete mEnvironment;
  mEnvironment = nullptr;
}

void GenericPlugin::createSharedObjects(const std::string& productName) {
  sSettings = new Settings();
  sVersionInfo = new VersionInfo(productName);
  sPresetManager = new PresetManager("", ".qvp");
  sControllerMapping = new ControllerMapping();
}

void GenericPlugin::initSharedObjects() {
  sVersionInfo->setBuildDate(cBuildDay, cBuildMonth, cBuildYear);
  removeStaleTemporaryFiles(false);
  if (!loadMidiSettings()) loadMidiFactorySettings();
  noteMidiMapAsStored();
  initializeGenericPlugin(this);
  removeStaleTemporaryFiles(true);
  if (sVersionInfo->isFirstRun()) installFirstRunFolders();
}

// A process killed while it wrote a file whole leaves its temporary file
// behind (platform/TemporaryFiles.h). Those that no writer holds any more
// (in whatever process) are removed from the folders the plug-in writes
// to: its data folder and the preferences folder (only the files of its
// own settings there, the folder being everyone's) before anything is
// read, and the preset library once the preferences have said where it is.
void GenericPlugin::removeStaleTemporaryFiles(bool presetLibrary) {
  if (presetLibrary) {
    if (sPresetManager) platform::removeStaleTemporaryFiles(sPresetManager->getFolderPath(), "", cPresetFolderDepth);
    return;
  }
  // The data folder holds the component presets' libraries too.
  platform::removeStaleTemporaryFiles(sVersionInfo->getDataFolder(), "", cPresetFolderDepth);
  platform::removeStaleTemporaryFiles(platform::PreferencesStore::folder(), sVersionInfo->getSettingsPath() + ".");
}

// The first run of an installation is over only once the factory presets
// and the application data are in the user's folders: an install that
// failed (a full disk, a folder that cannot be made) is said once, and the
// next start is a first run again and tries anew.
void GenericPlugin::installFirstRunFolders() {
  // An empty root names no folder; copying there would land in the working
  // folder.
  const std::string root = sPresetManager->getFolderPath();
  const std::string data = sVersionInfo->getDataFolder();
  std::string failure;
  bool installed = true;
  if (root.empty()) {
    failure = "no folder for the presets is known for this user";
    installed = false;
  } else if (!installFolderFromResource("FactoryPresets", root, &failure) || !createFolder(root)) {
    if (failure.empty()) failure = excludeTrailingPathDelimiter(root) + ": " + std::strerror(errno);
    installed = false;
  }
  std::string dataFailure;
  if (data.empty()) {
    dataFailure = "no data folder is known for this user";
    installed = false;
  } else if (!installFolderFromResource("ApplicationData", data, &dataFailure) || !createFolder(data)) {
    if (dataFailure.empty()) dataFailure = data + ": " + std::strerror(errno);
    installed = false;
  }
  // The factory presets ship in the bundle: until they are installed, the
  // plug-in offers them from there (the first sound is the same as after a
  // good install). The bundle's folder is never remembered as the user's: a
  // pending first run keeps the stored folder.
  std::string offered = root;
  if (!failure.empty()) {
    const std::string shipped = getResourcePath("FactoryPresets");
    if (!shipped.empty() && folderExists(shipped)) offered = includeTrailingPathDelimiter(shipped);
  }
  readPresetLibrary(offered);
  if (installed) return;
  sVersionInfo->keepFirstRunPending();
  std::string message = sVersionInfo->getProductName() + " could not install its factory files; it will try again "
                                                         "at the next start.";
  if (!failure.empty()) {
    message += " Presets: " + failure + ".";
    if (offered != root) message += " The factory presets are offered from the plug-in's bundle meanwhile.";
  }
  if (!dataFailure.empty()) message += " Application data: " + dataFailure + ".";
  alertOnce(message);
}

void GenericPlugin::readPresetLibrary(const std::string& folder) {
  if (!sPresetManager) return;
  if (sIdentityOnly)
    static_cast<PresetFolder*>(sPresetManager)->initialize(folder, 0);
  else
    sPresetManager->initialize(folder);
}

void GenericPlugin::releaseSharedObjects() {
  finalizeGenericPlugin(this);
  if (midiMapNeedsSaving()) saveMidiSettings();
  delete sControllerMapping;
  sControllerMapping = nullptr;
  delete sPresetManager;
  sPresetManager = nullptr;
  delete sVersionInfo;
  sVersionInfo = nullptr;
  delete sSettings;
  sSettings = nullptr;
}

void initializeGenericPlugin(GenericPlugin* plugin) {
  BundleIdentifier id;
  if (id.get()) registerHelpBook(id.get());
  {
    std::unique_ptr<SettingSerializer> reader(createSettingReader(GenericPlugin::sVersionInfo->getSettingsPath()));
    sSettingsAsRead.clear();
    SettingChangeFilter recorded(*reader, sSettingsAsRead);
    plugin->serialize(&recorded);
  }
  // The bundle's help book wins over the stored name.
  if (id.get()) GenericPlugin::sSettings->HelpFileName = getHelpBookName(id.get());
}

void alertOnce(const std::string& message) {
  static std::mutex lock;
  static std::set<std::string> said;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!said.insert(message).second) return;
  }
  showMessageDialog(message);
}

void reportPresetLibraryScan(const PresetManager& library) {
  const std::vector<std::string>& unreadable = library.getUnreadableFolders();
  if (!unreadable.empty()) {
    std::string message = unreadable.size() == 1 ? "A preset folder could not be read, so its presets are not listed: "
                                                 : std::to_string(unreadable.size()) +
                                                       " preset folders could not be read, so their presets are not "
                                                       "listed: ";
    for (size_t i = 0; i < unreadable.size() && i < 3; ++i) message += (i ? "; " : "") + unreadable[i];
    if (unreadable.size() > 3) message += "; and " + std::to_string(unreadable.size() - 3) + " more";
    alertOnce(message + ".");
  }
  if (!library.getScanStop().empty()) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", PresetManager::scanBudgetMs / 1000.0);
    alertOnce(std::string("Reading the preset library took longer than ") + seconds + " seconds and stopped at " +
              library.getScanStop() +
              ": the presets from there on are not listed. A link in the library to a large folder can be the cause.");
  }
}

bool finalizeGenericPlugin(GenericPlugin* plugin) {
  std::unique_ptr<SettingSerializer> writer(createSettingWriter(GenericPlugin::sVersionInfo->getSettingsPath()));
  // Only the settings changed since they were read; with none, the file is
  // not touched at all.
  SettingChangeFilter changes(*writer, sSettingsAsRead);
  plugin->serialize(&changes);
  // Committed here rather than by the destructor, which cannot tell.
  auto* preferences = dynamic_cast<PreferencesWriter*>(writer.get());
  if (!preferences || preferences->synchronize()) return true;
  alertOnce("The preferences could not be saved" + preferences->failure());
  return false;
}

AbstractMusicEventReceiver* GenericPlugin::createMusicEventReceiver() {
  return new DefaultEventReceiver(sControllerMapping, this);
}

int GenericPlugin::getCategory() { return 0; }
PresetManager* GenericPlugin::getPresetManager(int /*which*/) { return sPresetManager; }
int GenericPlugin::getType() { return 1; }
int GenericPlugin::getInterfaceHeight() { return 0; }
int GenericPlugin::getInterfaceWidth() { return 0; }
bool GenericPlugin::hasSideChain() { return false; }
int GenericPlugin::getPluginFlag() { return 0; }
void GenericPlugin::sync(float /*tempo*/, float /*position*/) {}

bool GenericPlugin::followsTransport() const { return true; }

int GenericPlugin::registerParameter(AbstractPluginParameter* parameter) {
  int index = mParameters.registerParameter(parameter);
  mHeldParameterChanges.addParameter();
  refreshControllerIndexLimits();
  return index;
}

// The shared controller map accepts only indexes that name something in one
// of its instances; a parameter registered after start-up must be learnable
// too, and an instance being built must not narrow what the others accept.
void GenericPlugin::refreshControllerIndexLimits() {
  if (sControllerMapping)
    sControllerMapping->setIndexLimits(this, getNumParameters(), static_cast<int>(mMidiVirtualParameters.size()));
}

void GenericPlugin::registerChannel(Channel* channel) { mChannels.push_back(channel); }

int GenericPlugin::registerMidiVirtualParameter(MidiVirtualPluginParameter* parameter) {
  mMidiVirtualParameters.push_back(parameter);
  refreshControllerIndexLimits();
  return cMidiVirtualParameterBase + static_cast<int>(mMidiVirtualParameters.size()) - 1;
}

void GenericPlugin::definePluginVersion(int /*version*/, const AbstractPluginParameter& last) {
  mParameterCountPerVersion.push_back(last.getIndex() + 1);
}

int GenericPlugin::getNumParametersForVersion(int version) const {
  if (version < 0 || version >= static_cast<int>(mParameterCountPerVersion.size())) return -1;
  return mParameterCountPerVersion[static_cast<size_t>(version)];
}

void GenericPlugin::learnMidi(int parameterIndex) {
  if (mReceiver) mReceiver->learn(parameterIndex);
}

void GenericPlugin::registerPluginAdapter(Adapter* adapter) { mAdapter.store(adapter, std::memory_order_release); }

PresetContext* GenericPlugin::getPresetContext() const {
  bringPresetContextUpToDate();
  return mPresetContext;
}

void GenericPlugin::applyPendingPresetContext() {
  bringPresetContextUpToDate();
  reportPendingPresetFailures();
  refreshPresetSnapshot();
}

void GenericPlugin::bringPresetContextUpToDate() const {
  if (!mPresetContext || !mPresetContextHandOff || mApplyingPresetContext || !isMainThread()) return;
  PresetContextHandOff& handOff = *mPresetContextHandOff;
  if (!handOff.isPending()) return;
  // The owners told below may read the context again; they see it as it is
  // being brought up to date, and what arrives meanwhile waits for the next
  // call.
  struct Applying {
    bool& flag;
    explicit Applying(bool& f) : flag(f) { flag = true; }
    ~Applying() { flag = false; }
  } applying(mApplyingPresetContext);
  // The texts first: the flag's change taken after them is at least as
  // recent.
  std::string name, path;
  if (handOff.takeNameAndPath(name, path)) {
    mPresetContext->presetName = name;
    mPresetContext->presetPath = path;
  }
  switch (handOff.takeModified()) {
  case PresetContextHandOff::cModifiedSet: mPresetContext->presetModified = true; break;
  case PresetContextHandOff::cModifiedCleared: mPresetContext->presetModified = false; break;
  case PresetContextHandOff::cModifiedUnchanged: break;
  }
}

void GenericPlugin::changeSampleRate(float rate) {
  if (!(rate > 0.0f) || !std::isfinite(rate)) return;
  prepareSampleRate(rate);
  // Release: what prepareSampleRate built is complete when the render
  // thread sees the rate.
  mPendingSampleRate.store(rate, std::memory_order_release);
}

void GenericPlugin::prepareSampleRate(float /*rate*/) {}
