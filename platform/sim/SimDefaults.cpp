#include "platform/sim/SimDefaults.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string_view>

#include "platform/sim/PropertyList.h"
#include "platform/sim/SimFiles.h"

namespace tl::sim {

namespace {

// A preferences file is a few hundred bytes; this is a sanity bound that
// keeps a runaway file out of memory.
constexpr off_t kMaxFileSize = 32 << 20;
// Temporary files of this store: "<name>.plist.tmp-XXXXXX".
constexpr std::string_view kTempMark = ".tmp-";

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

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

timespec coarseNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return now;
}

// How finely the file system holding fd stamps its changes. The common
// local ones keep the kernel's clock to the nanosecond (so the next tick
// of that clock already tells a change apart); for anything else, two
// seconds, as the coarsest (FAT) keeps.
long long granularityNs(int fd) {
  struct statfs fs {};
  if (::fstatfs(fd, &fs) != 0) return 2'000'000'000;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case EXT4_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case OVERLAYFS_SUPER_MAGIC:
      return 1;
    default:
      return 2'000'000'000;
  }
}

// Whether any change made from `now` on gets a status-change time other
// than `ctime`: the kernel stamps a change with its clock at that moment
// (never earlier than now), cut to the file system's granularity.
bool settledAt(const timespec& ctime, const timespec& now, long long granularity) {
  long long changed = static_cast<long long>(ctime.tv_sec) * 1'000'000'000 + ctime.tv_nsec;
  long long at = static_cast<long long>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
  return at - changed >= granularity;
}

bool sameBytes(const std::string& path, const std::string& bytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return false;
  std::string now;
  bool same = readAll(fd, now, bytes.size()) && now == bytes;
  ::close(fd);
  return same;
}

void syncFolder(const std::string& folder) {
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  ::fsync(dir);
  ::close(dir);
}

std::string folderOf(const std::string& path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

}  // namespace

bool SimDefaults::FileKey::operator==(const FileKey& o) const {
  return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
         mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
}

SimDefaults::SimDefaults(std::string plistPath) : path_(std::move(plistPath)) {}

SimDefaults::~SimDefaults() = default;

// ---- Following the file ----

void SimDefaults::forget(FileState state, std::string damage) {
  state_ = state;
  damage_ = std::move(damage);
  domain_.clear();
  index_.clear();
  bytes_.clear();
  haveBytes_ = false;
  key_.reset();
  settled_ = false;
}

void SimDefaults::adopt(Value::Dict domain) {
  state_ = FileState::Readable;
  damage_.clear();
  domain_ = std::move(domain);
  index_.clear();
  for (size_t k = 0; k < domain_.size(); ++k) index_.emplace(domain_[k].first, k);
}

// The file's identity and time stamps as fd shows them now, and whether a
// later change is bound to alter them.
void SimDefaults::noteKey(int fd) {
  timespec now = coarseNow();
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    key_.reset();
    return;
  }
  key_ = FileKey{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
  settled_ = settledAt(st.st_ctim, now, granularityNs(fd));
}

void SimDefaults::refresh() {
  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0) {
    // Anything but plain absence (a folder we may not search) is a file
    // that may exist: it must not be treated as free to replace.
    if (errno == ENOENT || errno == ENOTDIR) forget(FileState::Missing, "");
    else forget(FileState::Damaged, errnoText("cannot look at it"));
    return;
  }
  if (key_ && settled_ && *key_ == FileKey{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim}) return;
  load();
}

void SimDefaults::load() {
  int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) forget(FileState::Missing, "");
    else forget(FileState::Damaged, errnoText("cannot open it"));
    return;
  }
  // The key is taken before the bytes: a change while reading shows as a
  // different key at the next look.
  noteKey(fd);
  struct stat st {};
  std::string bytes;
  std::string why;
  bool readable = ::fstat(fd, &st) == 0;
  if (!readable) why = errnoText("cannot look at it");
  else if (!S_ISREG(st.st_mode)) why = "it is not a plain file";
  else if (st.st_size > kMaxFileSize) why = "it is larger than any preferences file";
  else if (!readAll(fd, bytes, kMaxFileSize)) why = errnoText("cannot read it");
  readable = why.empty();
  ::close(fd);
  auto key = key_;
  bool settled = settled_;
  if (readable && haveBytes_ && bytes == bytes_) return;  // touched, not changed
  if (!readable) {
    forget(FileState::Damaged, why);
  } else {
    auto value = readPropertyList(bytes, &why);
    if (value && std::holds_alternative<Value::Dict>(value->v)) {
      adopt(std::move(std::get<Value::Dict>(value->v)));
    } else {
      forget(FileState::Damaged, value ? "the root is not a dictionary" : why);
    }
    bytes_ = std::move(bytes);
    haveBytes_ = true;
  }
  key_ = key;
  settled_ = settled;
}

