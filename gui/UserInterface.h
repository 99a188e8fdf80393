#pragma once

// One editor surface. It is the factory of everything platform-bound
// (bitmaps, texts, timers, popup menus, file dialogs, message boxes), the
// owner of every Component made for it, and the hub between the surface and
// its listeners (the editor): events sent at once, events posted from any
// thread and delivered on the GUI thread by a 50 ms timer, and hint texts
// shown 1500 ms after the mouse came to rest on a control.
//
// Only postEvent may be called from another thread: it adds to a lock-free
// queue that the GUI thread drains. A listener may delete the user interface
// while a drain delivers to it; the dispatcher holds itself alive for the
// drain, and the rest of the queue is dropped unseen.

#include "base/LockFreeQueue.h"
#include "base/NotifyEvent.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace gui {

class Bitmap;
class Component;
class Control;
class PopupMenu;
class SaveDialog;
class SelectFolderDialog;
class Text;
class Timer;

class UserInterface {
public:
  class Listener {
  public:
    virtual void receiveEvent(int event, int value) = 0;
    virtual void showHint(const std::string&) {}

  protected:
    ~Listener() = default;
  };

  class EventDispatcher {
  public:
    struct Event {
      int event;
      int value;
    };

    EventDispatcher();
    EventDispatcher(const EventDispatcher&) = delete;
    EventDispatcher& operator=(const EventDispatcher&) = delete;

    EventDispatcher* addRef();
    // At the last reference the dispatcher deletes itself.
    void release();
    void registerListener(Listener* listener);
    void unregisterListener(Listener* listener);
    // Any thread. Dropped when the queue's pool is exhausted.
    void postEvent(int event, int value);
    // Delivers to the last registered listener first.
    void sendEvent(int event, int value);
    // Sends the events posted before the call, in posting order; those
    // posted meanwhile wait for the next drain, so a thread posting faster
    // than the GUI thread delivers cannot hold the GUI thread here.
    void dispatchPostedEvents();
    // Shows the hint on every listener, first registered first.
    void showHint(const std::string& text);
    // The user interface is gone: nothing is delivered any more.
    void detach();

  private:
    ~EventDispatcher() = default;

    lockfree::Queue<Event> queue;
    // Events queued and not yet taken; briefly low while a post is between
    // adding and counting.
    std::atomic<int64_t> pending{0};
    std::vector<Listener*> listeners;
    // sendEvent's copy of the list, kept for the next event's (one sent
    // from inside a listener makes its own).
    std::vector<Listener*> spareSnapshot;
    int references = 1;
    bool detached = false;
  };

  UserInterface();
  virtual ~UserInterface();
  UserInterface(const UserInterface&) = delete;
  UserInterface& operator=(const UserInterface&) = delete;

  // Routes all mouse input to the control; null gives it back to the root.
  virtual void captureMouse(Control* control) = 0;
  // Bitmaps, texts, popup menus and dialogs belong to the caller; timers are
  // components of this user interface.
  virtual Bitmap* createBitmap() = 0;
  virtual PopupMenu* createPopupMenu() = 0;
  virtual SaveDialog* createSaveDialog() = 0;
  virtual SelectFolderDialog* createSelectFolderDialog() = 0;
  virtual Text* createText() = 0;
  virtual Timer* createTimer() = 0;
  // The root control.
  virtual Control* getWindow() = 0;
  // A modal message box.
  virtual void showMessage(const std::string& text) = 0;

  void addComponent(Component* component);
  void removeComponent(Component* component);
  void registerListener(Listener* listener);
  void unregisterListener(Listener* listener);
  void sendEvent(int event, int value);
  void postEvent(int event, int value);
  void setCurrentHint(const std::string& text);
  void handleEventTimer(void* sender);
  void handleHintTimer(void* sender);

  bool isDestroying() const { return destroying; }
  Bitmap* getBackground() const { return background; }
  // Takes ownership.
  void setBackground(Bitmap* bitmap);

  bool hintsEnabled = true;

protected:
  Bitmap* background = nullptr;
  std::vector<Component*> components;
  std::string currentHint;
  bool destroying = false;
  EventDispatcher* dispatcher;
  Timer* eventTimer = nullptr;
  Timer* hintTimer = nullptr;
};

} // namespace gui
