// The XML form of a property list: read as an XML parser reads it, written
// the way Foundation writes it (tabs, one value a line).
#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <vector>

#include "platform/sim/PlistForms.h"
#include "platform/sim/PropertyList.h"

namespace tl::sim::plist {

namespace {

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && isXmlSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && isXmlSpace(s.back())) s.remove_suffix(1);
  return s;
}

// ---------------------------------------------------------------- numbers and dates

// Decimal, or hexadecimal after 0x as plistlib and Foundation read it,
// with an optional sign: whatever fits 64 bits signed, or unsigned.
std::optional<Value> integerText(std::string_view s) {
  s = trimmed(s);
  bool negative = !s.empty() && s[0] == '-';
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) s.remove_prefix(1);
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    s.remove_prefix(2);
    base = 16;
  }
  // from_chars would take a second sign, and reads the magnitude alone.
  if (s.empty() || s[0] == '+' || s[0] == '-') return std::nullopt;
  uint64_t magnitude = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
  constexpr auto kMax = uint64_t{INT64_MAX};
  if (negative) {
    if (magnitude > kMax + 1) return std::nullopt;
    return Value(magnitude == kMax + 1 ? INT64_MIN : -static_cast<int64_t>(magnitude));
  }
  if (magnitude > kMax) return Value(Value::Unsigned{magnitude});
  return Value(static_cast<int64_t>(magnitude));
}

std::optional<double> realText(std::string_view raw) {
  std::string s(trimmed(raw));
  std::string lower = s;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (lower == "nan") return std::numeric_limits<double>::quiet_NaN();
  if (lower == "inf" || lower == "+inf" || lower == "infinity" || lower == "+infinity")
    return std::numeric_limits<double>::infinity();
  if (lower == "-inf" || lower == "-infinity") return -std::numeric_limits<double>::infinity();
  // A decimal number and nothing else: no hexadecimal, no "nan(…)".
  size_t i = 0, digits = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) ++digits;
  if (i < s.size() && s[i] == '.')
    for (++i; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) ++digits;
  if (digits == 0) return std::nullopt;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t start = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    if (i == start) return std::nullopt;
  }
  if (i != s.size()) return std::nullopt;
  // The process's locale must not turn "1.5" into 1.
  static locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
  return c ? strtod_l(s.c_str(), nullptr, c) : strtod(s.c_str(), nullptr);
}

std::string realXmlText(double d) {
  if (std::isinf(d)) return d > 0 ? "+infinity" : "-infinity";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, d);  // the shortest text that reads back the same
  return std::string(buf, r.ptr);
}

// Days from 1970-01-01 to the given day of the proleptic Gregorian
// calendar, with a year 0 before year 1, as Foundation counts.
constexpr int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
}

constexpr int64_t kUnixAt2001 = 978307200;
// Years of up to six digits, either side of year 0: Foundation's own dates
// (distantPast is 0000-12-30T00:00:00Z, distantFuture 4001-01-01) and far
// beyond, within what a double holds to the second.
constexpr int64_t kMaxYear = 999999;
constexpr double kFirstXmlDate = static_cast<double>(daysFromCivil(-kMaxYear, 1, 1) * 86400 - kUnixAt2001);
constexpr double kLastXmlDate = static_cast<double>(daysFromCivil(kMaxYear, 12, 31) * 86400 + 86399 - kUnixAt2001);

std::optional<double> dateText(std::string_view raw) {
  std::string_view s = trimmed(raw);
  // [-]yyyy-MM-ddTHH:mm:ssZ, nothing else. Foundation writes the year with
  // printf's %04d ("0000", "-001", "12345") and reads any number of digits.
  bool negative = !s.empty() && s[0] == '-';
  if (negative) s.remove_prefix(1);
  size_t yearDigits = s.find('-');
  if (yearDigits < 1 || yearDigits > 6 || s.size() != yearDigits + 16) return std::nullopt;
  std::string_view rest = s.substr(yearDigits);
  if (rest[0] != '-' || rest[3] != '-' || rest[6] != 'T' || rest[9] != ':' || rest[12] != ':' || rest[15] != 'Z')
    return std::nullopt;
  auto number = [](std::string_view digits) -> int64_t {
    int64_t v = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return -1;
      v = v * 10 + (c - '0');
    }
    return v;
  };
  int64_t y = number(s.substr(0, yearDigits)), mo = number(rest.substr(1, 2)), d = number(rest.substr(4, 2)),
          h = number(rest.substr(7, 2)), mi = number(rest.substr(10, 2)), se = number(rest.substr(13, 2));
  if (y < 0 || mo < 1 || mo > 12 || d < 1 || h < 0 || h > 23 || mi < 0 || mi > 59 || se < 0 || se > 59)
    return std::nullopt;
  if (negative) y = -y;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;  // year 0 too, and every fourth before it
  if (d > kDays[mo - 1] + (mo == 2 && leap)) return std::nullopt;
  const int64_t days = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
  const int64_t unix = days * 86400 + h * 3600 + mi * 60 + se;
  return static_cast<double>(unix - kUnixAt2001);
}

