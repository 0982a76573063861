#include "platform/macos/MacBridge.h"

#include <algorithm>
#include <cstring>

namespace tl::mac {

namespace {

// Deeper than any property list a person or this application writes; a
// file crafted deeper is cut there rather than blowing the stack.
constexpr int kMaxDepth = 256;

id toPlist(const Value& value, int depth);

struct ToPlist {
  int depth;
  id operator()(bool b) const { return [NSNumber numberWithBool:b ? YES : NO]; }
  id operator()(int64_t i) const { return [NSNumber numberWithLongLong:static_cast<long long>(i)]; }
  id operator()(double d) const { return [NSNumber numberWithDouble:d]; }
  id operator()(Value::Unsigned u) const { return [NSNumber numberWithUnsignedLongLong:u.value]; }
  id operator()(const std::string& s) const { return toNS(s); }
  id operator()(const Value::Data& d) const { return [NSData dataWithBytes:d.bytes.data() length:d.bytes.size()]; }
  id operator()(const Value::Date& d) const { return [NSDate dateWithTimeIntervalSinceReferenceDate:d.secondsSince2001]; }
  id operator()(const Value::Array& a) const {
    NSMutableArray* array = [NSMutableArray arrayWithCapacity:a.size()];
    if (depth < kMaxDepth)
      for (const Value& v : a) [array addObject:toPlist(v, depth + 1)];
    return array;
  }
  id operator()(const Value::Dict& d) const {
    NSMutableDictionary* dict = [NSMutableDictionary dictionaryWithCapacity:d.size()];
    // A key given twice keeps its last value, as assigning it twice would.
    if (depth < kMaxDepth)
      for (const auto& [key, v] : d) dict[toNS(key)] = toPlist(v, depth + 1);
    return dict;
  }
};

id toPlist(const Value& value, int depth) { return std::visit(ToPlist{depth}, value.v); }

std::optional<Value> fromPlist(id object, int depth) {
  if (!object || depth > kMaxDepth) return std::nullopt;
  if ([object isKindOfClass:[NSString class]]) return Value(fromNS((NSString*)object));
  if ([object isKindOfClass:[NSNumber class]]) {
    NSNumber* n = (NSNumber*)object;
    // Property-list booleans are their own class of number (CFBoolean).
    if ([n isKindOfClass:[[NSNumber numberWithBool:YES] class]]) return Value(static_cast<bool>(n.boolValue));
    const char* type = n.objCType;
    if (type && (std::strcmp(type, @encode(double)) == 0 || std::strcmp(type, @encode(float)) == 0))
      return Value(n.doubleValue);
    if (type && std::strcmp(type, @encode(unsigned long long)) == 0 &&
        n.unsignedLongLongValue > static_cast<unsigned long long>(INT64_MAX))
      return Value(Value::Unsigned{n.unsignedLongLongValue});
    return Value(static_cast<int64_t>(n.longLongValue));
  }
  if ([object isKindOfClass:[NSData class]]) {
    NSData* data = (NSData*)object;
    const auto* bytes = static_cast<const uint8_t*>(data.bytes);
    return Value(Value::Data{std::vector<uint8_t>(bytes, bytes + data.length)});
  }
  if ([object isKindOfClass:[NSDate class]])
    return Value(Value::Date{((NSDate*)object).timeIntervalSinceReferenceDate});
  if ([object isKindOfClass:[NSArray class]]) {
    Value::Array array;
    for (id element in (NSArray*)object)
      if (auto v = fromPlist(element, depth + 1)) array.push_back(std::move(*v));
    return Value(std::move(array));
  }
  if ([object isKindOfClass:[NSDictionary class]]) {
    NSDictionary* dict = (NSDictionary*)object;
    Value::Dict entries;
    for (id key in dict) {
      if (![key isKindOfClass:[NSString class]]) continue;  // not a property list
      if (auto v = fromPlist(dict[key], depth + 1)) entries.emplace_back(fromNS((NSString*)key), std::move(*v));
    }
    // NSDictionary has no order; sorted keys at least read the same each time.
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return Value(std::move(entries));
  }
  return std::nullopt;
}

class MacUserDefaults final : public UserDefaults {
 public:
  MacUserDefaults() : defaults_([NSUserDefaults standardUserDefaults]) {}

  void registerDefaults(const std::vector<std::pair<std::string, Value>>& defaults) override {
    NSMutableDictionary* dict = [NSMutableDictionary dictionaryWithCapacity:defaults.size()];
    for (const auto& [key, value] : defaults) dict[toNS(key)] = toPlist(value, 0);
    [defaults_ registerDefaults:dict];
  }

  std::optional<Value> objectForKey(const std::string& key) override {
    return fromPlist([defaults_ objectForKey:toNS(key)], 0);
  }

  // Foundation's own conversions: numbers and strings such as "YES" or
  // "12" read as what they say, anything else as false / 0.
  bool boolForKey(const std::string& key) override { return [defaults_ boolForKey:toNS(key)]; }
  double doubleForKey(const std::string& key) override { return [defaults_ doubleForKey:toNS(key)]; }
  int64_t integerForKey(const std::string& key) override {
    return static_cast<int64_t>([defaults_ integerForKey:toNS(key)]);
  }

  void setObject(const std::string& key, const Value& value) override {
    [defaults_ setObject:toPlist(value, 0) forKey:toNS(key)];
  }
  void setBool(const std::string& key, bool value) override { [defaults_ setBool:value ? YES : NO forKey:toNS(key)]; }
  void setDouble(const std::string& key, double value) override { [defaults_ setDouble:value forKey:toNS(key)]; }
  void setInteger(const std::string& key, int64_t value) override {
    [defaults_ setInteger:static_cast<NSInteger>(value) forKey:toNS(key)];
  }
  void removeObjectForKey(const std::string& key) override { [defaults_ removeObjectForKey:toNS(key)]; }

 private:
  NSUserDefaults* defaults_;
};

}  // namespace

std::unique_ptr<UserDefaults> makeUserDefaults() { return std::make_unique<MacUserDefaults>(); }

}  // namespace tl::mac
