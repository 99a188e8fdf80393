#pragma once

// One PresetLibrarySnapshot per preset library, shared by every plug-in
// instance of the process.
//
// A MIDI program change on the render thread applies a preset read
// beforehand into a snapshot. Reading a library means opening and reading
// every preset file in it, and a library of a few thousand presets takes a
// good part of a second and several megabytes. The instances of a process
// all use one library and read its files the same way (the product's
// GenericPlugin::readPreset), so they share what was read: the first
// instance to subscribe reads the library, those made after it find the
// snapshot ready. The publisher observes the library, so after a rescan
// the thread that rescanned reads it again at once, one time for every
// instance, and the new snapshot is published to every render thread from
// there: nothing waits for an instance's main thread to come back at idle
// time (a host may make instances on a worker thread that never does).
//
// Reading. The library's list is copied under a PresetManager::ReadAccess;
// the files are then read without holding the library. Each file is read by
// one subscribed instance's readPreset, and that instance cannot leave
// while the file is read (an instance that joins or leaves waits for at
// most that one file); nothing else waits for a reading. When another thread is
// reading already, refresh returns at once, and the thread that reads looks
// at the library's generation again when it is done, so that a rescan made
// meanwhile is read too.
//
// Retiring. A replaced snapshot is deleted once no render thread holds it:
// each subscriber is a hazard pointer, marked while its render thread reads
// a snapshot (Subscriber::hold). Replaced snapshots are deleted by the
// thread that publishes, or by the next refresh or reclaim that finds them
// let go of; never by a render thread. The last subscriber to leave deletes
// the publisher with every snapshot.
//
// Threads. subscribe and unsubscribe: an instance's main thread. refresh
// and reclaim: any thread but a render thread (the library's notification
// comes on whichever thread rescanned). Subscriber::hold and release: the
// one thread that applies the instance's program changes; they allocate
// nothing and take no lock.

#include "base/PresetManager.h"
#include "plugin/PresetLibrarySnapshot.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <vector>

class GenericPlugin;

class PresetSnapshotPublisher final : private PresetManager::Observer {
public:
  // One instance's place among the readers of a library's snapshot.
  class Subscriber {
  public:
    // reader: whose readPreset reads the files while it is subscribed.
    explicit Subscriber(GenericPlugin& reader) : mReader(reader) {}
    Subscriber(const Subscriber&) = delete;
    Subscriber& operator=(const Subscriber&) = delete;

    // The thread that applies program changes: the snapshot published now,
    // kept from deletion until release; null when there is none yet (or no
    // library). One snapshot at a time.
    const PresetLibrarySnapshot* hold();
    void release() { mHeld.store(nullptr); }

    // The publisher of the library subscribed to; null when none.
    PresetSnapshotPublisher* getPublisher() const { return mPublisher; }

    // hold for a scope.
    class Held {
    public:
      explicit Held(Subscriber& subscriber) : mSubscriber(subscriber), mSnapshot(subscriber.hold()) {}
      ~Held() { mSubscriber.release(); }
      Held(const Held&) = delete;
      Held& operator=(const Held&) = delete;
      const PresetLibrarySnapshot* get() const { return mSnapshot; }

    private:
      Subscriber& mSubscriber;
      const PresetLibrarySnapshot* mSnapshot;
    };

  private:
    friend class PresetSnapshotPublisher;

    GenericPlugin& mReader;
    // Written only while no render thread runs for the instance.
    PresetSnapshotPublisher* mPublisher = nullptr;
    // The hazard pointer: what hold returned, until release.
    std::atomic<const PresetLibrarySnapshot*> mHeld{nullptr};
  };

  // Joins the publisher of the library (made for the first subscriber) and
  // brings its snapshot up to date, unless another thread is reading the
  // library. A subscriber already subscribed leaves its publisher first.
  static void subscribe(PresetManager& library, Subscriber& subscriber);
  // Leaves; the last subscriber deletes the publisher. Nothing for a
  // subscriber not subscribed.
  static void unsubscribe(Subscriber& subscriber);

  PresetSnapshotPublisher(const PresetSnapshotPublisher&) = delete;
  PresetSnapshotPublisher& operator=(const PresetSnapshotPublisher&) = delete;

  // Reads the library into a new snapshot when it was rescanned since the
  // published one was read, and publishes it; returns at once when another
  // thread is reading (that one publishes). Then deletes what is let go of.
  void refresh();
  // Deletes every replaced snapshot no subscriber holds.
  void reclaim();
  // Whether the published snapshot shows the library as it is now.
  bool isCurrent() const;

private:
  explicit PresetSnapshotPublisher(PresetManager& library);
  ~PresetSnapshotPublisher();

  void presetLibraryReplaced(PresetManager& library) override;
  // Reads the library once and publishes what was read; false, publishing
  // nothing, when no subscriber is left to read the files.
  bool read();
  // Reads one file with a subscriber's reader; false when none is left.
  bool readEntry(PresetLibrarySnapshot::Entry& entry);

  PresetManager& mLibrary;
  std::atomic<const PresetLibrarySnapshot*> mPublished{nullptr};
  // The published snapshot's generation (-1: none yet), for a look that
  // holds no snapshot.
  std::atomic<int64_t> mPublishedGeneration{-1};
  // Raised by the one thread that reads the library.
  std::atomic<bool> mReading{false};
  // Subscribers change exclusively; a file is read, and hazard pointers
  // are looked at, shared.
  mutable std::shared_mutex mSubscribersLock;
  std::vector<Subscriber*> mSubscribers;
  std::mutex mRetiredLock;
  std::vector<const PresetLibrarySnapshot*> mRetired;
  // mRetired's size, for a look without the lock.
  std::atomic<size_t> mRetiredCount{0};
};