std::string dateXmlText(double t) {
  auto unix = static_cast<int64_t>(t) + kUnixAt2001;
  int64_t days = unix >= 0 ? unix / 86400 : -((-unix + 86399) / 86400);
  int64_t rest = unix - days * 86400;
  int64_t y = 0;
  unsigned m = 0, d = 0;
  civilFromDays(days, y, m, d);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(y), m, d,
                static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
  return buf;
}

// ---------------------------------------------------------------- base64

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// As CoreFoundation decodes it: a byte outside the alphabet (white space,
// a stray character) is passed over. What it would read in a way of its
// own is refused rather than read otherwise: data after the padding, more
// than two padding characters, a last group cut short.
std::optional<std::vector<uint8_t>> base64Decode(std::string_view s) {
  std::vector<uint8_t> out;
  out.reserve(s.size() / 4 * 3);
  uint32_t bits = 0;
  int have = 0, padding = 0;
  for (char c : s) {
    if (c == '=') {
      ++padding;
      continue;
    }
    const char* at = c ? std::strchr(kBase64, c) : nullptr;
    if (!at) continue;
    if (padding > 0) return std::nullopt;
    bits = (bits << 6) | static_cast<uint32_t>(at - kBase64);
    have += 6;
    if (have >= 8) {
      have -= 8;
      out.push_back(static_cast<uint8_t>(bits >> have));
      bits &= (1u << have) - 1;
    }
  }
  // Characters in the last group: none left over (have 0), or 2 or 3 of
  // them (12 or 18 bits: have 4 or 2) padded to four.
  const int left = have == 0 ? 0 : have == 4 ? 2 : have == 2 ? 3 : -1;
  if (left < 0 || (left == 0 ? padding != 0 : left + padding != 4)) return std::nullopt;
  return out;
}

std::string base64Encode(const std::vector<uint8_t>& bytes) {
  std::string out;
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t n = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    for (int k = 18; k >= 0; k -= 6) out += kBase64[(n >> k) & 0x3F];
  }
  if (size_t rest = bytes.size() - i) {
    uint32_t n = bytes[i] << 16 | (rest == 2 ? bytes[i + 1] << 8 : 0);
    out += kBase64[(n >> 18) & 0x3F];
    out += kBase64[(n >> 12) & 0x3F];
    out += rest == 2 ? kBase64[(n >> 6) & 0x3F] : '=';
    out += '=';
  }
  return out;
}

// ---------------------------------------------------------------- reading

// The document as the parser reads it (already UTF-8): every CR LF and lone
// CR a line feed (a character reference &#13; still gives a CR). In
// `storage` only when it differs from the text.
std::string_view xmlInput(std::string_view text, std::string& storage) {
  if (text.find('\r') == std::string_view::npos) return text;
  std::string normal;
  normal.reserve(text.size());
  for (size_t k = 0; k < text.size(); ++k) {
    if (text[k] != '\r') normal += text[k];
    else if (k + 1 >= text.size() || text[k + 1] != '\n') normal += '\n';
  }
  storage = std::move(normal);
  return storage;
}

class XmlReader {
 public:
  explicit XmlReader(std::string_view s) : s_(s) {}

