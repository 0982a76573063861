// Foundation's binary form of a property list, "bplist00": objects, an
// offset table and a trailer saying where things are.
#include <algorithm>
#include <cstring>
#include <deque>
#include <set>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/sim/PlistForms.h"
#include "platform/sim/PropertyList.h"

namespace tl::sim::plist {

namespace {

uint64_t bigEndian(const unsigned char* p, size_t n) {
  uint64_t v = 0;
  for (size_t k = 0; k < n; ++k) v = (v << 8) | p[k];
  return v;
}

// ---------------------------------------------------------------- reading

class BinaryReader {
 public:
  explicit BinaryReader(std::string_view s)
      : data_(reinterpret_cast<const unsigned char*>(s.data())),
        size_(s.size()),
        valuesLimit_(unfoldedValuesLimit(s.size())),
        bytesLimit_(unfoldedBytesLimit(s.size())) {}

  std::optional<Value> document() {
    if (size_ < 8 + 32 || std::memcmp(data_, "bplist00", 8) != 0) return fail("no binary property list"), std::nullopt;
    const unsigned char* trailer = data_ + size_ - 32;
    offsetSize_ = trailer[6];
    refSize_ = trailer[7];
    count_ = bigEndian(trailer + 8, 8);
    uint64_t top = bigEndian(trailer + 16, 8);
    table_ = bigEndian(trailer + 24, 8);
    const uint64_t end = size_ - 32;
    if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8 || count_ == 0 || top >= count_ ||
        table_ < 8 || table_ > end || count_ > (end - table_) / offsetSize_)
      return fail("a trailer that does not fit the file"), std::nullopt;
    state_.assign(count_, kUnmeasured);
    measured_.assign(count_, {});
    Unfolded total;
    if (!measure(top, 0, total)) return std::nullopt;
    return object(top, 0);
  }

  std::string error;

 private:
  bool fail(const std::string& why) {
    if (error.empty()) error = why + " (binary)";
    return false;
  }

  // The object's marker position, checked against the file.
  bool offsetOf(uint64_t object, uint64_t& at) {
    at = bigEndian(data_ + table_ + object * offsetSize_, offsetSize_);
    return (at >= 8 && at < table_) || fail("an object outside the file");
  }

  // Length of a collection, string or data: in the marker, or an integer after it.
  bool length(uint64_t& pos, unsigned info, uint64_t& n) {
    if (info != 0xF) {
      n = info;
      return true;
    }
    if (pos >= table_ || (data_[pos] >> 4) != 0x1 || (data_[pos] & 0xF) > 3) return fail("a malformed length");
    uint64_t bytes = uint64_t{1} << (data_[pos] & 0xF);
    if (pos + 1 + bytes > table_) return fail("a length past the end");
    n = bigEndian(data_ + pos + 1, bytes);
    pos += 1 + bytes;
    return true;
  }

  bool payload(uint64_t pos, uint64_t n, uint64_t unit) {
    return (n <= (table_ - pos) / unit) || fail("an object running past the end");
  }

  // What an object unfolds into, worked out from the references alone before
  // anything is copied: values (dictionary keys too) and bytes of text and
  // data, every copy of a shared object counted in full. Each object is
  // measured once; a collection met again while it is open contains itself.
  struct Unfolded {
    uint64_t values = 0, bytes = 0;
  };
  enum : uint8_t { kUnmeasured, kOpen, kMeasured };

  bool measure(uint64_t object, int depth, Unfolded& out) {
    if (state_[object] == kMeasured) return out = measured_[object], true;
    if (state_[object] == kOpen) return fail("a collection that contains itself");
    uint64_t at = 0;
    if (!offsetOf(object, at)) return false;
    unsigned type = data_[at] >> 4, info = data_[at] & 0xF;
    uint64_t pos = at + 1, n = 0;
    Unfolded size{1, 0};
    if (type == 0x4 || type == 0x5 || type == 0x6) {
      if (!length(pos, info, n) || !payload(pos, n, type == 0x6 ? 2 : 1)) return false;
      size.bytes = type == 0x6 ? 2 * n : n;
    } else if (type == 0xA || type == 0xD) {
      if (depth >= kPlistMaxDepth) return fail("nesting deeper than " + std::to_string(kPlistMaxDepth));
      if (!length(pos, info, n) || !payload(pos, n, type == 0xD ? 2 * refSize_ : refSize_)) return false;
      state_[object] = kOpen;
      for (uint64_t k = 0; k < (type == 0xD ? 2 * n : n); ++k) {
        uint64_t target = bigEndian(data_ + pos + k * refSize_, refSize_);
        if (target >= count_) return fail("a reference to no object");
        Unfolded child;
        if (!measure(target, depth + 1, child)) return false;
        // Each term is within the limits, so the sums cannot wrap.
        size.values += child.values;
        size.bytes += child.bytes;
        if (size.values > valuesLimit_ || size.bytes > bytesLimit_)
          return fail("shared objects that unfold far beyond the file's size");
      }
    }
    state_[object] = kMeasured;
    measured_[object] = size;
    out = size;
    return true;
  }