const Value* SimDefaults::lookup(const std::string& key) {
  if (auto p = pending_.find(key); p != pending_.end()) {
    if (p->second) return &*p->second;
  } else {
    refresh();
    if (auto at = index_.find(key); at != index_.end()) return &domain_[at->second].second;
  }
  if (auto r = registered_.find(key); r != registered_.end()) return &r->second;
  return nullptr;
}

// ---- Writing ----

// Leftovers of writers that died between creating their temporary file and
// renaming it. Only called with the folder's lock held, which every writer
// of this store holds from creating its temporary file to renaming it: any
// such file present now belongs to nobody.
void SimDefaults::removeStaleTemporaries() {
  std::string folder = folderOf(path_);
  std::string prefix = std::filesystem::path(path_).filename().string() + std::string(kTempMark);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (dirent* entry = ::readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name.size() != prefix.size() + 6 || name.substr(0, prefix.size()) != prefix) continue;
    struct stat st {};
    if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
      ::unlinkat(::dirfd(dir), entry->d_name, 0);
  }
  ::closedir(dir);
}

// A file of its own holding the damaged file's bytes as they were read:
// "<path>.corrupt", or ".corrupt.N" when that name is taken. Nothing ever
// opens it for writing again. Empty (writeError_ set) on failure.
std::string SimDefaults::copyAside() {
  for (int n = 0; n < 1000; ++n) {
    std::string aside = path_ + ".corrupt";
    if (n > 0) aside.append(".").append(std::to_string(n));
    int fd = ::open(aside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) break;
    bool ok = writeAll(fd, bytes_) && ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    if (ok) return aside;
    ::unlink(aside.c_str());
    break;
  }
  writeError_ = errnoText("cannot keep a copy of the unreadable " + path_);
  return "";
}

// The damaged file, now at oldFile, goes unless someone wrote into it after
// it was copied aside: then it is kept as another casualty.
void SimDefaults::retire(const std::string& oldFile, const std::string& aside) {
  if (sameBytes(oldFile, bytes_)) {
    ::unlink(oldFile.c_str());
    return;
  }
  for (int n = 1; n < 1000; ++n) {
    std::string name = path_ + ".corrupt." + std::to_string(n);
    if (name == aside) continue;
    if (::renameat2(AT_FDCWD, oldFile.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0 || errno != EEXIST)
      return;
  }
}

// Puts a damaged file out of the way, keeping every byte of it: copied to a
// file of its own when its bytes were read, moved aside whole otherwise (it
// could not be read, or is not a plain file). replacement, when given, then
// takes its place. False (writeError_ set) if nothing changed.
bool SimDefaults::setAside(const std::string& replacement) {
  std::string aside;
  if (!haveBytes_) {
    for (int n = 0; n < 1000 && aside.empty(); ++n) {
      std::string name = path_ + ".corrupt";
      if (n > 0) name.append(".").append(std::to_string(n));
      if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0) aside = name;
      else if (errno != EEXIST) break;
    }
    if (aside.empty()) {
      writeError_ = errnoText("cannot move the unreadable " + path_ + " aside");
      return false;
    }
    if (!replacement.empty() && ::rename(replacement.c_str(), path_.c_str()) != 0) {
      writeError_ = errnoText("cannot replace " + path_);
      return false;
    }
    movedAside_ = aside;
    return true;
  }

  aside = copyAside();
  if (aside.empty()) return false;
  // The damaged file leaves its name under a temporary one of this store,
  // in one step with the new file's arrival where the file system can.
  std::string oldFile;
  if (!replacement.empty() && ::renameat2(AT_FDCWD, replacement.c_str(), AT_FDCWD, path_.c_str(), RENAME_EXCHANGE) == 0) {
    oldFile = replacement;
  } else if (replacement.empty() || errno == EINVAL || errno == ENOSYS) {
    std::string retired = path_ + std::string(kTempMark) + "XXXXXX";
    int fd = ::mkostemp(retired.data(), O_CLOEXEC);
    if (fd >= 0) {
      ::close(fd);
      if (::rename(path_.c_str(), retired.c_str()) == 0) oldFile = retired;
      else ::unlink(retired.c_str());
    }
    if (!oldFile.empty() && !replacement.empty() && ::rename(replacement.c_str(), path_.c_str()) != 0) {
      writeError_ = errnoText("cannot replace " + path_);
      ::rename(oldFile.c_str(), path_.c_str());
      ::unlink(aside.c_str());
      return false;
    }
  }
  if (oldFile.empty()) {
    writeError_ = errnoText("cannot replace " + path_);
    ::unlink(aside.c_str());
    return false;
  }
  retire(oldFile, aside);
  movedAside_ = aside;
  return true;
}

