#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace tl {

// A property-list value, as the user defaults store them.
struct Value {
  struct Data {
    std::vector<uint8_t> bytes;
    bool operator==(const Data&) const = default;
  };
  struct Date {
    double secondsSince2001 = 0;
    bool operator==(const Date&) const = default;
  };
  // An integer from 2^63 to 2^64 - 1, as Foundation reads one from a file
  // (written as unsigned); every integer that fits int64_t is an int64_t.
  struct Unsigned {
    uint64_t value = 0;
    bool operator==(const Unsigned&) const = default;
  };
  using Array = std::vector<Value>;
  using Dict = std::vector<std::pair<std::string, Value>>;

  std::variant<bool, int64_t, double, std::string, Data, Date, Array, Dict, Unsigned> v;

  Value() : v(false) {}
  Value(bool b) : v(b) {}
  Value(int i) : v(int64_t{i}) {}
  Value(int64_t i) : v(i) {}
  Value(double d) : v(d) {}
  Value(const char* s) : v(std::string(s)) {}
  Value(std::string s) : v(std::move(s)) {}
  Value(Data d) : v(std::move(d)) {}
  Value(Date d) : v(d) {}
  Value(Array a) : v(std::move(a)) {}
  Value(Dict d) : v(std::move(d)) {}
  Value(Unsigned u) : v(u) {}

  bool operator==(const Value&) const = default;
};

}  // namespace tl
