#include "platform/sim/DefaultsTool.h"

#include <locale.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <limits>
#include <optional>

#include "platform/sim/SimDefaults.h"

namespace tl::sim {

namespace {

constexpr const char* kUsage =
    "Usage: defaults read [DOMAIN] [KEY]\n"
    "       defaults read-type [DOMAIN] KEY\n"
    "       defaults write [DOMAIN] KEY VALUE\n"
    "       defaults write [DOMAIN] KEY -string S | -int N | -integer N | -float X | -bool YES|NO|true|false\n"
    "       defaults delete [DOMAIN] [KEY]\n"
    "DOMAIN is com.ferrowick.tuckline, as on a Mac, or left out. VALUE without a type is written as a string.\n"
    "delete without KEY removes the whole domain.\n";

// A word in the domain's place that names a domain ("com.apple.finder")
// rather than a key: dotted, of the characters bundle identifiers use.
bool looksLikeDomain(const std::string& s) {
  if (s == "NSGlobalDomain" || s == "-g" || s == "-globalDomain") return true;
  if (s.find('.') == std::string::npos || s.front() == '.' || s.back() == '.' || s.find("..") != std::string::npos)
    return false;
  return std::all_of(s.begin(), s.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
  });
}

std::string domainName(const std::string& plistPath) {
  std::filesystem::path p(plistPath);
  std::string name = p.extension() == ".plist" ? p.stem().string() : p.filename().string();
  return name.empty() ? "com.ferrowick.tuckline" : name;
}

// ---- Printing as Foundation's descriptions do ----

void appendEscaped(std::string& out, uint32_t codeUnit) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "\\U%04x", static_cast<unsigned>(codeUnit));
  out += buf;
}

// Strings of letters, digits and "_$" stand bare; anything else is quoted,
// with non-ASCII characters as \U and UTF-16 code units.
std::string quoted(const std::string& s) {
  bool bare = !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$';
  });
  if (bare) return s;
  std::string out = "\"";
  for (size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      if (c == '"' || c == '\\') out += '\\', out += static_cast<char>(c);
      else if (c == '\n') out += "\\n";
      else if (c == '\t') out += "\\t";
      else if (c < 0x20 || c == 0x7F) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "\\%03o", c);
        out += buf;
      } else out += static_cast<char>(c);
      continue;
    }
    // Decode one UTF-8 sequence; a malformed byte shows as U+FFFD.
    int length = c >= 0xF0 && c < 0xF5 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    uint32_t cp = length == 4 ? c & 0x07 : length == 3 ? c & 0x0F : c & 0x1F;
    bool ok = length > 0 && i + length <= s.size();
    for (int k = 1; ok && k < length; ++k) {
      auto cc = static_cast<unsigned char>(s[i + k]);
      ok = (cc & 0xC0) == 0x80;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (ok && ((length == 3 && (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000))) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF))))
      ok = false;
    if (!ok) {
      appendEscaped(out, 0xFFFD);
      ++i;
      continue;
    }
    i += length;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      appendEscaped(out, 0xD800 + (cp >> 10));
      appendEscaped(out, 0xDC00 + (cp & 0x3FF));
    } else appendEscaped(out, cp);
  }
  return out + "\"";
}

std::string numberText(double d) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, r.ptr);
}

