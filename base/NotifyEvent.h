#pragma once

// A slot for one callback: a member function of a listener, raised
// synchronously with a sender pointer. The event owns its handler.
//
//   button.onClick = NotifyEvent::bind(this, &Editor::clicked);
//   ...
//   onClick(this);   // calls editor->clicked(button)

class NotifyEvent {
public:
  class Handler {
  public:
    // Handlers are deleted through this class, so the destructor is virtual:
    // deleting a larger handler as its base without one is undefined.
    virtual ~Handler() = default;
    virtual void invoke(void* sender) = 0;
  };

  template <class T>
  class HandlerImpl : public Handler {
  public:
    typedef void (T::*Method)(void* sender);
    // object is not owned; method may be virtual.
    HandlerImpl(T* object, Method method) : object(object), method(method) {}
    void invoke(void* sender) override { (object->*method)(sender); }

  private:
    T* object;
    Method method;
  };

  // A new heap handler binding method to object, for operator=.
  template <class T>
  static Handler* bind(T* object, void (T::*method)(void*)) {
    return new HandlerImpl<T>(object, method);
  }

  NotifyEvent() = default;
  ~NotifyEvent() { delete handler; }
  NotifyEvent(const NotifyEvent&) = delete;
  NotifyEvent& operator=(const NotifyEvent&) = delete;

  // Deletes the current handler and takes h (null empties the slot).
  NotifyEvent& operator=(Handler* h) {
    if (h != handler) {
      delete handler;
      handler = h;
    }
    return *this;
  }

  // Calls the handler, if any, with sender.
  void operator()(void* sender) const {
    if (handler) handler->invoke(sender);
  }

  bool isBound() const { return handler != nullptr; }

private:
  Handler* handler = nullptr;
};
