#pragma once
// Event: a value record passed between modules through the EventManager.
// Parameters are named and hold exactly one of: uint32_t, float, bool,
// std::string or Vector, stored as boost::any.

#include <cstdint>
#include <string>

#include <boost/any.hpp>
#include <boost/unordered_map.hpp>

#include "math/quaternion.h"
#include "math/vector.h"

class Event {
 public:
  Event();
  Event(const std::string& sender, const std::string& target, const std::string& type);

  // Stores value under key, replacing any earlier value of that key.
  template <class T>
  void SetParam(const std::string& key, const T& value) {
    params[key] = value;
  }
  // A string literal is stored as std::string, the type readers ask for.
  void SetParam(const std::string& key, const char* value) { params[key] = std::string(value); }

  // The value under key as T. An absent key is inserted empty first; an
  // absent key or a value of another type throws boost::bad_any_cast.
  template <class T>
  T GetParam(const std::string& key) {
    return boost::any_cast<T>(params[key]);
  }

  // Whether key holds a value (does not insert).
  bool HasParam(const std::string& key) const;

  std::string sender;
  std::string target;  // a client name, or "BROADCAST"
  std::string type;
  bool delayed = false;     // held back until deliveryTime
  bool persistent = false;  // handed to its target on every fetch until expiryTime
  double timestamp = 0.0;   // frame start time when created, seconds
  double deliveryTime = 0.0;
  double expiryTime = 0.0;
  boost::unordered_map<std::string, boost::any> params;
};
