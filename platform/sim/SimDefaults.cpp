#include "platform/sim/SimDefaults.h"
#include "platform/sim/SimFiles.h"

#include <fcntl.h>
#include <locale.h>
#include <plist/plist.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string_view>

namespace tl::sim {

namespace {

// Deeper than any property list a person or this application writes.
// libplist parses and frees recursively, so a file nested deeper is
// refused before it reaches libplist rather than overflowing the stack.
constexpr int kMaxDepth = 256;
// A preferences file is a few hundred bytes; this is a sanity bound that
// keeps a runaway file out of memory (and inside libplist's 32-bit sizes).
constexpr off_t kMaxFileSize = 32 << 20;
// A file younger than this may still change without its time stamp moving
// (coarse file-system clocks), so its bytes are compared at each read.
constexpr time_t kRacySeconds = 2;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// ---- Depth checks, before libplist sees the bytes ----

bool xmlWithinDepth(const std::string& s) {
  int depth = 0;
  size_t i = 0;
  auto skipPast = [&](const char* end) {
    size_t at = s.find(end, i);
    i = at == std::string::npos ? s.size() : at + std::strlen(end);
  };
  while ((i = s.find('<', i)) != std::string::npos) {
    if (s.compare(i, 4, "<!--") == 0) { i += 4; skipPast("-->"); continue; }
    if (s.compare(i, 9, "<![CDATA[") == 0) { i += 9; skipPast("]]>"); continue; }
    if (s.compare(i, 2, "<?") == 0 || s.compare(i, 2, "<!") == 0) { i += 2; skipPast(">"); continue; }
    bool closing = s.compare(i, 2, "</") == 0;
    size_t nameStart = i + (closing ? 2 : 1), nameEnd = nameStart;
    while (nameEnd < s.size() && !isSpace(s[nameEnd]) && s[nameEnd] != '>' && s[nameEnd] != '/') ++nameEnd;
    std::string_view name(s.data() + nameStart, nameEnd - nameStart);
    size_t close = s.find('>', nameEnd);
    if (close == std::string::npos) return true;  // unterminated: libplist refuses it
    bool selfClosing = close > 0 && s[close - 1] == '/';
    if (name == "array" || name == "dict") {
      if (closing) --depth;
      else if (!selfClosing && ++depth > kMaxDepth) return false;
    }
    i = close + 1;
  }
  return true;
}

uint64_t readBigEndian(const unsigned char* p, size_t n) {
  uint64_t v = 0;
  for (size_t k = 0; k < n; ++k) v = (v << 8) | p[k];
  return v;
}

// Walks the object graph of a binary property list without recursion. False
// for nesting beyond kMaxDepth, a reference cycle, or a structure that does
// not hold together (libplist would refuse that one anyway).
bool binaryWithinDepth(const std::string& s) {
  const auto* data = reinterpret_cast<const unsigned char*>(s.data());
  const uint64_t size = s.size();
  if (size < 8 + 32) return false;
  const unsigned char* trailer = data + size - 32;
  const uint64_t offsetSize = trailer[6], refSize = trailer[7];
  const uint64_t count = readBigEndian(trailer + 8, 8), top = readBigEndian(trailer + 16, 8),
                 table = readBigEndian(trailer + 24, 8);
  const uint64_t end = size - 32;
  if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8) return false;
  if (count == 0 || top >= count || table > end || count > (end - table) / offsetSize) return false;

  struct Children {
    bool container = false;
    uint64_t first = 0, n = 0;  // byte position of the first reference, number of references
  };
  auto childrenOf = [&](uint64_t object, Children& c) {
    uint64_t at = readBigEndian(data + table + object * offsetSize, offsetSize);
    if (at < 8 || at >= table) return false;
    unsigned type = data[at] >> 4, n = data[at] & 0xF;
    c = {};
    if (type != 0xA && type != 0xC && type != 0xD) return true;
    uint64_t pos = at + 1, length = n;
    if (n == 0xF) {
      if (pos >= table || (data[pos] >> 4) != 0x1 || (data[pos] & 0xF) > 3) return false;
      uint64_t bytes = uint64_t{1} << (data[pos] & 0xF);
      if (pos + 1 + bytes > table) return false;
      length = readBigEndian(data + pos + 1, bytes);
      pos += 1 + bytes;
    }
    if (length > table || (type == 0xD ? length * 2 : length) > (table - pos) / refSize) return false;
    // A dictionary's keys are followed too: libplist parses them before it
    // checks that they are strings.
    c = {true, pos, type == 0xD ? length * 2 : length};
    return true;
  };

