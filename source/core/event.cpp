#include "core/event.h"

namespace {
// Hash maps of the engine request 50 buckets with a maximum load factor of 1.
constexpr std::size_t kInitialBuckets = 50;
}  // namespace

Event::Event() : params(kInitialBuckets) { params.max_load_factor(1.0f); }

Event::Event(const std::string& sender_, const std::string& target_, const std::string& type_)
    : sender(sender_), target(target_), type(type_), params(kInitialBuckets) {
  params.max_load_factor(1.0f);
}

bool Event::HasParam(const std::string& key) const {
  const auto it = params.find(key);
  return it != params.end() && !it->second.empty();
}