  std::optional<Value> document() {
    if (!misc(true)) return std::nullopt;
    Tag root;
    if (!tag(root) || root.closing) return fail("no property list"), std::nullopt;
    std::optional<Value> v;
    if (root.name == "plist") {
      Tag inner;
      if (root.empty || !misc(false) || !tag(inner) || inner.closing) return fail("an empty plist element"), std::nullopt;
      v = value(inner, 0);
      Tag end;
      if (!v || !misc(false) || !tag(end) || !end.closing || end.name != "plist")
        return fail("more than one value in the plist element"), std::nullopt;
    } else {
      v = value(root, 0);
    }
    if (!v || !misc(false)) return std::nullopt;
    if (i_ != s_.size()) return fail("text after the property list"), std::nullopt;
    return v;
  }

  std::string error;

 private:
  struct Tag {
    std::string name;
    bool closing = false, empty = false;
  };

  bool fail(const std::string& why) {
    if (error.empty()) error = why + " (XML, byte " + std::to_string(i_) + ")";
    return false;
  }
  bool at(std::string_view text) const { return s_.substr(i_, text.size()) == text; }
  bool skipPast(std::string_view end, const char* what) {
    size_t found = s_.find(end, i_);
    if (found == std::string_view::npos) return fail(std::string("an unterminated ") + what);
    i_ = found + end.size();
    return true;
  }

  // White space, comments and processing instructions; in the prolog also
  // the document type, as long as it declares nothing of its own.
  bool misc(bool prolog) {
    for (;;) {
      while (i_ < s_.size() && isXmlSpace(s_[i_])) ++i_;
      if (at("<!--")) {
        if (!skipPast("-->", "comment")) return false;
      } else if (at("<?")) {
        if (!skipPast("?>", "processing instruction")) return false;
      } else if (prolog && at("<!DOCTYPE")) {
        size_t end = s_.find('>', i_);
        if (end == std::string_view::npos) return fail("an unterminated document type");
        if (s_.substr(i_, end - i_).find('[') != std::string_view::npos)
          return fail("a document type with declarations of its own");
        i_ = end + 1;
      } else {
        return true;
      }
    }
  }