std::string dateText(const Value::Date& d) {
  double unix = std::isfinite(d.secondsSince2001) ? std::floor(d.secondsSince2001) + 978307200.0 : 978307200.0;
  unix = std::clamp(unix, -62135596800.0, 253402300799.0);  // years 1 to 9999
  time_t t = static_cast<time_t>(unix);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d +0000", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

std::string dataText(const Value::Data& d) {
  static const char* hex = "0123456789abcdef";
  auto bytes = [&](size_t from, size_t to, bool grouped) {
    std::string s;
    for (size_t k = from; k < to; ++k) {
      if (grouped && k > from && (k - from) % 4 == 0) s += ' ';
      s += hex[d.bytes[k] >> 4];
      s += hex[d.bytes[k] & 0xF];
    }
    return s;
  };
  size_t n = d.bytes.size();
  std::string s = "{length = " + std::to_string(n) + ", bytes = 0x";
  if (n <= 24) return s + bytes(0, n, false) + "}";
  return s + bytes(0, 16, true) + " ... " + bytes(n - 8, n, true) + " }";
}

std::string indent(int level) { return std::string(static_cast<size_t>(level) * 4, ' '); }

std::string describe(const Value& v, int level, bool top);

struct Describe {
  int level;
  bool top;
  // Scalars inside a collection are quoted by the same rule as strings.
  std::string scalar(const std::string& text) const { return top ? text : quoted(text); }
  std::string operator()(bool b) const { return b ? "1" : "0"; }
  std::string operator()(int64_t i) const { return scalar(std::to_string(i)); }
  std::string operator()(Value::Unsigned u) const { return scalar(std::to_string(u.value)); }
  std::string operator()(double d) const { return scalar(numberText(d)); }
  std::string operator()(const std::string& s) const { return scalar(s); }
  std::string operator()(const Value::Data& d) const { return dataText(d); }
  std::string operator()(const Value::Date& d) const { return scalar(dateText(d)); }
  std::string operator()(const Value::Array& a) const {
    std::string s = indent(level) + "(\n";
    for (size_t k = 0; k < a.size(); ++k)
      s += indent(level + 1) + describe(a[k], level + 1, false) + (k + 1 < a.size() ? ",\n" : "\n");
    return s + indent(level) + ")";
  }
  std::string operator()(const Value::Dict& d) const {
    // Keys sorted, as a dictionary describes itself; a repeated key shows once, last value.
    std::vector<const std::pair<std::string, Value>*> entries;
    for (const auto& e : d) {
      auto same = std::find_if(entries.begin(), entries.end(), [&](auto* x) { return x->first == e.first; });
      if (same != entries.end()) *same = &e;
      else entries.push_back(&e);
    }
    std::stable_sort(entries.begin(), entries.end(), [](auto* a, auto* b) { return a->first < b->first; });
    std::string s = indent(level) + "{\n";
    for (auto* e : entries)
      s += indent(level + 1) + quoted(e->first) + " = " + describe(e->second, level + 1, false) + ";\n";
    return s + indent(level) + "}";
  }
};

std::string describe(const Value& v, int level, bool top) { return std::visit(Describe{level, top}, v.v); }

const char* typeName(const Value& v) {
  static const char* names[] = {"boolean", "integer", "float", "string", "data", "date", "array", "dictionary", "integer"};
  return names[v.v.index()];
}

// ---- Parsing typed values ----

std::optional<int64_t> parseInteger(const std::string& s) {
  const char* begin = s.data();
  const char* end = begin + s.size();
  if (begin != end && *begin == '+') ++begin;
  if (begin == end || *begin == '+') return std::nullopt;
  int64_t v = 0;
  auto r = std::from_chars(begin, end, v);
  if (r.ec != std::errc() || r.ptr != end) return std::nullopt;
  return v;
}

std::optional<double> parseReal(const std::string& s) {
  const char* begin = s.data();
  const char* end = begin + s.size();
  if (begin != end && *begin == '+') ++begin;
  // Decimal digits, a point and an exponent only: strtod would also take
  // spaces, hexadecimal, "inf" and "nan". (Floating-point from_chars would
  // do, but the libc++ of the clang build has none.)
  auto digits = [&](const char*& p) {
    const char* from = p;
    while (p != end && *p >= '0' && *p <= '9') ++p;
    return p != from;
  };
  const char* p = begin;
  if (p != end && *p == '-') ++p;
  bool whole = digits(p);
  bool fraction = p != end && *p == '.' && (++p, digits(p));
  if (!whole && !fraction) return std::nullopt;
  if (p != end && (*p == 'e' || *p == 'E')) {
    ++p;
    if (p != end && (*p == '+' || *p == '-')) ++p;
    if (!digits(p)) return std::nullopt;
  }
  if (p != end) return std::nullopt;
  // Whatever locale the process runs in, the point is '.'.
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  std::string text(begin, end);
  double v = strtod_l(text.c_str(), nullptr, c);
  if (!std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<bool> parseBool(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (s == "yes" || s == "true") return true;
  if (s == "no" || s == "false") return false;
  return std::nullopt;
}

bool isTypeFlag(const std::string& s) {
  return s == "-string" || s == "-int" || s == "-integer" || s == "-float" || s == "-bool" || s == "-boolean";
}

std::optional<Value> parseWriteValue(const std::vector<std::string>& args) {
  // args: write KEY VALUE...
  if (args.size() == 3) {
    if (isTypeFlag(args[2])) return std::nullopt;
    return Value(args[2]);
  }
  if (args.size() != 4 || !isTypeFlag(args[2])) return std::nullopt;
  const std::string& type = args[2];
  const std::string& text = args[3];
  if (type == "-string") return Value(text);
  if (type == "-int" || type == "-integer") {
    if (auto i = parseInteger(text)) return Value(*i);
    return std::nullopt;
  }
  if (type == "-float") {
    if (auto d = parseReal(text)) return Value(*d);
    return std::nullopt;
  }
  if (auto b = parseBool(text)) return Value(*b);
  return std::nullopt;
}

const Value* find(const Value::Dict& domain, const std::string& key) {
  const Value* found = nullptr;
  for (const auto& [k, v] : domain)
    if (k == key) found = &v;  // the last of a repeated key, as the dictionary keeps it
  return found;
}

}  // namespace

std::string describeDefaultsValue(const Value& value) { return describe(value, 0, true); }

int runDefaultsTool(const std::string& plistPath, const std::vector<std::string>& given, std::ostream& out,
                    std::ostream& err) {
  const std::string domain = domainName(plistPath);
  auto usage = [&] {
    err << kUsage;
    return 1;
  };
  if (given.empty()) return usage();
  const std::string& verb = given[0];
  if (verb == "help" || verb == "-h" || verb == "--help") {
    out << kUsage;
    return 0;
  }
  // A Mac names the domain after the verb; this store holds one, so it may
  // also be left out. Another domain is one this Mac does not have.
  std::vector<std::string> args = given;
  if (args.size() > 1 && args[1] == domain) {
    args.erase(args.begin() + 1);
  } else if (args.size() > 1 && looksLikeDomain(args[1])) {
    const std::string& other = args[1];
    if (verb == "read" || verb == "read-type") {
      if (args.size() > 3 || (verb == "read-type" && args.size() != 3)) return usage();
      if (args.size() == 3) err << "The domain/default pair of (" << other << ", " << args[2] << ") does not exist\n";
      else err << "Domain " << other << " does not exist\n";
      return 1;
    }
    if (verb == "delete") {
      if (args.size() > 3) return usage();
      err << "Domain (" << other << ") not found.\nDefaults have not been changed.\n";
      return 1;
    }
    if (verb == "write") {
      if (args.size() < 4 || !parseWriteValue(std::vector<std::string>(args.begin() + 1, args.end()))) return usage();
      err << "Could not write domain " << other << " (only " << domain << " is kept here); exiting\n";
      return 1;
    }
    return usage();
  }

  SimDefaults defaults(plistPath);
  auto noSuchPair = [&](const std::string& key) {
    err << "The domain/default pair of (" << domain << ", " << key << ") does not exist\n";
    return 1;
  };
  auto damaged = [&] {
    err << "The property list of domain " << domain << " (" << plistPath << ") cannot be read ("
        << defaults.damage() << "); it is kept as it is until the next write copies it aside\n";
  };
  auto written = [&] {
    if (std::string why = defaults.writeError(); !why.empty()) {
      err << "Could not write domain " << domain << " (" << why << "); exiting\n";
      return 1;
    }
    if (std::string aside = defaults.movedAsidePath(); !aside.empty())
      err << "The unreadable property list of domain " << domain << " was moved aside to " << aside << "\n";
    return 0;
  };

  if (verb == "read" || verb == "read-type") {
    if (args.size() > 2 || (verb == "read-type" && args.size() != 2)) return usage();
    auto values = defaults.persistentDomain();
    if (!values) {
      if (defaults.fileState() == SimDefaults::FileState::Damaged) damaged();
      if (args.size() == 2) return noSuchPair(args[1]);
      err << "Domain " << domain << " does not exist\n";
      return 1;
    }
    if (args.size() == 1) {
      out << describe(Value(*values), 0, true) << "\n";
      return 0;
    }
    const Value* v = find(*values, args[1]);
    if (!v) return noSuchPair(args[1]);
    if (verb == "read-type") out << "Type is " << typeName(*v) << "\n";
    else out << describe(*v, 0, true) << "\n";
    return 0;
  }

  if (verb == "write") {
    if (args.size() < 3) return usage();
    auto value = parseWriteValue(args);
    if (!value) return usage();
    defaults.setObject(args[1], *value);
    return written();
  }

  if (verb == "delete") {
    if (args.size() > 2) return usage();
    auto values = defaults.persistentDomain();
    bool damagedFile = !values && defaults.fileState() == SimDefaults::FileState::Damaged;
    if (args.size() == 2 && (!values || !find(*values, args[1]))) {
      if (damagedFile) damaged();
      err << "Domain (" << domain << ") not found.\nDefaults have not been changed.\n";
      return 1;
    }
    if (args.size() == 1 && !values && !damagedFile) {
      err << "Domain (" << domain << ") not found.\nDefaults have not been changed.\n";
      return 1;
    }
    if (args.size() == 2) defaults.removeObjectForKey(args[1]);
    else defaults.removePersistentDomain();
    return written();
  }

  return usage();
}

}  // namespace tl::sim
