#include "objects/component.h"

#include <map>

#include <boost/thread/mutex.hpp>

uint32_t ComponentKindOf(const std::string& componentName) {
  // Only components made from scratch ask (copies keep their kind), and the
  // kinds a process uses are few, so one lock around a small map will do.
  static boost::mutex lock;
  static std::map<std::string, uint32_t> kinds;
  boost::mutex::scoped_lock guard(lock);
  return kinds.emplace(componentName, static_cast<uint32_t>(kinds.size())).first->second;
}

// Defined out of line so the vtable of Component has one home.
Component::~Component() = default;