  static bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.' || c == ':';
  }

  bool tag(Tag& t) {
    t = {};
    if (!at("<")) return fail("text where an element belongs");
    ++i_;
    if (at("/")) {
      t.closing = true;
      ++i_;
    }
    size_t start = i_;
    while (i_ < s_.size() && isNameChar(s_[i_])) ++i_;
    t.name = std::string(s_.substr(start, i_ - start));
    if (t.name.empty()) return fail("an element without a name");
    // Attributes (plist's version) are read past, not used.
    for (;;) {
      while (i_ < s_.size() && isXmlSpace(s_[i_])) ++i_;
      if (i_ >= s_.size()) return fail("an unterminated tag");
      if (s_[i_] == '>') {
        ++i_;
        return true;
      }
      if (!t.closing && at("/>")) {
        i_ += 2;
        t.empty = true;
        return true;
      }
      if (t.closing) return fail("a closing tag with attributes");
      size_t nameStart = i_;
      while (i_ < s_.size() && isNameChar(s_[i_])) ++i_;
      while (i_ < s_.size() && isXmlSpace(s_[i_])) ++i_;
      if (i_ == nameStart || !at("=")) return fail("a malformed attribute");
      ++i_;
      while (i_ < s_.size() && isXmlSpace(s_[i_])) ++i_;
      if (i_ >= s_.size() || (s_[i_] != '"' && s_[i_] != '\'')) return fail("an attribute without quotes");
      size_t close = s_.find(s_[i_], i_ + 1);
      if (close == std::string_view::npos || s_.substr(i_, close - i_).find('<') != std::string_view::npos)
        return fail("an unterminated attribute");
      i_ = close + 1;
    }
  }

  // The character data of an element up to its closing tag, with
  // references resolved; every character must be one XML allows.
  bool text(const std::string& name, std::string& out) {
    out.clear();
    while (i_ < s_.size()) {
      char c = s_[i_];
      if (c == '<') {
        if (at("<![CDATA[")) {
          size_t end = s_.find("]]>", i_ + 9);
          if (end == std::string_view::npos) return fail("an unterminated CDATA section");
          if (!checkedAppend(out, s_.substr(i_ + 9, end - i_ - 9))) return false;
          i_ = end + 3;
        } else if (at("<!--")) {
          if (!skipPast("-->", "comment")) return false;
        } else if (at("<?")) {
          if (!skipPast("?>", "processing instruction")) return false;
        } else {
          Tag end;
          if (!tag(end) || !end.closing || end.name != name) return fail("an element inside <" + name + ">");
          return true;
        }
      } else if (c == '&') {
        if (!reference(out)) return false;
      } else {
        size_t start = i_;
        while (i_ < s_.size() && s_[i_] != '<' && s_[i_] != '&') ++i_;
        if (!checkedAppend(out, s_.substr(start, i_ - start))) return false;
      }
    }
    return fail("an unterminated <" + name + ">");
  }

  bool checkedAppend(std::string& out, std::string_view raw) {
    uint32_t cp = 0;
    for (size_t k = 0; k < raw.size();) {
      if (!nextCodePoint(raw, k, cp)) return fail("bytes that are not UTF-8");
      if (!isXmlChar(cp)) return fail("a character XML does not allow");
    }
    out.append(raw);
    return true;
  }

  bool reference(std::string& out) {
    size_t semi = s_.find(';', i_);
    if (semi == std::string_view::npos || semi - i_ > 12) return fail("a malformed reference");
    std::string_view name = s_.substr(i_ + 1, semi - i_ - 1);
    i_ = semi + 1;
    static const std::pair<std::string_view, char> kNamed[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [n, c] : kNamed)
      if (name == n) return out += c, true;
    if (name.size() < 2 || name[0] != '#') return fail("an unknown entity");
    bool hex = name[1] == 'x';
    std::string_view digits = name.substr(hex ? 2 : 1);
    uint32_t cp = 0;
    auto r = std::from_chars(digits.data(), digits.data() + digits.size(), cp, hex ? 16 : 10);
    if (digits.empty() || r.ec != std::errc() || r.ptr != digits.data() + digits.size())
      return fail("a malformed character reference");
    if (!isXmlChar(cp)) return fail("a character reference XML does not allow");
    appendUtf8(out, cp);
    return true;
  }

  std::optional<Value> value(const Tag& t, int depth) {
    if (t.closing) return fail("a stray </" + t.name + ">"), std::nullopt;
    const std::string& n = t.name;
    if (n == "dict" || n == "array") {
      if (depth >= kPlistMaxDepth) return fail("nesting deeper than " + std::to_string(kPlistMaxDepth)), std::nullopt;
      Value::Array items;
      Value::Dict entries;
      std::map<std::string, size_t, std::less<>> keys;  // where each key's value is
      while (!t.empty) {
        Tag next;
        if (!misc(false) || !tag(next)) return std::nullopt;
        if (next.closing) {
          if (next.name != n) return fail("</" + next.name + "> closing <" + n + ">"), std::nullopt;
          break;
        }
        if (n == "array") {
          auto v = value(next, depth + 1);
          if (!v) return std::nullopt;
          items.push_back(std::move(*v));
          continue;
        }
        if (next.name != "key") return fail("a value without its key"), std::nullopt;
        std::string key;
        if (!next.empty && !text("key", key)) return std::nullopt;
        Tag valueTag;
        if (!misc(false) || !tag(valueTag)) return std::nullopt;
        if (valueTag.name == "key" && !valueTag.closing) return fail("a key without its value"), std::nullopt;
        auto v = value(valueTag, depth + 1);
        if (!v) return std::nullopt;
        // A key named again: its last value, as Foundation keeps it.
        auto [at, fresh] = keys.emplace(key, entries.size());
        if (fresh) entries.emplace_back(std::move(key), std::move(*v));
        else entries[at->second].second = std::move(*v);
      }
      return n == "array" ? Value(std::move(items)) : Value(std::move(entries));
    }
    if (n == "true" || n == "false") {
      std::string rest;
      if (!t.empty && (!text(n, rest) || !trimmed(rest).empty())) return fail("text inside <" + n + ">"), std::nullopt;
      return Value(n == "true");
    }
    std::string content;
    const size_t start = i_;
    if (!t.empty && !text(n, content)) return std::nullopt;
    if (n == "string") return Value(std::move(content));
    if (n == "integer") {
      if (auto v = integerText(content)) return v;
      return fail("an integer that is not one, or beyond 64 bits"), std::nullopt;
    }
    if (n == "real") {
      if (auto v = realText(content)) return Value(*v);
      return fail("a real that is not a number"), std::nullopt;
    }
    if (n == "date") {
      if (auto v = dateText(content)) return Value(Value::Date{*v});
      return fail("a date that is not yyyy-MM-ddTHH:mm:ssZ"), std::nullopt;
    }
    if (n == "data") {
      // CoreFoundation decodes the characters as they stand, up to the
      // first "<": a reference, a comment or CDATA would read otherwise there.
      std::string_view raw = s_.substr(start, i_ - start);
      if (raw.substr(0, raw.find('<')).find('&') != std::string_view::npos || raw.find('<') != raw.rfind('<'))
        return fail("data with a reference, a comment or CDATA"), std::nullopt;
      if (auto v = base64Decode(content)) return Value(Value::Data{std::move(*v)});
      return fail("data that is not base64"), std::nullopt;
    }
    if (n == "key") return fail("a key outside a dictionary"), std::nullopt;
    return fail("an unknown element <" + n + ">"), std::nullopt;
  }

  std::string_view s_;
  size_t i_ = 0;
};

