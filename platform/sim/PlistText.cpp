// The old text form of a property list, from NeXTSTEP and OpenStep, which
// Foundation still reads (and never writes): { key = value; }, ( a, b ),
// "quoted" or bare strings, <hex data>, comments; also the strings file, a
// dictionary's entries without the braces. Every scalar is a string.
#include <map>
#include <vector>

#include "platform/sim/PlistForms.h"
#include "platform/sim/PropertyList.h"

namespace tl::sim::plist {

namespace {

// The characters a string may have without quotes.
bool isBare(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         c == '/' || c == ':' || c == '.' || c == '-';
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads by recursive descent, nesting held to kPlistMaxDepth; each byte is
// looked at a bounded number of times, and what is made is no larger than
// a small multiple of the text.
class TextReader {
 public:
  explicit TextReader(std::string_view s) : s_(s) {}

  std::optional<Value> document() {
    if (!space()) return std::nullopt;
    if (i_ == s_.size()) return fail("no property list"), std::nullopt;
    auto v = value(0);
    if (v && space() && i_ == s_.size()) return v;
    // A strings file: entries of a dictionary, without its braces.
    std::string first = error;
    error.clear();
    i_ = 0;
    Value::Dict entries;
    if (space() && entriesUntil('\0', entries, 0)) return Value(std::move(entries));
    error = first.empty() ? "text after the property list (text form)" : first;
    return std::nullopt;
  }

  std::string error;

 private:
  bool fail(const std::string& why) {
    if (error.empty()) error = why + " (text form, byte " + std::to_string(i_) + ")";
    return false;
  }

  // White space and comments, // to the line's end and /* */.
  bool space() {
    while (i_ < s_.size()) {
      char c = s_[i_];
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
        ++i_;
      } else if (s_.substr(i_, 2) == "//") {
        size_t end = s_.find_first_of("\n\r", i_);
        i_ = end == std::string_view::npos ? s_.size() : end;
      } else if (s_.substr(i_, 2) == "/*") {
        size_t end = s_.find("*/", i_ + 2);
        if (end == std::string_view::npos) return fail("an unterminated comment");
        i_ = end + 2;
      } else {
        break;
      }
    }
    return true;
  }

  std::optional<Value> value(int depth) {
    if (i_ >= s_.size()) return fail("a value missing at the end"), std::nullopt;
    char c = s_[i_];
    if (c == '{' || c == '(') {
      if (depth >= kPlistMaxDepth) return fail("nesting deeper than " + std::to_string(kPlistMaxDepth)), std::nullopt;
      ++i_;
      if (c == '(') return array(depth);
      Value::Dict entries;
      if (!space() || !entriesUntil('}', entries, depth)) return std::nullopt;
      return Value(std::move(entries));
    }
    if (c == '<') return data();
    std::string text;
    if (!string(text)) return std::nullopt;
    return Value(std::move(text));
  }

  // Entries "key = value;" (or "key;", the key its own value) up to the
  // closing character, or to the end of the text for '\0'.
  bool entriesUntil(char close, Value::Dict& entries, int depth) {
    std::map<std::string, size_t, std::less<>> at;  // a key named again keeps its last value
    for (;;) {
      if (close == '\0' ? i_ == s_.size() : i_ < s_.size() && s_[i_] == close) {
        if (close != '\0') ++i_;
        return true;
      }
      if (i_ >= s_.size()) return fail("a dictionary without its closing brace");
      std::string key;
      if (!string(key) || !space()) return false;
      std::optional<Value> v;
      if (i_ < s_.size() && s_[i_] == '=') {
        ++i_;
        if (!space() || !(v = value(depth + 1)) || !space()) return false;
      } else {
        v = Value(key);
      }
      if (i_ >= s_.size() || s_[i_] != ';') return fail("an entry without its \";\"");
      ++i_;
      auto [found, fresh] = at.emplace(key, entries.size());
      if (fresh) entries.emplace_back(std::move(key), std::move(*v));
      else entries[found->second].second = std::move(*v);
      if (!space()) return false;
    }
  }

  std::optional<Value> array(int depth) {
    Value::Array items;
    if (!space()) return std::nullopt;
    for (;;) {
      if (i_ < s_.size() && s_[i_] == ')') {
        ++i_;
        return Value(std::move(items));
      }
      auto v = value(depth + 1);
      if (!v || !space()) return std::nullopt;
      items.push_back(std::move(*v));
      if (i_ < s_.size() && s_[i_] == ',') {
        ++i_;
        if (!space()) return std::nullopt;
      } else if (i_ >= s_.size() || s_[i_] != ')') {
        return fail("an array item without its \",\" or \")\""), std::nullopt;
      }
    }
  }

  std::optional<Value> data() {
    ++i_;  // '<'
    std::vector<uint8_t> bytes;
    int high = -1;
    for (; i_ < s_.size() && s_[i_] != '>'; ++i_) {
      char c = s_[i_];
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
      int digit = hexDigit(c);
      if (digit < 0) return fail("data with a character that is no hexadecimal digit"), std::nullopt;
      if (high < 0) {
        high = digit;
      } else {
        bytes.push_back(static_cast<uint8_t>(high << 4 | digit));
        high = -1;
      }
    }
    if (i_ >= s_.size()) return fail("data without its \">\""), std::nullopt;
    if (high >= 0) return fail("data with an odd number of digits"), std::nullopt;
    ++i_;
    return Value(Value::Data{std::move(bytes)});
  }

  bool string(std::string& out) {
    out.clear();
    if (i_ >= s_.size()) return fail("a string missing at the end");
    char quote = s_[i_];
    if (quote != '"' && quote != '\'') {
      size_t start = i_;
      while (i_ < s_.size() && isBare(s_[i_])) ++i_;
      if (i_ == start) return fail("a character that begins no value");
      out.assign(s_.substr(start, i_ - start));
      return true;
    }
    ++i_;
    uint32_t highSurrogate = 0;  // a \U escape of the first half of a pair, waiting for the second
    for (;;) {
      if (i_ >= s_.size()) return fail("an unterminated string");
      char c = s_[i_];
      if (c == quote && !highSurrogate) {
        ++i_;
        return true;
      }
      if (c != '\\') {
        if (highSurrogate) return fail("half of a surrogate pair");
        size_t start = i_;
        while (i_ < s_.size() && s_[i_] != quote && s_[i_] != '\\') ++i_;
        out.append(s_.substr(start, i_ - start));
        continue;
      }
      if (++i_ >= s_.size()) return fail("an unterminated string");
      uint32_t cp = static_cast<unsigned char>(s_[i_++]);
      if (cp == 'U') {
        int digits = 0;
        cp = 0;
        for (; digits < 4 && i_ < s_.size() && hexDigit(s_[i_]) >= 0; ++digits) cp = cp << 4 | hexDigit(s_[i_++]);
        if (digits == 0) return fail("\\U without hexadecimal digits");
      } else if (cp >= '0' && cp <= '7') {
        cp -= '0';
        for (int digits = 1; digits < 3 && i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '7'; ++digits)
          cp = cp << 3 | static_cast<uint32_t>(s_[i_++] - '0');
        // Above 0x7F an octal escape names a character of NeXTSTEP's own
        // encoding; none of today's writers makes one.
        if (cp > 0x7F) return fail("an octal escape above \\177");
      } else {
        static const std::pair<char, char> kNamed[] = {{'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'},
                                                       {'r', '\r'}, {'t', '\t'}, {'v', '\v'}};
        for (const auto& [name, meaning] : kNamed)
          if (cp == static_cast<unsigned char>(name)) cp = static_cast<unsigned char>(meaning);
        if (cp >= 0x80) return fail("an escaped byte that is not a character");
      }
      if (highSurrogate) {
        if (cp < 0xDC00 || cp >= 0xE000) return fail("half of a surrogate pair");
        cp = 0x10000 + ((highSurrogate - 0xD800) << 10) + (cp - 0xDC00);
        highSurrogate = 0;
      } else if (cp >= 0xD800 && cp < 0xDC00) {
        highSurrogate = cp;
        continue;
      } else if (cp >= 0xDC00 && cp < 0xE000) {
        return fail("half of a surrogate pair");
      }
      appendUtf8(out, cp);
    }
  }

  std::string_view s_;
  size_t i_ = 0;
};

}  // namespace

std::optional<Value> readOpenStep(std::string_view text, std::string& error) {
  if (!isUtf8(text)) return error = "bytes that are not UTF-8 (text form)", std::nullopt;
  TextReader reader(text);
  auto v = reader.document();
  error = reader.error;
  return v;
}

}  // namespace tl::sim::plist
