#include "core/module.h"

#include "core/event_manager.h"
#include "core/system.h"

// Module<T> is a template in a header that EventManager and System (both
// modules themselves) include; its event helpers reach them through these
// bridges, defined here where both are complete.
namespace module_events {
std::deque<Event> Fetch(const std::string& client) {
  return EventManager::Instance().GetEvents(client);
}
void Post(const Event& event) { EventManager::Instance().PostEvent(event); }
double FrameStartTime() { return System::Instance().frameStartTime; }
}  // namespace module_events
