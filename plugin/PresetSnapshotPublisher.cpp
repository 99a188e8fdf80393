#include "plugin/PresetSnapshotPublisher.h"

#include "base/Preset.h"
#include "plugin/GenericPlugin.h"

#include <algorithm>
#include <utility>

namespace {

// The publishers of the process, one per library. Only main threads come
// here (subscribe, unsubscribe), but instances made by two hosts in one
// process have two main threads.
std::mutex sPublishersLock;
std::vector<PresetSnapshotPublisher*> sPublishers;

} // namespace

const PresetLibrarySnapshot* PresetSnapshotPublisher::Subscriber::hold() {
  PresetSnapshotPublisher* publisher = mPublisher;
  if (!publisher) return nullptr;
  // Marked before it is used: once the mark stands and the pointer is still
  // the published one, no thread deletes it (reclaim looks at the mark
  // after the pointer was replaced, sequentially consistent with this).
  const PresetLibrarySnapshot* snapshot = publisher->mPublished.load();
  for (;;) {
    mHeld.store(snapshot);
    const PresetLibrarySnapshot* again = publisher->mPublished.load();
    if (again == snapshot) return snapshot;
    snapshot = again;
  }
}

PresetSnapshotPublisher::PresetSnapshotPublisher(PresetManager& library) : mLibrary(library) {
  mLibrary.addObserver(this);
}

PresetSnapshotPublisher::~PresetSnapshotPublisher() {
  // Waits for a notification in progress: a reading on another thread
  // finds no subscriber left and ends.
  mLibrary.removeObserver(this);
  delete mPublished.exchange(nullptr);
  for (const PresetLibrarySnapshot* retired : mRetired) delete retired;
}

void PresetSnapshotPublisher::subscribe(PresetManager& library, Subscriber& subscriber) {
  unsubscribe(subscriber);
  PresetSnapshotPublisher* publisher = nullptr;
  {
    std::lock_guard<std::mutex> lock(sPublishersLock);
    for (PresetSnapshotPublisher* p : sPublishers)
      if (&p->mLibrary == &library) publisher = p;
    if (!publisher) {
      publisher = new PresetSnapshotPublisher(library);
      sPublishers.push_back(publisher);
    }
    std::unique_lock<std::shared_mutex> subscribers(publisher->mSubscribersLock);
    publisher->mSubscribers.push_back(&subscriber);
    subscriber.mPublisher = publisher;
  }
  publisher->refresh();
}

void PresetSnapshotPublisher::unsubscribe(Subscriber& subscriber) {
  PresetSnapshotPublisher* publisher = subscriber.mPublisher;
  if (!publisher) return;
  bool last = false;
  {
    std::lock_guard<std::mutex> lock(sPublishersLock);
    std::unique_lock<std::shared_mutex> subscribers(publisher->mSubscribersLock);
    std::erase(publisher->mSubscribers, &subscriber);
    last = publisher->mSubscribers.empty();
    if (last) std::erase(sPublishers, publisher);
  }
  subscriber.mPublisher = nullptr;
  subscriber.mHeld.store(nullptr);
  if (last) delete publisher;
}

bool PresetSnapshotPublisher::isCurrent() const {
  return mPublishedGeneration.load() == static_cast<int64_t>(mLibrary.getGeneration());
}

void PresetSnapshotPublisher::presetLibraryReplaced(PresetManager& /*library*/) { refresh(); }

void PresetSnapshotPublisher::refresh() {
  while (!isCurrent()) {
    // Another thread reads: it looks at the generation again once it has
    // lowered the flag, and reads this rescan too.
    if (mReading.exchange(true)) break;
    bool read = true;
    while (read && !isCurrent()) read = this->read();
    mReading.store(false);
    if (!read) break;
  }
  reclaim();
}

bool PresetSnapshotPublisher::read() {
  std::vector<PresetLibrarySnapshot::Entry> entries;
  uint32_t generation = 0;
  {
    PresetManager::ReadAccess access(mLibrary, PresetManager::ReadAccess::wait);
    // Exact while the access stands: the trees are swapped only without
    // readers.
    generation = mLibrary.getGeneration();
    std::vector<Preset*> list;
    mLibrary.buildPresetList(list);
    entries.resize(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
      entries[i].name = list[i]->getName();
      entries[i].relativePath = mLibrary.getPresetPath(list[i]);
      entries[i].path = list[i]->getPath();
    }
  }
  for (PresetLibrarySnapshot::Entry& entry : entries)
    if (!readEntry(entry)) return false;

  const PresetLibrarySnapshot* replaced =
      mPublished.exchange(new PresetLibrarySnapshot(generation, std::move(entries)));
  mPublishedGeneration.store(generation);
  if (replaced) {
    std::lock_guard<std::mutex> lock(mRetiredLock);
    mRetired.push_back(replaced);
    mRetiredCount.store(mRetired.size());
  }
  return true;
}

bool PresetSnapshotPublisher::readEntry(PresetLibrarySnapshot::Entry& entry) {
  // The reader's instance stays subscribed while it reads this file.
  std::shared_lock<std::shared_mutex> lock(mSubscribersLock);
  if (mSubscribers.empty()) return false;
  if (!mSubscribers.front()->mReader.readPreset(entry.path, entry.data, entry.failure) &&
      entry.failure.kind == PresetLoadFailure::none)
    entry.failure.kind = PresetLoadFailure::refused;
  return true;
}

void PresetSnapshotPublisher::reclaim() {
  if (mRetiredCount.load() == 0) return;
  std::lock_guard<std::mutex> lock(mRetiredLock);
  std::shared_lock<std::shared_mutex> subscribers(mSubscribersLock);
  std::erase_if(mRetired, [this](const PresetLibrarySnapshot* retired) {
    for (const Subscriber* subscriber : mSubscribers)
      if (subscriber->mHeld.load() == retired) return false;
    delete retired;
    return true;
  });
  mRetiredCount.store(mRetired.size());
}
