#include "core/event_manager.h"

#include <algorithm>

#include "core/system.h"

namespace {
constexpr std::size_t kInitialBuckets = 50;
const char* const kBroadcast = "BROADCAST";
}  // namespace

EventManager::EventManager() : Module<EventManager>("EventManager"), clients(kInitialBuckets) {
  clients.max_load_factor(1.0f);
}

void EventManager::Init() { RegisterClient(kBroadcast); }

void EventManager::Kill() { UnregisterClient(kBroadcast); }

void EventManager::RegisterClient(const std::string& client) {
  boost::mutex::scoped_lock lock(mutex);
  if (std::find(clientNames.begin(), clientNames.end(), client) != clientNames.end())
    CLEAVE_ERROR("RegisterClient: duplicate client found!");
  clientNames.push_back(client);
  clients[client].clear();
}

void EventManager::UnregisterClient(const std::string& client) {
  boost::mutex::scoped_lock lock(mutex);
  const auto it = std::find(clientNames.begin(), clientNames.end(), client);
  if (it == clientNames.end()) {
    // Harmless, and expected when a failed start-up stopped before the
    // client's module registered: shutdown still kills every module.
    CLEAVE_WARNING("UnregisterClient: client not found!");
    return;
  }
  clientNames.erase(it);
  clients.erase(client);
}

void EventManager::PostEvent(Event event) {
  boost::mutex::scoped_lock lock(mutex);
  if (event.delayed)
    delayedQueue.push_back(std::move(event));
  else
    pendingQueue.push_back(std::move(event));
}

std::deque<Event> EventManager::GetEvents(const std::string& client) {
  boost::mutex::scoped_lock lock(mutex);
  const System& system = System::Instance();
  for (auto it = pendingQueue.begin(); it != pendingQueue.end();) {
    if (!it->persistent) {
      clients[it->target].push_back(*it);
      it = pendingQueue.erase(it);
      continue;
    }
    if (it->target == client && system.GetTime() < it->expiryTime) clients[client].push_back(*it);
    ++it;
  }
  std::deque<Event> result;
  result.swap(clients[client]);
  return result;
}

void EventManager::Update() {
  boost::mutex::scoped_lock lock(mutex);
  const double now = System::Instance().GetTime();

  for (auto it = delayedQueue.begin(); it != delayedQueue.end();) {
    if (it->delayed && it->deliveryTime <= now) {
      pendingQueue.push_back(*it);
      it = delayedQueue.erase(it);
    } else {
      ++it;
    }
  }

  auto expired = [now](const Event& e) { return e.persistent && e.expiryTime <= now; };
  for (auto& entry : clients) {
    auto& queue = entry.second;
    queue.erase(std::remove_if(queue.begin(), queue.end(), expired), queue.end());
  }
  // Expired persistent events would otherwise stay in the central queue for
  // the rest of the run; nothing fetches "BROADCAST", so it is emptied here.
  pendingQueue.erase(std::remove_if(pendingQueue.begin(), pendingQueue.end(), expired),
                     pendingQueue.end());
  const auto broadcast = clients.find(kBroadcast);
  if (broadcast != clients.end()) broadcast->second.clear();
}

size_t EventManager::PendingCount() {
  boost::mutex::scoped_lock lock(mutex);
  return pendingQueue.size() + delayedQueue.size();
}

size_t EventManager::QueuedCount(const std::string& client) {
  boost::mutex::scoped_lock lock(mutex);
  const auto it = clients.find(client);
  return it == clients.end() ? 0 : it->second.size();
}