// ---------------------------------------------------------------- writing

void appendEscaped(std::string& out, const std::string& s) {
  for (char c : s) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '\r') out += "&#13;";  // a raw one would read back as a line feed elsewhere
    else out += c;
  }
}

void writeXml(std::string& out, const Value& v, int level) {
  std::string tabs(static_cast<size_t>(level), '\t');
  out += tabs;
  if (auto* b = std::get_if<bool>(&v.v)) {
    out += *b ? "<true/>\n" : "<false/>\n";
  } else if (auto* i = std::get_if<int64_t>(&v.v)) {
    out += "<integer>" + std::to_string(*i) + "</integer>\n";
  } else if (auto* u = std::get_if<Value::Unsigned>(&v.v)) {
    out += "<integer>" + std::to_string(u->value) + "</integer>\n";
  } else if (auto* d = std::get_if<double>(&v.v)) {
    out += "<real>" + realXmlText(*d) + "</real>\n";
  } else if (auto* s = std::get_if<std::string>(&v.v)) {
    out += "<string>";
    appendEscaped(out, *s);
    out += "</string>\n";
  } else if (auto* data = std::get_if<Value::Data>(&v.v)) {
    std::string text = base64Encode(data->bytes);
    out += "<data>\n";
    for (size_t k = 0; k < text.size(); k += 68) out += tabs + text.substr(k, 68) + "\n";
    out += tabs + "</data>\n";
  } else if (auto* date = std::get_if<Value::Date>(&v.v)) {
    out += "<date>" + dateXmlText(date->secondsSince2001) + "</date>\n";
  } else if (auto* a = std::get_if<Value::Array>(&v.v)) {
    if (a->empty()) {
      out += "<array/>\n";
      return;
    }
    out += "<array>\n";
    for (const Value& item : *a) writeXml(out, item, level + 1);
    out += tabs + "</array>\n";
  } else if (auto* m = std::get_if<Value::Dict>(&v.v)) {
    if (m->empty()) {
      out += "<dict/>\n";
      return;
    }
    out += "<dict>\n";
    for (const auto& [key, item] : *m) {
      out += tabs + "\t<key>";
      appendEscaped(out, key);
      out += "</key>\n";
      writeXml(out, item, level + 1);
    }
    out += tabs + "</dict>\n";
  }
}

}  // namespace

bool xmlCanCarryText(std::string_view s) {
  uint32_t cp = 0;
  for (size_t i = 0; i < s.size();)
    if (!nextCodePoint(s, i, cp) || !isXmlChar(cp)) return false;
  return true;
}

bool xmlCanCarryDate(double t) { return t == std::floor(t) && t >= kFirstXmlDate && t <= kLastXmlDate; }

std::optional<Value> readXml(std::string_view text, std::string& error) {
  std::string storage;
  XmlReader reader(xmlInput(text, storage));
  auto v = reader.document();
  error = reader.error;
  return v;
}
std::string writeXml(const Value& value) {
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
      "<plist version=\"1.0\">\n";
  writeXml(out, value, 0);
  return out + "</plist>\n";
}

}  // namespace tl::sim::plist
