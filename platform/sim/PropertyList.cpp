// The value model of a property list: what can be written at all, which
// form carries it, and when two values are the same down to the bits.
#include "platform/sim/PropertyList.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <set>

#include "platform/sim/PlistForms.h"

namespace tl::sim {

using namespace std::string_literals;

namespace plist {


bool nextCodePoint(std::string_view s, size_t& i, uint32_t& cp) {
  auto c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) {
    cp = c;
    ++i;
    return true;
  }
  int length = c >= 0xF0 && c < 0xF5 ? 4 : c >= 0xE0 && c < 0xF0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
  if (length == 0 || i + length > s.size()) return false;
  cp = length == 4 ? c & 0x07u : length == 3 ? c & 0x0Fu : c & 0x1Fu;
  for (int k = 1; k < length; ++k) {
    auto cc = static_cast<unsigned char>(s[i + k]);
    if ((cc & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (cc & 0x3Fu);
  }
  if ((length == 3 && (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000))) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
    return false;
  i += length;
  return true;
}

bool isUtf8(std::string_view s) {
  uint32_t cp = 0;
  for (size_t i = 0; i < s.size();)
    if (!nextCodePoint(s, i, cp)) return false;
  return true;
}

bool isXmlChar(uint32_t cp) {
  return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) || (cp >= 0xE000 && cp <= 0xFFFD) ||
         (cp >= 0x10000 && cp <= 0x10FFFF);
}

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}


double bitsToDouble(uint64_t bits) {
  double d = 0;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

const char* appendUtf16(std::string& out, std::string_view units, bool bigEndian) {
  auto unit = [&](size_t k) {
    auto first = static_cast<unsigned char>(units[k]), second = static_cast<unsigned char>(units[k + 1]);
    return bigEndian ? static_cast<uint32_t>(first << 8 | second) : static_cast<uint32_t>(second << 8 | first);
  };
  const size_t n = units.size() / 2 * 2;
  for (size_t k = 0; k < n; k += 2) {
    uint32_t cp = unit(k);
    if (cp >= 0xDC00 && cp < 0xE000) return "a lone low surrogate";
    if (cp >= 0xD800 && cp < 0xDC00) {
      uint32_t low = k + 2 < n ? unit(k + 2) : 0;
      if (low < 0xDC00 || low >= 0xE000) return "a lone high surrogate";
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
      k += 2;
    }
    appendUtf8(out, cp);
  }
  return nullptr;
}

const char* appendUtf32(std::string& out, std::string_view units, bool bigEndian) {
  for (size_t k = 0; k + 4 <= units.size(); k += 4) {
    uint32_t cp = 0;
    for (size_t b = 0; b < 4; ++b)
      cp |= static_cast<uint32_t>(static_cast<unsigned char>(units[k + b])) << (bigEndian ? 24 - 8 * b : 8 * b);
    if (cp > 0x10FFFF) return "a character past U+10FFFF";
    if (cp >= 0xD800 && cp < 0xE000) return "a surrogate in UTF-32";
    appendUtf8(out, cp);
  }
  return nullptr;
}

std::optional<std::string_view> decodedText(std::string_view bytes, std::string& storage, std::string& error) {
  auto bom = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
  // UTF-32's little-endian mark begins as UTF-16's does: it is looked for first.
  const bool utf32 = bom("\0\0\xFE\xFF"s) || bom("\xFF\xFE\0\0"s);
  const bool utf16 = !utf32 && (bom("\xFE\xFF") || bom("\xFF\xFE"));
  if (!utf32 && !utf16) return bom("\xEF\xBB\xBF") ? bytes.substr(3) : bytes;
  const size_t unit = utf32 ? 4 : 2;
  if (bytes.size() % unit)
    return error = std::string(utf32 ? "UTF-32" : "UTF-16") + " with a broken last character", std::nullopt;
  const bool big = bytes[0] == '\0' || bytes[0] == '\xFE';
  storage.reserve(bytes.size() * 3 / unit);
  const char* problem = utf32 ? appendUtf32(storage, bytes.substr(4), big) : appendUtf16(storage, bytes.substr(2), big);
  if (problem) return error = problem, std::nullopt;
  return std::string_view(storage);
}

uint64_t doubleToBits(double d) {
  uint64_t bits = 0;
  std::memcpy(&bits, &d, sizeof d);
  return bits;
}

}  // namespace plist

namespace {

using namespace plist;

// Whether the value can be written at all, and whether XML can carry it.
struct Check {
  std::string why;
  bool xml = true;