bool SimDefaults::flush() {
  std::error_code ec;
  std::string folder = folderOf(path_);
  std::filesystem::create_directories(folder, ec);
  // Writers in other processes (a second copy of the app, the defaults tool)
  // read, change and replace the same file; holding the folder's lock from
  // the read to the rename keeps one writer from replacing another's change
  // with an older copy. The folder rather than a lock file, so nothing new
  // appears beside the plist. Without the lock (a folder we cannot open) the
  // write still goes ahead, but leaves others' temporary files alone.
  ExclusiveLock lock(folder, ExclusiveLock::On::Folder);
  if (lock.held()) removeStaleTemporaries();
  refresh();
  Value::Dict next = state_ == FileState::Readable ? domain_ : Value::Dict{};
  for (const auto& [key, value] : pending_) {
    auto at = std::find_if(next.begin(), next.end(), [&key = key](const auto& e) { return e.first == key; });
    if (at != next.end() && value) at->second = *value;
    else if (at != next.end()) next.erase(at);
    else if (value) next.emplace_back(key, *value);
  }
  Value domain(std::move(next));
  std::string why;
  auto bytes = writePropertyList(domain, PlistFormat::Automatic, &why);
  if (!bytes) {
    writeError_ = "cannot write " + path_ + ": " + why;
    return false;
  }

  std::string temp = path_ + std::string(kTempMark) + "XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    writeError_ = errnoText("cannot create a file beside " + path_);
    return false;
  }
  if (!writeAll(fd, *bytes) || ::fsync(fd) != 0) {
    writeError_ = errnoText("cannot write " + temp);
    ::close(fd);
    ::unlink(temp.c_str());
    return false;
  }
  struct stat st {};
  bool present = ::lstat(path_.c_str(), &st) == 0 || errno != ENOENT;
  bool replaced = state_ == FileState::Damaged && present ? setAside(temp) : ::rename(temp.c_str(), path_.c_str()) == 0;
  if (!replaced) {
    if (writeError_.empty()) writeError_ = errnoText("cannot replace " + path_);
    ::close(fd);
    ::unlink(temp.c_str());
    return false;
  }
  syncFolder(folder);
  // What was written is what the next read finds, unless the file's key
  // says someone replaced it since.
  adopt(std::move(std::get<Value::Dict>(domain.v)));
  bytes_ = std::move(*bytes);
  haveBytes_ = true;
  noteKey(fd);
  ::close(fd);
  pending_.clear();
  return true;
}

void SimDefaults::change(const std::string& key, std::optional<Value> value) {
  {
    std::lock_guard lock(mutex_);
    writeError_.clear();
    movedAside_.clear();
    if (value) {
      // A dictionary inside that names a key twice keeps the last value, as
      // assigning each pair would.
      value = withoutRepeatedKeys(std::move(*value));
      std::string why;
      if (!writePropertyList(Value(Value::Dict{{key, *value}}), PlistFormat::Automatic, &why)) {
        writeError_ = "the value for this key cannot be stored: " + why;
        return;
      }
    }
    pending_[key] = std::move(value);
    flush();
  }
  tellAside();
}

