#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Value.h"

namespace tl {

// The standard user defaults: the application domain, then the registration
// domain. Typed readers convert as Foundation does; a missing or
// unconvertible value reads as false / 0.
class UserDefaults {
 public:
  virtual ~UserDefaults() = default;
  virtual void registerDefaults(const std::vector<std::pair<std::string, Value>>& defaults) = 0;
  virtual std::optional<Value> objectForKey(const std::string& key) = 0;
  virtual bool boolForKey(const std::string& key) = 0;
  virtual double doubleForKey(const std::string& key) = 0;
  virtual int64_t integerForKey(const std::string& key) = 0;
  virtual void setObject(const std::string& key, const Value& value) = 0;
  virtual void setBool(const std::string& key, bool value) = 0;
  virtual void setDouble(const std::string& key, double value) = 0;
  virtual void setInteger(const std::string& key, int64_t value) = 0;
  virtual void removeObjectForKey(const std::string& key) = 0;
};

}  // namespace tl
