#include "platform/sim/SimFiles.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace tl::sim {

namespace {

namespace fs = std::filesystem;

// The names Foundation puts in its messages: the last component of the
// path, and that of the folder holding it.
std::string nameOf(const std::string& path) {
  fs::path p = fs::path(path).lexically_normal();
  if (!p.has_filename() && p.has_parent_path()) p = p.parent_path();
  std::string name = p.filename().string();
  return name.empty() ? p.string() : name;
}

std::string folderOf(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec).lexically_normal();
  if (!p.has_filename() && p.has_parent_path()) p = p.parent_path();
  return p.parent_path().string();
}

std::string quoted(const std::string& s) { return "“" + s + "”"; }

// NSCocoaErrorDomain's wording for a failed save, chosen by the errno.
std::string saveError(const std::string& path, int err) {
  std::string file = quoted(nameOf(path)), folder = quoted(nameOf(folderOf(path)));
  switch (err) {
    case EACCES:
    case EPERM:
      return "You don’t have permission to save the file " + file + " in the folder " + folder + ".";
    case ENOENT:
      return "The folder " + folder + " doesn’t exist.";
    case EEXIST:
    case ENOTDIR:
      return "The file " + file + " couldn’t be saved in the folder " + folder +
             " because a file with the same name already exists.";
    case ENOSPC:
    case EDQUOT:
      return "The file " + file + " couldn’t be saved because there isn’t enough space.";
    case EROFS:
      return "The file " + file + " couldn’t be saved because the volume is read only.";
    default:
      return "The file " + file + " couldn’t be saved in the folder " + folder + ".";
  }
}

std::string removeError(const std::string& path, int err) {
  std::string file = quoted(nameOf(path));
  if (err == EACCES || err == EPERM) return file + " couldn’t be removed because you don’t have permission to access it.";
  return file + " couldn’t be removed.";
}

bool fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}


// The mode a newly created file gets, as open(2) would give it, without
// touching the process-wide umask (other threads may be creating files).
mode_t newFileMode() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Umask:", 0) == 0) return 0666 & ~static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  return 0644;
}

bool isDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

ExclusiveLock::ExclusiveLock(const std::string& path, On on)
    : fd_(on == On::Folder ? ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                           : ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
  while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(fd_);
      fd_ = -1;
    }
  }
}

ExclusiveLock::~ExclusiveLock() {
  if (fd_ >= 0) ::close(fd_);
}

bool writeAll(int fd, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // A non-blocking pipe that is full: wait until its reader takes some.
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, -1) >= 0 || errno == EINTR) continue;
      return false;
    }
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool readAll(int fd, std::string& bytes, size_t limit) {
  bytes.clear();
  char buf[16384];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (bytes.size() + static_cast<size_t>(n) > limit) {
      errno = EFBIG;
      return false;
    }
    bytes.append(buf, static_cast<size_t>(n));
  }
}

bool readPlainFile(const std::string& path, std::string& bytes, size_t limit) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0;
  if (ok && !S_ISREG(st.st_mode)) {
    errno = EINVAL;
    ok = false;
  }
  ok = ok && readAll(fd, bytes, limit);
  int err = errno;
  ::close(fd);
  errno = err;
  return ok;
}

SimFileHandle::~SimFileHandle() {
  if (fd_ >= 0) ::close(fd_);
}

void SimFileHandle::seekToEndOfFile() {
  if (fd_ >= 0) ::lseek(fd_, 0, SEEK_END);
}

bool SimFileHandle::writeData(const std::string& bytes) { return fd_ >= 0 && writeAll(fd_, bytes); }

bool SimFileHandle::closeAndReturnError(std::string* error) {
  if (fd_ < 0) return fail(error, "The operation couldn’t be completed. Bad file descriptor");
  int rc = ::close(fd_);
  int err = errno;
  fd_ = -1;
  // Linux closes the descriptor even when close reports an error (EINTR
  // included), so it is never closed twice.
  if (rc != 0) return fail(error, std::string("The operation couldn’t be completed. ") + std::strerror(err));
  return true;
}

bool prepareMacHome(const std::string& home, std::string* error) {
  std::error_code ec;
  if (fs::exists(home, ec) && !fs::is_directory(home, ec)) return fail(error, home + " is not a folder");
  for (const char* sub : {"/Library/Logs", "/Library/Preferences"}) {
    std::string path = home + sub;
    if (isDirectory(path)) continue;
    // Something else by that name is the user's: it stays, and the
    // application meets it as it would on a Mac.
    if (fs::exists(path, ec)) continue;
    fs::create_directories(path, ec);
    if (ec && !isDirectory(path)) return fail(error, path + ": " + ec.message());
  }
  return true;
}

namespace {
std::string normalised(const std::string& path) {
  std::error_code ec;
  std::string p = fs::absolute(path, ec).lexically_normal().string();
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}
}  // namespace