void SimDefaults::setAsideObserver(std::function<void(const std::string&)> observer) {
  std::lock_guard lock(mutex_);
  asideObserver_ = std::move(observer);
}

void SimDefaults::tellAside() {
  std::function<void(const std::string&)> observer;
  std::string keptAt;
  {
    std::lock_guard lock(mutex_);
    observer = asideObserver_;
    keptAt = movedAside_;
  }
  if (observer && !keptAt.empty()) observer(keptAt);
}

// ---- UserDefaults ----

void SimDefaults::registerDefaults(const std::vector<std::pair<std::string, Value>>& defaults) {
  std::lock_guard lock(mutex_);
  for (const auto& [key, value] : defaults) registered_[key] = value;
}

std::optional<Value> SimDefaults::objectForKey(const std::string& key) {
  std::lock_guard lock(mutex_);
  if (const Value* v = lookup(key)) return *v;
  return std::nullopt;
}

bool SimDefaults::boolForKey(const std::string& key) {
  std::lock_guard lock(mutex_);
  const Value* v = lookup(key);
  if (!v) return false;
  if (auto* b = std::get_if<bool>(&v->v)) return *b;
  if (auto* i = std::get_if<int64_t>(&v->v)) return *i != 0;
  if (std::get_if<Value::Unsigned>(&v->v)) return true;  // never zero: past INT64_MAX
  if (auto* d = std::get_if<double>(&v->v)) return *d != 0;  // NaN too is not zero
  if (auto* s = std::get_if<std::string>(&v->v)) return stringBool(*s);
  return false;
}

double SimDefaults::doubleForKey(const std::string& key) {
  std::lock_guard lock(mutex_);
  const Value* v = lookup(key);
  if (!v) return 0;
  if (auto* b = std::get_if<bool>(&v->v)) return *b ? 1 : 0;
  if (auto* i = std::get_if<int64_t>(&v->v)) return static_cast<double>(*i);
  if (auto* u = std::get_if<Value::Unsigned>(&v->v)) return static_cast<double>(u->value);
  if (auto* d = std::get_if<double>(&v->v)) return *d;
  if (auto* s = std::get_if<std::string>(&v->v)) return stringDouble(*s);
  return 0;
}

int64_t SimDefaults::integerForKey(const std::string& key) {
  std::lock_guard lock(mutex_);
  const Value* v = lookup(key);
  if (!v) return 0;
  if (auto* b = std::get_if<bool>(&v->v)) return *b ? 1 : 0;
  if (auto* i = std::get_if<int64_t>(&v->v)) return *i;
  // NSNumber's integerValue converts as C does: the low 64 bits, so past
  // INT64_MAX the value wraps to a negative one.
  if (auto* u = std::get_if<Value::Unsigned>(&v->v)) return static_cast<int64_t>(u->value);
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

std::string SimDefaults::damage() {
  std::lock_guard lock(mutex_);
  refresh();
  return damage_;
}

std::optional<Value::Dict> SimDefaults::persistentDomain() {
  std::lock_guard lock(mutex_);
  refresh();
  std::optional<Value::Dict> domain;
  if (state_ == FileState::Readable) domain = domain_;
  for (const auto& [key, value] : pending_) {
    if (!domain) domain.emplace();
    auto at = std::find_if(domain->begin(), domain->end(), [&key = key](const auto& e) { return e.first == key; });
    if (at != domain->end() && value) at->second = *value;
    else if (at != domain->end()) domain->erase(at);
    else if (value) domain->emplace_back(key, *value);
  }
  return domain;
}

bool SimDefaults::removePersistentDomain() {
  bool removed = removeDomain();
  tellAside();
  return removed;
}

bool SimDefaults::removeDomain() {
  std::lock_guard lock(mutex_);
  pending_.clear();
  writeError_.clear();
  movedAside_.clear();
  ExclusiveLock folderLock(folderOf(path_), ExclusiveLock::On::Folder);
  if (folderLock.held()) removeStaleTemporaries();
  refresh();
  if (state_ == FileState::Missing) return true;
  if (state_ == FileState::Damaged) {
    if (!setAside("")) return false;
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
