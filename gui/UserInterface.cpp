#include "gui/UserInterface.h"

#include "gui/Bitmap.h"
#include "gui/Component.h"
#include "gui/Timer.h"

#include <algorithm>

namespace gui {

// ---- EventDispatcher -------------------------------------------------------

UserInterface::EventDispatcher::EventDispatcher() : queue(4096) {}

UserInterface::EventDispatcher* UserInterface::EventDispatcher::addRef() {
  ++references;
  return this;
}

void UserInterface::EventDispatcher::release() {
  if (--references == 0) delete this;
}

void UserInterface::EventDispatcher::registerListener(Listener* listener) { listeners.push_back(listener); }

void UserInterface::EventDispatcher::unregisterListener(Listener* listener) { std::erase(listeners, listener); }

void UserInterface::EventDispatcher::postEvent(int event, int value) {
  if (queue.add(Event{event, value})) pending.fetch_add(1, std::memory_order_release);
}

void UserInterface::EventDispatcher::sendEvent(int event, int value) {
  addRef();
  // Last registered first. A listener may unregister itself or others while
  // it runs: the list is taken as it was when the event started, and each
  // entry is delivered to only while it is still registered, so nobody gets
  // the event twice and no entry past the end of the list is read.
  std::vector<Listener*> snapshot = std::move(spareSnapshot);
  snapshot.assign(listeners.begin(), listeners.end());
  for (size_t i = snapshot.size(); i-- > 0;) {
    if (detached) break;
    if (std::find(listeners.begin(), listeners.end(), snapshot[i]) == listeners.end()) continue;
    snapshot[i]->receiveEvent(event, value);
  }
  spareSnapshot = std::move(snapshot);
  release();
}

void UserInterface::EventDispatcher::dispatchPostedEvents() {
  addRef();
  Event e;
  for (int64_t n = pending.load(std::memory_order_acquire); n > 0 && !detached && queue.retrieve(e); --n) {
    pending.fetch_sub(1, std::memory_order_relaxed);
    sendEvent(e.event, e.value);
  }
  release();
}

void UserInterface::EventDispatcher::showHint(const std::string& text) {
  for (size_t i = 0; i < listeners.size(); ++i) listeners[i]->showHint(text);
}

void UserInterface::EventDispatcher::detach() {
  detached = true;
  listeners.clear();
}

// ---- UserInterface ---------------------------------------------------------

UserInterface::UserInterface() : dispatcher(new EventDispatcher) {}

UserInterface::~UserInterface() {
  destroying = true;
  // An entry another component's destructor deleted meanwhile has become
  // null and is skipped.
  for (size_t i = 0; i < components.size(); ++i)
    if (Component* c = components[i]) delete c;
  delete background;
  dispatcher->detach();
  dispatcher->release();
}

void UserInterface::setBackground(Bitmap* bitmap) {
  if (bitmap == background) return;
  delete background;
  background = bitmap;
}

void UserInterface::addComponent(Component* component) { components.push_back(component); }

void UserInterface::removeComponent(Component* component) {
  auto it = std::find(components.begin(), components.end(), component);
  if (it == components.end()) return;
  if (destroying)
    *it = nullptr;
  else
    components.erase(it);
}

void UserInterface::registerListener(Listener* listener) {
  if (!eventTimer) {
    eventTimer = createTimer();
    eventTimer->interval = 50;
    eventTimer->onTimer = NotifyEvent::bind(this, &UserInterface::handleEventTimer);
    eventTimer->enabled = true;
  }
  dispatcher->registerListener(listener);
}

void UserInterface::unregisterListener(Listener* listener) { dispatcher->unregisterListener(listener); }

void UserInterface::sendEvent(int event, int value) { dispatcher->sendEvent(event, value); }

void UserInterface::postEvent(int event, int value) { dispatcher->postEvent(event, value); }

void UserInterface::setCurrentHint(const std::string& text) {
  if (!hintsEnabled) return;
  if (!hintTimer) {
    hintTimer = createTimer();
    hintTimer->interval = 1500;
    hintTimer->onTimer = NotifyEvent::bind(this, &UserInterface::handleHintTimer);
  }
  if (text.empty()) {
    hintTimer->enabled = false;
    dispatcher->showHint("");
    return;
  }
  currentHint = text;
  hintTimer->enabled = false;
  hintTimer->enabled = true;
}

void UserInterface::handleEventTimer(void*) {
  // A listener may delete this user interface during the drain: nothing of
  // it is touched afterwards.
  dispatcher->dispatchPostedEvents();
}

void UserInterface::handleHintTimer(void*) {
  hintTimer->enabled = false;
  dispatcher->showHint(currentHint);
}

} // namespace gui