  std::optional<std::string> string(uint64_t object) {
    uint64_t at = 0;
    if (!offsetOf(object, at)) return std::nullopt;
    unsigned type = data_[at] >> 4, info = data_[at] & 0xF;
    uint64_t pos = at + 1, n = 0;
    if (type != 0x5 && type != 0x6) return fail("a dictionary key that is not a string"), std::nullopt;
    if (!length(pos, info, n) || !payload(pos, n, type == 0x5 ? 1 : 2)) return std::nullopt;
    if (type == 0x5) {
      std::string_view bytes(reinterpret_cast<const char*>(data_ + pos), n);
      if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(bytes);
      // Marked ASCII, yet holding bytes above 0x7F (other writers than
      // Foundation's put UTF-8 there): CoreFoundation reads each as the
      // Latin-1 character of that number, and so does this.
      std::string out;
      out.reserve(2 * n);
      for (char c : bytes) appendUtf8(out, static_cast<unsigned char>(c));
      return out;
    }
    std::string out;
    std::string_view units(reinterpret_cast<const char*>(data_ + pos), 2 * n);
    if (const char* problem = appendUtf16(out, units, true)) return fail(problem), std::nullopt;
    return out;
  }

  std::optional<Value> object(uint64_t object, int depth) {
    uint64_t at = 0;
    if (!offsetOf(object, at)) return std::nullopt;
    unsigned type = data_[at] >> 4, info = data_[at] & 0xF;
    uint64_t pos = at + 1, n = 0;
    switch (type) {
      case 0x0:
        if (info == 0x8 || info == 0x9) return Value(info == 0x9);
        return fail("a null or fill object"), std::nullopt;
      case 0x1: {
        if (info > 4 || !payload(pos, uint64_t{1} << info, 1)) return fail("a malformed integer"), std::nullopt;
        if (info < 3) return Value(static_cast<int64_t>(bigEndian(data_ + pos, size_t{1} << info)));
        if (info == 3) return Value(static_cast<int64_t>(bigEndian(data_ + pos, 8)));
        // 128 bits, signed: Foundation writes unsigned 64-bit values past
        // INT64_MAX so. Anything needing more than 64 bits is no NSNumber.
        uint64_t high = bigEndian(data_ + pos, 8), low = bigEndian(data_ + pos + 8, 8);
        if (high == 0 && low > uint64_t{INT64_MAX}) return Value(Value::Unsigned{low});
        bool fits = (high == 0 && low <= uint64_t{INT64_MAX}) || (high == ~uint64_t{0} && low > uint64_t{INT64_MAX});
        if (!fits) return fail("an integer beyond 64 bits"), std::nullopt;
        return Value(static_cast<int64_t>(low));
      }
      case 0x2:
      case 0x3: {
        if ((info != 2 && info != 3) || (type == 0x3 && info != 3) || !payload(pos, uint64_t{1} << info, 1))
          return fail("a malformed real or date"), std::nullopt;
        double d = 0;
        if (info == 2) {
          auto bits = static_cast<uint32_t>(bigEndian(data_ + pos, 4));
          float f = 0;
          std::memcpy(&f, &bits, sizeof f);
          d = f;
        } else {
          d = bitsToDouble(bigEndian(data_ + pos, 8));
        }
        return type == 0x2 ? Value(d) : Value(Value::Date{d});
      }
      case 0x4: {
        if (!length(pos, info, n) || !payload(pos, n, 1)) return std::nullopt;
        return Value(Value::Data{std::vector<uint8_t>(data_ + pos, data_ + pos + n)});
      }
      case 0x5:
      case 0x6: {
        auto s = string(object);
        if (!s) return std::nullopt;
        return Value(std::move(*s));
      }
      case 0xA:
      case 0xD: {
        if (depth >= kPlistMaxDepth) return fail("nesting deeper than " + std::to_string(kPlistMaxDepth)), std::nullopt;
        // measure() has checked the length and every reference, and found no cycle.
        length(pos, info, n);
        auto ref = [&](uint64_t k) { return bigEndian(data_ + pos + k * refSize_, refSize_); };
        std::optional<Value> result;
        if (type == 0xA) {
          Value::Array items;
          items.reserve(n);
          for (uint64_t k = 0; k < n; ++k) {
            auto v = this->object(ref(k), depth + 1);
            if (!v) return std::nullopt;
            items.push_back(std::move(*v));
          }
          result = Value(std::move(items));
        } else {
          Value::Dict entries;
          std::set<std::string, std::less<>> keys;
          for (uint64_t k = 0; k < n; ++k) {
            auto key = string(ref(k));
            if (!key) return std::nullopt;
            if (!keys.insert(*key).second) return fail("a dictionary that repeats a key"), std::nullopt;
            auto v = this->object(ref(n + k), depth + 1);
            if (!v) return std::nullopt;
            entries.emplace_back(std::move(*key), std::move(*v));
          }
          result = Value(std::move(entries));
        }
        return result;
      }
      default:  // UIDs of keyed archives, sets, and what no version of the format defines
        return fail("an object of a kind user defaults do not hold"), std::nullopt;
    }
  }