void SimFileManager::setFolderMissing(const std::string& folder, bool missing) {
  std::string p = normalised(folder);
  auto it = std::find(missing_.begin(), missing_.end(), p);
  if (missing && it == missing_.end()) missing_.push_back(p);
  if (!missing && it != missing_.end()) missing_.erase(it);
}

bool SimFileManager::folderMissing(const std::string& folder) const {
  return std::find(missing_.begin(), missing_.end(), normalised(folder)) != missing_.end();
}

bool SimFileManager::hidden(const std::string& path) const {
  if (missing_.empty() || path.empty()) return false;
  std::string p = normalised(path);
  for (const auto& m : missing_)
    if (p == m || (p.size() > m.size() && p.compare(0, m.size(), m) == 0 && p[m.size()] == '/')) return true;
  return false;
}

bool SimFileManager::fileExistsAtPath(const std::string& path) const {
  struct stat st;
  return !path.empty() && !hidden(path) && ::stat(path.c_str(), &st) == 0;
}

bool SimFileManager::createDirectoryAtPath(const std::string& path, bool withIntermediateDirectories,
                                           std::string* error) {
  if (path.empty()) return fail(error, saveError(path, EINVAL));
  if (hidden(path)) return fail(error, saveError(path, ENOENT));
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    // Foundation: an existing folder is fine only when intermediates are
    // asked for; without them it is a name already taken.
    if (S_ISDIR(st.st_mode) && withIntermediateDirectories) return true;
    return fail(error, saveError(path, EEXIST));
  }
  if (!withIntermediateDirectories) {
    if (::mkdir(path.c_str(), 0777) == 0) return true;
    return fail(error, saveError(path, errno));
  }
  // Component by component, so the message can name the one in the way.
  fs::path target = fs::path(path).lexically_normal();
  fs::path sofar;
  for (const auto& part : target) {
    sofar /= part;
    std::string here = sofar.string();
    if (part.empty() || part == "/" || part == ".") continue;
    if (::mkdir(here.c_str(), 0777) == 0) continue;
    int err = errno;
    if (err == EEXIST && isDirectory(here)) continue;  // there already, or just made by another process
    return fail(error, saveError(here, err == EEXIST ? EEXIST : err));
  }
  return true;
}

bool SimFileManager::removeItemAtPath(const std::string& path, std::string* error) {
  struct stat st;
  if (path.empty() || hidden(path) || ::lstat(path.c_str(), &st) != 0) return fail(error, removeError(path, ENOENT));
  std::error_code ec;
  fs::remove_all(path, ec);
  if (ec) return fail(error, removeError(path, ec.value()));
  return true;
}

std::shared_ptr<FileHandle> SimFileManager::fileHandleForWritingAtPath(const std::string& path) {
  if (path.empty() || hidden(path)) return nullptr;
  // Non-blocking open: a FIFO without a reader must not hang the caller.
  // The descriptor stays so: a regular file ignores the flag, and a full
  // pipe is waited for by writeAll, so no flags are changed per record.
  // Appending (see FileHandle): another process's record written between
  // our seek and our write is never overwritten.
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return nullptr;
  return std::make_shared<SimFileHandle>(fd);
}

std::shared_ptr<FileHandle> SimFileManager::fileHandleWithNullDevice() {
  return std::make_shared<SimFileHandle>(::open("/dev/null", O_RDWR | O_CLOEXEC));
}

bool SimFileManager::writeAtomically(const std::string& path, const std::string& text, std::string* error) {
  return save(path, text, true, error);
}

bool SimFileManager::createAtomically(const std::string& path, const std::string& text, std::string* error) {
  return save(path, text, false, error);
}

// Moves temp to path, over a file there only when replace is set.
bool SimFileManager::publish(const std::string& temp, const std::string& path, bool replace) {
  if (replace) return ::rename(temp.c_str(), path.c_str()) == 0;
  if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without no-replace renames: a hard link fails just the
  // same when the name is taken.
  if (::link(temp.c_str(), path.c_str()) != 0) return false;
  ::unlink(temp.c_str());
  return true;
}

bool SimFileManager::save(const std::string& path, const std::string& text, bool replace, std::string* error) {
  if (path.empty() || nameOf(path).empty() || path.back() == '/') return fail(error, saveError(path, EINVAL));
  if (hidden(path)) return fail(error, saveError(path, ENOENT));
  struct stat st;
  bool exists = ::stat(path.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) return fail(error, saveError(path, EISDIR));
  if (exists && !replace) return fail(error, saveError(path, EEXIST));
  mode_t mode = exists ? (st.st_mode & 07777) : newFileMode();

  std::string folder = folderOf(path);
  std::string temp = folder + "/.tl-save-XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return fail(error, saveError(path, errno));
  ::fchmod(fd, mode);
  bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
  int err = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && !publish(temp, path, replace)) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    return fail(error, saveError(path, err));
  }
  // The rename itself survives a crash only once the folder is on disk.
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

}  // namespace tl::sim