  // Objects may be shared, so each one's height (levels of containers from
  // it down) is remembered: the walk stays linear in the file's size.
  constexpr uint16_t kUnseen = 0xFFFF, kOpen = 0xFFFE;
  std::vector<uint16_t> height(count, kUnseen);
  struct Frame {
    uint64_t object;
    Children c;
    uint64_t next = 0;
    uint16_t tallest = 0;
  };
  std::vector<Frame> stack;
  Children c;
  if (!childrenOf(top, c)) return false;
  if (!c.container) return true;
  stack.push_back({top, c});
  height[top] = kOpen;
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next == f.c.n) {
      uint16_t h = f.tallest + 1;
      height[f.object] = h;
      stack.pop_back();
      if (!stack.empty()) stack.back().tallest = std::max(stack.back().tallest, h);
      continue;
    }
    uint64_t child = readBigEndian(data + f.c.first + f.next * refSize, refSize);
    ++f.next;
    if (child >= count || height[child] == kOpen) return false;
    if (height[child] != kUnseen) {
      if (stack.size() + height[child] > kMaxDepth) return false;
      f.tallest = std::max(f.tallest, height[child]);
      continue;
    }
    if (!childrenOf(child, c)) return false;
    if (!c.container) {
      height[child] = 0;
      continue;
    }
    if (stack.size() >= kMaxDepth) return false;
    height[child] = kOpen;
    stack.push_back({child, c});
  }
  return true;
}

// ---- Between libplist nodes and Values ----

std::optional<Value> fromNode(plist_t node, int depth) {
  if (!node || depth > kMaxDepth) return std::nullopt;
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t b = 0;
      plist_get_bool_val(node, &b);
      return Value(b != 0);
    }
    case PLIST_UINT: {
      // libplist keeps integers as 64 bits without their sign; what the
      // file says as "-1" comes back as all ones, which is -1 again.
      uint64_t u = 0;
      plist_get_uint_val(node, &u);
      return Value(static_cast<int64_t>(u));
    }
    case PLIST_REAL: {
      double d = 0;
      plist_get_real_val(node, &d);
      return Value(d);
    }
    case PLIST_STRING: {
      uint64_t length = 0;
      const char* s = plist_get_string_ptr(node, &length);
      return Value(std::string(s ? s : "", s ? length : 0));
    }
    case PLIST_DATE: {
      int32_t sec = 0, usec = 0;
      plist_get_date_val(node, &sec, &usec);
      return Value(Value::Date{sec + usec / 1e6});
    }
    case PLIST_DATA: {
      uint64_t length = 0;
      const char* p = plist_get_data_ptr(node, &length);
      const auto* bytes = reinterpret_cast<const uint8_t*>(p);
      return Value(Value::Data{p ? std::vector<uint8_t>(bytes, bytes + length) : std::vector<uint8_t>{}});
    }
    case PLIST_ARRAY: {
      Value::Array array;
      uint32_t n = plist_array_get_size(node);
      for (uint32_t k = 0; k < n; ++k)
        if (auto v = fromNode(plist_array_get_item(node, k), depth + 1)) array.push_back(std::move(*v));
      return Value(std::move(array));
    }
    case PLIST_DICT: {
      Value::Dict dict;
      plist_dict_iter it = nullptr;
      plist_dict_new_iter(node, &it);
      for (;;) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, it, &key, &item);
        if (!item) {
          free(key);
          break;
        }
        if (auto v = fromNode(item, depth + 1)) dict.emplace_back(key ? key : "", std::move(*v));
        free(key);
      }
      free(it);
      return Value(std::move(dict));
    }
    default:  // keyed-archiver UIDs and the like: nothing a Value holds
      return std::nullopt;
  }
}

plist_t toNode(const Value& value, int depth);