  const unsigned char* data_;
  uint64_t size_;
  uint64_t valuesLimit_, bytesLimit_;
  uint64_t offsetSize_ = 0, refSize_ = 0, count_ = 0, table_ = 0;
  std::vector<uint8_t> state_;
  std::vector<Unfolded> measured_;
};

// ---------------------------------------------------------------- writing

// Objects in the order they are met, the root first. Equal strings (keys
// too), numbers, dates and data are written once, as Foundation and
// plistlib write them: their encoded bytes are the test of equality, so
// 0.0 and -0.0 stay apart and a NaN meets only its own bits. Collections
// are never shared, as Foundation shares none, and the reader counts every
// value behind its own reference.
class BinaryWriter {
 public:
  explicit BinaryWriter(bool share) : share_(share) {}

  std::string document(const Value& root) {
    add(root);
    const size_t refSize = bytesFor(objects_.size() - 1);
    std::string out = "bplist00";
    std::vector<uint64_t> offsets;
    offsets.reserve(objects_.size());
    for (const Object& o : objects_) {
      offsets.push_back(out.size());
      if (o.kind == Object::Scalar) {
        out += o.bytes;
        continue;
      }
      marker(out, o.kind == Object::Array ? 0xA : 0xD, o.kind == Object::Array ? o.refs.size() : o.refs.size() / 2);
      for (uint64_t r : o.refs) putBigEndian(out, r, refSize);
    }
    uint64_t table = out.size();
    size_t offsetSize = bytesFor(table);
    for (uint64_t o : offsets) putBigEndian(out, o, offsetSize);
    out.append(6, '\0');
    out += static_cast<char>(offsetSize);
    out += static_cast<char>(refSize);
    putBigEndian(out, objects_.size(), 8);
    putBigEndian(out, 0, 8);  // the root is the first object
    putBigEndian(out, table, 8);
    return out;
  }

  // The text and data a reader unfolds, in the units it counts them in.
  uint64_t unfoldedBytes() const { return unfolded_; }

 private:
  struct Object {
    enum Kind { Scalar, Array, Dict } kind = Scalar;
    std::string bytes;           // a scalar's whole encoding
    std::vector<uint64_t> refs;  // a dictionary's keys, then its values
  };

  static size_t bytesFor(uint64_t n) { return n <= 0xFF ? 1 : n <= 0xFFFF ? 2 : n <= 0xFFFFFFFF ? 4 : 8; }
  static void putBigEndian(std::string& out, uint64_t v, size_t n) {
    for (size_t k = n; k-- > 0;) out += static_cast<char>(v >> (8 * k));
  }
  static void marker(std::string& out, unsigned type, uint64_t n) {
    if (n < 15) {
      out += static_cast<char>(type << 4 | n);
      return;
    }
    out += static_cast<char>(type << 4 | 0xF);
    size_t bytes = bytesFor(n);
    out += static_cast<char>(0x10 | (bytes == 1 ? 0 : bytes == 2 ? 1 : bytes == 4 ? 2 : 3));
    putBigEndian(out, n, bytes);
  }
  static void integer(std::string& out, uint64_t u, size_t bytes) {
    out += static_cast<char>(0x10 | (bytes == 1 ? 0 : bytes == 2 ? 1 : bytes == 4 ? 2 : bytes == 8 ? 3 : 4));
    if (bytes == 16) putBigEndian(out, 0, 8);
    putBigEndian(out, u, bytes == 16 ? 8 : bytes);
  }

