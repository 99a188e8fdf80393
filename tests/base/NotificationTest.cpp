#include "base/FreeMonitor.h"
#include "base/NotifyEvent.h"
#include "base/UpdatedObject.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

class Counted : public UpdatedObject {
public:
  int changes = 0;
  bool notifyFromChange = false;

protected:
  void change() override {
    ++changes;
    if (notifyFromChange) notifyChange();
  }
};

} // namespace

TEST(UpdatedObjectTest, NotificationOutsideBracketsCallsChangeAtOnce) {
  Counted o;
  o.notifyChange();
  EXPECT_EQ(1, o.changes);
  o.notifyChange();
  EXPECT_EQ(2, o.changes);
}

TEST(UpdatedObjectTest, NestedBracketsDeliverOneChangeAtTheOutermostEnd) {
  Counted o;
  std::unique_ptr<Update> outer(o.beginUpdate());
  o.notifyChange();
  o.notifyChange();
  std::unique_ptr<Update> inner(o.beginUpdate());
  o.notifyChange();
  inner.reset();
  EXPECT_EQ(0, o.changes);
  outer.reset();
  EXPECT_EQ(1, o.changes);

  // The pending mark is cleared: a later empty bracket delivers nothing.
  delete o.beginUpdate();
  EXPECT_EQ(1, o.changes);
}

TEST(UpdatedObjectTest, BracketWithoutNotificationDeliversNothing) {
  Counted o;
  Update* outer = o.beginUpdate();
  delete o.beginUpdate();
  delete outer;
  EXPECT_EQ(0, o.changes);
}

TEST(UpdatedObjectTest, NotificationFromInsideChangeIsDropped) {
  Counted o;
  o.notifyFromChange = true;
  o.notifyChange();
  EXPECT_EQ(1, o.changes);
  delete o.beginUpdate();
  Update* u = o.beginUpdate();
  o.notifyChange();
  delete u;
  EXPECT_EQ(2, o.changes);
}

TEST(UpdatedObjectTest, UpdateEndedExplicitlyThenDeletedEndsOnce) {
  Counted o;
  Update* outer = o.beginUpdate();
  Update* inner = o.beginUpdate();
  o.notifyChange();
  inner->endUpdate();
  delete inner; // must not close the outer bracket as well
  EXPECT_EQ(0, o.changes);
  outer->endUpdate();
  EXPECT_EQ(1, o.changes);
  outer->endUpdate();
  delete outer;
  EXPECT_EQ(1, o.changes);
}

TEST(UpdatedObjectTest, ObjectEndUpdateClosesOneBracket) {
  Counted o;
  Update* outer = o.beginUpdate();
  Update* inner = o.beginUpdate();
  o.notifyChange();
  o.endUpdate();
  EXPECT_EQ(0, o.changes);
  o.endUpdate();
  EXPECT_EQ(1, o.changes);
  // Both brackets were closed through the object; their tokens find nothing
  // left to close.
  delete inner;
  delete outer;
  o.notifyChange();
  EXPECT_EQ(2, o.changes);
}

TEST(UpdatedObjectTest, UnbalancedEndDoesNotSwallowLaterNotifications) {
  Counted o;
  o.endUpdate();
  o.endUpdate();
  o.notifyChange();
  EXPECT_EQ(1, o.changes);
  Update* u = o.beginUpdate();
  o.notifyChange();
  EXPECT_EQ(1, o.changes);
  delete u;
  EXPECT_EQ(2, o.changes);
}

TEST(UpdatedObjectTest, UpdateMadeFromPointerOpensNoBracket) {
  Counted o;
  {
    Update u(&o);
    o.notifyChange();
    EXPECT_EQ(1, o.changes);
  }
  o.notifyChange();
  EXPECT_EQ(2, o.changes);
}

namespace {

struct Listener {
  std::vector<void*> senders;
  void clicked(void* sender) { senders.push_back(sender); }
  virtual void hook(void* sender) { senders.push_back(sender); }
  virtual ~Listener() = default;
};

struct DerivedListener : Listener {
  int hooked = 0;
  void hook(void*) override { ++hooked; }
};

struct CountingHandler : NotifyEvent::Handler {
  explicit CountingHandler(int& deletions, int& calls) : deletions(deletions), calls(calls) {}
  ~CountingHandler() override { ++deletions; }
  void invoke(void*) override { ++calls; }
  int& deletions;
  int& calls;
  std::vector<int> payload{1, 2, 3}; // makes the handler larger than its base
};

} // namespace

TEST(NotifyEventTest, RaisesBoundMemberWithSender) {
  Listener listener;
  NotifyEvent event;
  int sender = 0;
  event(&sender); // empty: nothing happens
  EXPECT_FALSE(event.isBound());
  event = NotifyEvent::bind(&listener, &Listener::clicked);
  event(&sender);
  event(nullptr);
  ASSERT_EQ(2u, listener.senders.size());
  EXPECT_EQ(&sender, listener.senders[0]);
  EXPECT_EQ(nullptr, listener.senders[1]);
}

TEST(NotifyEventTest, VirtualMemberReachesOverride) {
  DerivedListener listener;
  NotifyEvent event;
  event = new NotifyEvent::HandlerImpl<Listener>(&listener, &Listener::hook);
  event(nullptr);
  EXPECT_EQ(1, listener.hooked);
  EXPECT_TRUE(listener.senders.empty());
}

TEST(NotifyEventTest, OwnsItsHandler) {
  int deletions = 0, firstCalls = 0, secondCalls = 0;
  {
    NotifyEvent event;
    event = new CountingHandler(deletions, firstCalls);
    event(nullptr);
    event = new CountingHandler(deletions, secondCalls);
    EXPECT_EQ(1, deletions);
    event(nullptr);
    EXPECT_EQ(1, firstCalls);
    EXPECT_EQ(1, secondCalls);
    event = nullptr;
    EXPECT_EQ(2, deletions);
    event(nullptr);
    EXPECT_EQ(1, secondCalls);
    event = new CountingHandler(deletions, secondCalls);
  }
  EXPECT_EQ(3, deletions);
}

namespace {

class Owner {
public:
  Owner() : monitor(new FreeMonitor) {}
  ~Owner() { monitor->releaseByOwner(); }
  FreeMonitor* monitor;
};

} // namespace

TEST(FreeMonitorTest, CallerLearnsThatOwnerWasDestroyed) {
  Owner* owner = new Owner;
  FreeMonitor* m = owner->monitor;
  m->addRef();
  EXPECT_EQ(2, m->getReferences());
  delete owner; // during the call out
  EXPECT_FALSE(m->isAlive());
  EXPECT_EQ(1, m->getReferences());
  m->release(); // the last reference deletes the token (checked by the leak sanitizer)
}

TEST(FreeMonitorTest, OwnerSurvivingTheCallStaysAlive) {
  Owner owner;
  FreeMonitor* m = owner.monitor;
  m->addRef();
  m->addRef();
  m->release();
  EXPECT_TRUE(m->isAlive());
  m->release();
  EXPECT_TRUE(owner.monitor->isAlive());
  EXPECT_EQ(1, owner.monitor->getReferences());
}