struct ToNode {
  int depth;
  plist_t operator()(bool b) const { return plist_new_bool(b ? 1 : 0); }
  // Written as a signed number: -1 stays -1 in the file.
  plist_t operator()(int64_t i) const { return plist_new_uint(static_cast<uint64_t>(i)); }
  plist_t operator()(double d) const { return plist_new_real(d); }
  plist_t operator()(const std::string& s) const { return plist_new_string(s.c_str()); }
  plist_t operator()(const Value::Data& d) const {
    return plist_new_data(reinterpret_cast<const char*>(d.bytes.data()), d.bytes.size());
  }
  plist_t operator()(const Value::Date& d) const {
    // The file keeps whole seconds and microseconds in 32 bits.
    double t = std::isnan(d.secondsSince2001) ? 0.0 : d.secondsSince2001;
    double sec = std::floor(t);
    sec = std::clamp(sec, double{std::numeric_limits<int32_t>::min()}, double{std::numeric_limits<int32_t>::max()});
    double usec = std::clamp(std::floor((t - sec) * 1e6), 0.0, 999999.0);
    return plist_new_date(static_cast<int32_t>(sec), static_cast<int32_t>(usec));
  }
  plist_t operator()(const Value::Array& a) const {
    plist_t array = plist_new_array();
    if (depth < kMaxDepth)
      for (const Value& v : a) plist_array_append_item(array, toNode(v, depth + 1));
    return array;
  }
  plist_t operator()(const Value::Dict& d) const {
    plist_t dict = plist_new_dict();
    // A key given twice keeps its last value, as assigning it twice would.
    if (depth < kMaxDepth)
      for (const auto& [key, v] : d) plist_dict_set_item(dict, key.c_str(), toNode(v, depth + 1));
    return dict;
  }
};

plist_t toNode(const Value& value, int depth) { return std::visit(ToNode{depth}, value.v); }

std::string serialize(plist_t root) {
  char* xml = nullptr;
  uint32_t length = 0;
  plist_to_xml(root, &xml, &length);
  std::string out(xml ? xml : "", xml ? length : 0);
  if (xml) plist_to_xml_free(xml);
  return out;
}

// nullptr unless the bytes are a property list whose root is a dictionary.
plist_t parseDomain(const std::string& bytes) {
  if (bytes.empty() || bytes.size() > static_cast<size_t>(kMaxFileSize)) return nullptr;
  bool binary = bytes.compare(0, 8, "bplist00") == 0;
  if (!(binary ? binaryWithinDepth(bytes) : xmlWithinDepth(bytes))) return nullptr;
  plist_t root = nullptr;
  plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
  if (root && binary) {
    // libplist's binary reader keeps a key's bytes past an embedded NUL and
    // later aborts on reading that key; its XML writer cuts the key there.
    // Going through XML once leaves a tree that is safe to walk.
    std::string xml = serialize(root);
    plist_free(root);
    root = nullptr;
    plist_from_memory(xml.data(), static_cast<uint32_t>(xml.size()), &root);
  }
  if (root && plist_get_node_type(root) != PLIST_DICT) {
    plist_free(root);
    root = nullptr;
  }
  return root;
}

// ---- Foundation's conversions ----

// NSString boolValue.
bool stringBool(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && isSpace(s[i])) ++i;
  if (i == s.size()) return false;
  char c = s[i];
  if (c == 'Y' || c == 'y' || c == 'T' || c == 't') return true;
  if (c == '+' || c == '-') ++i;
  while (i < s.size() && s[i] == '0') ++i;
  return i < s.size() && s[i] >= '1' && s[i] <= '9';
}

// NSString integerValue: saturates instead of wrapping.
int64_t stringInteger(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && isSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  const uint64_t limit = negative ? uint64_t{1} << 63 : static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  uint64_t v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    unsigned digit = s[i] - '0';
    v = v > (limit - digit) / 10 ? limit : v * 10 + digit;
  }
  return negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
}

// NSString doubleValue: a decimal number at the start, after white space;
// no hexadecimal, "inf" or "nan". Overflow gives ±HUGE_VAL.
double stringDouble(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && isSpace(s[i])) ++i;
  size_t start = i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) ++digits;
  if (i < s.size() && s[i] == '.')
    for (++i; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) ++digits;
  if (digits == 0) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j < s.size() && s[j] >= '0' && s[j] <= '9') {
      while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
      i = j;
    }
  }
  // The user's locale must not turn "1.5" into 1.
  static locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
  std::string text = s.substr(start, i - start);
  return c ? strtod_l(text.c_str(), nullptr, c) : strtod(text.c_str(), nullptr);
}

int64_t doubleToInteger(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
  if (d <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(d);  // toward zero
}

std::string errnoText(const std::string& what) { return what + ": " + std::strerror(errno); }


}  // namespace

bool SimDefaults::FileKey::operator==(const FileKey& o) const {
  return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
         mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
}

void SimDefaults::PlistDeleter::operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }

SimDefaults::SimDefaults(std::string plistPath) : path_(std::move(plistPath)) {}

SimDefaults::~SimDefaults() = default;

// ---- Following the file ----

