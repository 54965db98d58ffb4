#pragma once
// EventManager: holds events between sender and receiver. Delivery is always
// deferred: PostEvent queues, and a client's GetEvents routes every pending
// event to its target's queue and returns (and empties) the caller's queue.
// One mutex guards every queue, so any thread may post and fetch.

#include <deque>
#include <string>
#include <vector>

#include <boost/thread/mutex.hpp>
#include <boost/unordered_map.hpp>

#include "core/event.h"
#include "core/module.h"

class EventManager : public Module<EventManager> {
 public:
  EventManager();

  void Init() override;    // registers "BROADCAST"
  void Update() override;  // releases due delayed events, drops expired ones
  void Kill() override;    // unregisters "BROADCAST"

  void RegisterClient(const std::string& client);
  void UnregisterClient(const std::string& client);
  void PostEvent(Event event);
  std::deque<Event> GetEvents(const std::string& client);

  // Inspection for tests and diagnostics (each takes the mutex).
  size_t PendingCount();
  size_t QueuedCount(const std::string& client);

 private:
  boost::unordered_map<std::string, std::deque<Event>> clients;
  std::deque<Event> pendingQueue;
  std::deque<Event> delayedQueue;
  std::vector<std::string> clientNames;
  boost::mutex mutex;
};
