#include "platform/sim/SimFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace tl::sim {

namespace {
void describe(std::string* error, const std::string& what, int err) {
  if (error) *error = what + " (" + std::strerror(err) + ")";
}
std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }
std::string folderOf(const std::string& path) {
  auto parent = std::filesystem::path(path).parent_path().string();
  return parent.empty() ? "." : parent;
}
}  // namespace

SimFileHandle::~SimFileHandle() {
  if (fd_ >= 0) ::close(fd_);
}

void SimFileHandle::seekToEndOfFile() {
  if (fd_ >= 0) ::lseek(fd_, 0, SEEK_END);
}

bool SimFileHandle::writeData(const std::string& bytes) {
  size_t done = 0;
  while (fd_ >= 0 && done < bytes.size()) {
    ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return fd_ >= 0;
}

bool SimFileHandle::closeAndReturnError(std::string* error) {
  if (fd_ < 0) {
    if (error) *error = "The file is already closed.";
    return false;
  }
  int rc = ::close(fd_);
  fd_ = -1;
  if (rc != 0) describe(error, "The file couldn’t be closed.", errno);
  return rc == 0;
}

bool SimFileManager::fileExistsAtPath(const std::string& path) const {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool SimFileManager::createDirectoryAtPath(const std::string& path, bool withIntermediateDirectories,
                                           std::string* error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return true;
  if (withIntermediateDirectories) {
    std::filesystem::create_directories(path, ec);
  } else {
    std::filesystem::create_directory(path, ec);
  }
  if (ec || !std::filesystem::is_directory(path)) {
    describe(error, "The file “" + fileName(path) + "” couldn’t be saved in the folder “" +
                        fileName(folderOf(path)) + "”.",
             ec ? ec.value() : EEXIST);
    return false;
  }
  return true;
}

bool SimFileManager::removeItemAtPath(const std::string& path, std::string* error) {
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
    describe(error, "“" + fileName(path) + "” couldn’t be removed.", ENOENT);
    return false;
  }
  std::filesystem::remove_all(path, ec);
  if (ec) {
    describe(error, "“" + fileName(path) + "” couldn’t be removed.", ec.value());
    return false;
  }
  return true;
}

std::shared_ptr<FileHandle> SimFileManager::fileHandleForWritingAtPath(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_shared<SimFileHandle>(fd);
}

std::shared_ptr<FileHandle> SimFileManager::fileHandleWithNullDevice() {
  int fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  return std::make_shared<SimFileHandle>(fd);
}

bool SimFileManager::writeAtomically(const std::string& path, const std::string& text, std::string* error) {
  std::string tmpl = folderOf(path) + "/." + fileName(path) + ".XXXXXX";
  int fd = ::mkstemp(tmpl.data());
  auto fail = [&](int err) {
    describe(error, "The file “" + fileName(path) + "” couldn’t be saved in the folder “" +
                        fileName(folderOf(path)) + "”.",
             err);
    return false;
  };
  if (fd < 0) return fail(errno);
  SimFileHandle handle(fd);
  ::fchmod(fd, 0644);
  bool ok = handle.writeData(text) && ::fsync(fd) == 0;
  int err = errno;
  if (!handle.closeAndReturnError(nullptr) || !ok) {
    ::unlink(tmpl.c_str());
    return fail(ok ? EIO : err);
  }
  if (::rename(tmpl.c_str(), path.c_str()) != 0) {
    err = errno;
    ::unlink(tmpl.c_str());
    return fail(err);
  }
  return true;
}

}  // namespace tl::sim