void SimDefaults::refresh() {
  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0) {
    bool absent = errno == ENOENT || errno == ENOTDIR;
    key_.reset();
    bytes_.clear();
    tree_.reset();
    racy_ = true;
    // Anything but plain absence (a folder we may not search) is a file
    // that may exist: it must not be treated as free to replace.
    state_ = absent ? FileState::Missing : FileState::Damaged;
    return;
  }
  FileKey key{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
  if (key_ && *key_ == key && !racy_) return;
  load(key);
}

void SimDefaults::load(const FileKey& statKey) {
  std::string bytes;
  bool readable = false;
  FileKey key = statKey;
  int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  struct stat st {};
  if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxFileSize) {
    key = {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    for (;;) {
      if (done == bytes.size()) bytes.resize(done + 4096);  // grew since fstat
      ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        readable = n == 0;
        break;
      }
      done += static_cast<size_t>(n);
      if (done > static_cast<size_t>(kMaxFileSize)) break;
    }
    bytes.resize(done);
    if (done > static_cast<size_t>(kMaxFileSize)) readable = false;
  }
  if (fd >= 0) ::close(fd);

  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  racy_ = now.tv_sec - key.mtime.tv_sec < kRacySeconds;
  key_ = key;
  FileState state = readable ? FileState::Readable : FileState::Damaged;
  if (state == state_ && readable && bytes == bytes_) return;  // touched, not changed
  bytes_ = std::move(bytes);
  tree_.reset(readable ? parseDomain(bytes_) : nullptr);
  state_ = tree_ ? FileState::Readable : FileState::Damaged;
  if (!readable) bytes_.clear();
}

std::optional<Value> SimDefaults::lookup(const std::string& key) {
  if (auto p = pending_.find(key); p != pending_.end()) {
    if (p->second) return p->second;
  } else {
    refresh();
    if (state_ == FileState::Readable)
      if (auto v = fromNode(plist_dict_get_item(tree_.get(), key.c_str()), 0)) return v;
  }
  if (auto r = registered_.find(key); r != registered_.end()) return r->second;
  return std::nullopt;
}

// ---- Writing ----

bool SimDefaults::moveAside() {
  // Never over an earlier casualty: each damaged file keeps its own name.
  for (int n = 0; n < 1000; ++n) {
    std::string aside = path_ + ".corrupt";
    if (n > 0) aside.append(".").append(std::to_string(n));
    bool moved = ::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0;
    if (!moved && errno == EEXIST) continue;
    if (!moved && (errno == EINVAL || errno == ENOSYS)) {
      // A file system without no-replace renames: check, then rename.
      struct stat st {};
      if (::lstat(aside.c_str(), &st) == 0) continue;
      moved = errno == ENOENT && ::rename(path_.c_str(), aside.c_str()) == 0;
    }
    if (moved) movedAside_ = aside;
    if (moved) return true;
    break;
  }
  writeError_ = errnoText("cannot move the unreadable " + path_ + " aside");
  return false;
}

bool SimDefaults::flush() {
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::path(path_).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  // Writers in other processes (a second copy of the app, the defaults tool)
  // read, change and replace the same file; holding the folder's lock from
  // the read to the rename keeps one writer from replacing another's change
  // with an older copy. The folder rather than a lock file, so nothing new
  // appears beside the plist. Without the lock (a folder we cannot open) the
  // write still goes ahead.
  ExclusiveLock lock(folder.empty() ? "." : folder.string(), ExclusiveLock::On::Folder);
  refresh();
  Tree next(state_ == FileState::Readable ? plist_copy(tree_.get()) : plist_new_dict());
  for (const auto& [key, value] : pending_) {
    if (value) plist_dict_set_item(next.get(), key.c_str(), toNode(*value, 1));
    else if (plist_dict_get_item(next.get(), key.c_str())) plist_dict_remove_item(next.get(), key.c_str());
  }
  // XML rather than Foundation's binary form: libplist and Foundation read
  // both, and a person comparing or editing the file can read this one.
  std::string bytes = serialize(next.get());
  if (Tree check{parseDomain(bytes)}; !check) {
    writeError_ = "the new contents would not read back as a property list";
    return false;
  }

  std::string temp = path_ + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    writeError_ = errnoText("cannot create a file beside " + path_);
    return false;
  }
  bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
  if (::close(fd) != 0) written = false;
  if (!written) {
    writeError_ = errnoText("cannot write " + temp);
    ::unlink(temp.c_str());
    return false;
  }
  struct stat st {};
  bool present = ::lstat(path_.c_str(), &st) == 0 || errno != ENOENT;
  if ((state_ == FileState::Damaged && present && !moveAside()) || ::rename(temp.c_str(), path_.c_str()) != 0) {
    if (writeError_.empty()) writeError_ = errnoText("cannot replace " + path_);
    ::unlink(temp.c_str());
    return false;
  }
  // The next read compares bytes instead of trusting this: another writer
  // may have replaced the file already.
  tree_ = std::move(next);
  bytes_ = std::move(bytes);
  state_ = FileState::Readable;
  key_.reset();
  pending_.clear();
  return true;
}

