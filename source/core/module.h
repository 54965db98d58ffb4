#pragma once
// Module<T>: the engine's service pattern. Each module is a singleton created
// on first use by Instance() and never destroyed, with one life cycle: Init
// once, Update once per frame, Kill once at shutdown. Its name is also its
// client name on the event bus.
//
// Extension<T>: the base of pluggable objects a module owns and drives
// through their concrete types; it only gives them a virtual destructor.

#include <deque>
#include <string>

#include "core/event.h"

namespace module_events {
// Thin bridges to EventManager and System, so this header need not include
// the modules themselves (EventManager is a Module too).
std::deque<Event> Fetch(const std::string& client);
void Post(const Event& event);
double FrameStartTime();
}  // namespace module_events

template <class T>
class Module {
 public:
  explicit Module(const std::string& name_) : name(name_) {}
  virtual ~Module() = default;
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  virtual void Init() = 0;
  virtual void Update() = 0;
  virtual void Kill() = 0;
  // One event addressed to this module; the default drops it.
  virtual void HandleEvent(Event& event) { (void)event; }

  // The single instance, created with `new T` on the first call. First calls
  // happen on the main thread before any worker starts, so no lock is taken.
  static T& Instance() {
    if (instance == nullptr) instance = new T;
    return *instance;
  }

  // Hands every pending event of this module to HandleEvent, in queue order.
  void ProcessEvents() {
    std::deque<Event> events = module_events::Fetch(name);
    for (Event& event : events) HandleEvent(event);
  }

  // A new event from this module, stamped with the current frame's start time.
  Event CreateEvent(const std::string& target, const std::string& type) const {
    Event event(name, target, type);
    event.timestamp = module_events::FrameStartTime();
    return event;
  }

  void SendEvent(const Event& event) const { module_events::Post(event); }

  std::string name;

 private:
  static T* instance;
};

template <class T>
T* Module<T>::instance = nullptr;

template <class T>
class Extension {
 public:
  virtual ~Extension() = default;
};