  static std::string encodedString(const std::string& s) {
    std::string out;
    if (std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
      marker(out, 0x5, s.size());
      return out + s;
    }
    std::string units;
    uint32_t cp = 0;
    for (size_t i = 0; i < s.size() && nextCodePoint(s, i, cp);) {
      if (cp >= 0x10000) {
        cp -= 0x10000;
        putBigEndian(units, 0xD800 + (cp >> 10), 2);
        putBigEndian(units, 0xDC00 + (cp & 0x3FF), 2);
      } else {
        putBigEndian(units, cp, 2);
      }
    }
    marker(out, 0x6, units.size() / 2);
    return out + units;
  }

  // The index of an object so encoded: a new one, or the equal one before.
  uint64_t scalar(std::string bytes) {
    if (share_) {
      auto found = seen_.find(bytes);
      if (found != seen_.end()) return found->second;
    }
    objects_.push_back(Object{Object::Scalar, std::move(bytes), {}});
    if (share_) seen_.emplace(objects_.back().bytes, objects_.size() - 1);
    return objects_.size() - 1;
  }

  uint64_t string(const std::string& s) {
    std::string bytes = encodedString(s);
    unfolded_ += bytes.size();
    return scalar(std::move(bytes));
  }

  uint64_t add(const Value& v) {
    if (auto* s = std::get_if<std::string>(&v.v)) return string(*s);
    auto* a = std::get_if<Value::Array>(&v.v);
    auto* m = std::get_if<Value::Dict>(&v.v);
    if (a || m) {
      const uint64_t index = objects_.size();
      objects_.push_back(Object{a ? Object::Array : Object::Dict, {}, {}});
      std::vector<uint64_t> refs;
      if (a) {
        refs.reserve(a->size());
        for (const Value& item : *a) refs.push_back(add(item));
      } else {
        refs.resize(2 * m->size());
        for (size_t k = 0; k < m->size(); ++k) refs[k] = string((*m)[k].first);
        for (size_t k = 0; k < m->size(); ++k) refs[m->size() + k] = add((*m)[k].second);
      }
      objects_[index].refs = std::move(refs);
      return index;
    }
    std::string out;
    if (auto* b = std::get_if<bool>(&v.v)) {
      out += static_cast<char>(*b ? 0x09 : 0x08);
    } else if (auto* i = std::get_if<int64_t>(&v.v)) {
      auto u = static_cast<uint64_t>(*i);
      integer(out, u, *i < 0 ? 8 : bytesFor(u));  // negative numbers take all eight bytes
    } else if (auto* n = std::get_if<Value::Unsigned>(&v.v)) {
      // Past INT64_MAX the eight bytes would read as negative: sixteen, as Foundation writes them.
      integer(out, n->value, n->value > uint64_t{INT64_MAX} ? 16 : bytesFor(n->value));
    } else if (auto* d = std::get_if<double>(&v.v)) {
      out += '\x23';
      putBigEndian(out, doubleToBits(*d), 8);
    } else if (auto* date = std::get_if<Value::Date>(&v.v)) {
      out += '\x33';
      putBigEndian(out, doubleToBits(date->secondsSince2001), 8);
    } else if (auto* data = std::get_if<Value::Data>(&v.v)) {
      marker(out, 0x4, data->bytes.size());
      out.append(data->bytes.begin(), data->bytes.end());
      unfolded_ += data->bytes.size();
    }
    return scalar(std::move(out));
  }

  bool share_;
  uint64_t unfolded_ = 0;
  // A deque keeps each object where it is, so the index can point into it.
  std::deque<Object> objects_;
  std::unordered_map<std::string_view, uint64_t> seen_;
};

}  // namespace

std::optional<Value> readBinary(std::string_view bytes, std::string& error) {
  BinaryReader reader(bytes);
  auto v = reader.document();
  error = reader.error;
  return v;
}

std::string writeBinary(const Value& value) {
  BinaryWriter shared(true);
  std::string out = shared.document(value);
  // Sharing so much that a reader would refuse the file (a long string
  // stored many times over): then every copy is written out in full, which
  // no reader refuses, since nothing it unfolds is then shared.
  if (shared.unfoldedBytes() <= unfoldedBytesLimit(out.size())) return out;
  return BinaryWriter(false).document(value);
}

}  // namespace tl::sim::plist