void SimDefaults::change(const std::string& key, std::optional<Value> value) {
  std::lock_guard lock(mutex_);
  pending_[key] = std::move(value);
  writeError_.clear();
  flush();
}

// ---- UserDefaults ----

void SimDefaults::registerDefaults(const std::vector<std::pair<std::string, Value>>& defaults) {
  std::lock_guard lock(mutex_);
  for (const auto& [key, value] : defaults) registered_[key] = value;
}

std::optional<Value> SimDefaults::objectForKey(const std::string& key) {
  std::lock_guard lock(mutex_);
  return lookup(key);
}

bool SimDefaults::boolForKey(const std::string& key) {
  std::lock_guard lock(mutex_);
  auto v = lookup(key);
  if (!v) return false;
  if (auto* b = std::get_if<bool>(&v->v)) return *b;
  if (auto* i = std::get_if<int64_t>(&v->v)) return *i != 0;
  if (auto* d = std::get_if<double>(&v->v)) return *d != 0;  // NaN too is not zero
  if (auto* s = std::get_if<std::string>(&v->v)) return stringBool(*s);
  return false;
}

double SimDefaults::doubleForKey(const std::string& key) {
  std::lock_guard lock(mutex_);
  auto v = lookup(key);
  if (!v) return 0;
  if (auto* b = std::get_if<bool>(&v->v)) return *b ? 1 : 0;
  if (auto* i = std::get_if<int64_t>(&v->v)) return static_cast<double>(*i);
  if (auto* d = std::get_if<double>(&v->v)) return *d;
  if (auto* s = std::get_if<std::string>(&v->v)) return stringDouble(*s);
  return 0;
}

int64_t SimDefaults::integerForKey(const std::string& key) {
  std::lock_guard lock(mutex_);
  auto v = lookup(key);
  if (!v) return 0;
  if (auto* b = std::get_if<bool>(&v->v)) return *b ? 1 : 0;
  if (auto* i = std::get_if<int64_t>(&v->v)) return *i;
  if (auto* d = std::get_if<double>(&v->v)) return doubleToInteger(*d);
  if (auto* s = std::get_if<std::string>(&v->v)) return stringInteger(*s);
  return 0;
}

void SimDefaults::setObject(const std::string& key, const Value& value) { change(key, value); }
void SimDefaults::setBool(const std::string& key, bool value) { change(key, Value(value)); }
void SimDefaults::setDouble(const std::string& key, double value) { change(key, Value(value)); }
void SimDefaults::setInteger(const std::string& key, int64_t value) { change(key, Value(value)); }
void SimDefaults::removeObjectForKey(const std::string& key) { change(key, std::nullopt); }

// ---- For the defaults tool ----

SimDefaults::FileState SimDefaults::fileState() {
  std::lock_guard lock(mutex_);
  refresh();
  return state_;
}

std::optional<Value::Dict> SimDefaults::persistentDomain() {
  std::lock_guard lock(mutex_);
  refresh();
  std::optional<Value::Dict> domain;
  if (state_ == FileState::Readable)
    if (auto v = fromNode(tree_.get(), 0)) domain = std::move(std::get<Value::Dict>(v->v));
  for (const auto& [key, value] : pending_) {
    if (!domain) domain.emplace();
    auto at = std::find_if(domain->begin(), domain->end(), [&](const auto& e) { return e.first == key; });
    if (at != domain->end() && value) at->second = *value;
    else if (at != domain->end()) domain->erase(at);
    else if (value) domain->emplace_back(key, *value);
  }
  return domain;
}

bool SimDefaults::removePersistentDomain() {
  std::lock_guard lock(mutex_);
  pending_.clear();
  writeError_.clear();
  refresh();
  if (state_ == FileState::Missing) return true;
  if (state_ == FileState::Damaged) {
    if (!moveAside()) return false;
  } else if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
    writeError_ = errnoText("cannot remove " + path_);
    return false;
  }
  refresh();
  return true;
}

std::string SimDefaults::writeError() {
  std::lock_guard lock(mutex_);
  return writeError_;
}

std::string SimDefaults::movedAsidePath() {
  std::lock_guard lock(mutex_);
  return movedAside_;
}

}  // namespace tl::sim