  bool operator()(const Value& v, int depth) {
    if (auto* s = std::get_if<std::string>(&v.v)) return text(*s);
    if (auto* d = std::get_if<double>(&v.v)) xml = xml && !std::isnan(*d);
    if (auto* d = std::get_if<Value::Date>(&v.v)) xml = xml && xmlCanCarryDate(d->secondsSince2001);
    auto* a = std::get_if<Value::Array>(&v.v);
    auto* m = std::get_if<Value::Dict>(&v.v);
    if (!a && !m) return true;
    if (depth >= kPlistMaxDepth) return fail("nesting deeper than " + std::to_string(kPlistMaxDepth));
    if (a) {
      for (const Value& item : *a)
        if (!(*this)(item, depth + 1)) return false;
      return true;
    }
    std::set<std::string_view> keys;
    for (const auto& [key, item] : *m) {
      if (!text(key)) return false;
      if (!keys.insert(key).second) return fail("a dictionary that repeats a key");
      if (!(*this)(item, depth + 1)) return false;
    }
    return true;
  }
  bool text(const std::string& s) {
    if (!isUtf8(s)) return fail("a string that is not UTF-8 text");
    xml = xml && xmlCanCarryText(s);
    return true;
  }
  bool fail(std::string text) {
    why = std::move(text);
    return false;
  }
};

}  // namespace

std::optional<Value> readPropertyList(std::string_view bytes, std::string* why) {
  std::string error;
  auto v = [&]() -> std::optional<Value> {
    if (bytes.substr(0, 6) == "bplist") return readBinary(bytes, error);
    std::string storage;
    auto text = decodedText(bytes, storage, error);
    if (!text) return std::nullopt;
    size_t first = text->find_first_not_of(" \t\r\n");
    // A tag begins XML; "<" and hexadecimal digits may also be data in the
    // old text form, which is tried when XML cannot make sense of them.
    if (first != std::string_view::npos && (*text)[first] == '<') {
      if (auto xml = readXml(*text, error)) return xml;
      std::string ignored;
      return readOpenStep(*text, ignored);
    }
    return readOpenStep(*text, error);
  }();
  if (!v && why) *why = error.empty() ? "not a property list" : error;
  return v;
}

std::optional<std::string> writePropertyList(const Value& value, PlistFormat format, std::string* why) {
  Check check;
  if (!check(value, 0)) {
    if (why) *why = check.why;
    return std::nullopt;
  }
  if (format == PlistFormat::Xml && !check.xml) {
    if (why) *why = "a value XML cannot carry";
    return std::nullopt;
  }
  if (format == PlistFormat::Binary || (format == PlistFormat::Automatic && !check.xml)) return writeBinary(value);
  return writeXml(value);
}

bool identicalValues(const Value& a, const Value& b) {
  if (a.v.index() != b.v.index()) return false;
  if (auto* d = std::get_if<double>(&a.v)) return doubleToBits(*d) == doubleToBits(std::get<double>(b.v));
  if (auto* d = std::get_if<Value::Date>(&a.v))
    return doubleToBits(d->secondsSince2001) == doubleToBits(std::get<Value::Date>(b.v).secondsSince2001);
  if (auto* x = std::get_if<Value::Array>(&a.v)) {
    const auto& y = std::get<Value::Array>(b.v);
    return x->size() == y.size() && std::equal(x->begin(), x->end(), y.begin(), identicalValues);
  }
  if (auto* x = std::get_if<Value::Dict>(&a.v)) {
    const auto& y = std::get<Value::Dict>(b.v);
    return x->size() == y.size() && std::equal(x->begin(), x->end(), y.begin(), [](const auto& p, const auto& q) {
             return p.first == q.first && identicalValues(p.second, q.second);
           });
  }
  return a == b;
}

Value withoutRepeatedKeys(Value value) {
  if (auto* a = std::get_if<Value::Array>(&value.v))
    for (Value& item : *a) item = withoutRepeatedKeys(std::move(item));
  if (auto* m = std::get_if<Value::Dict>(&value.v)) {
    Value::Dict unique;
    std::map<std::string, size_t, std::less<>> at;
    for (auto& [key, item] : *m) {
      auto [found, fresh] = at.emplace(key, unique.size());
      if (fresh) unique.emplace_back(std::move(key), withoutRepeatedKeys(std::move(item)));
      else unique[found->second].second = withoutRepeatedKeys(std::move(item));
    }
    *m = std::move(unique);
  }
  return value;
}


}  // namespace tl::sim
