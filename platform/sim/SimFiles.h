#pragma once
#include <string>

#include "platform/Files.h"

namespace tl::sim {

// A handle on a real file descriptor, owned.
class SimFileHandle : public FileHandle {
 public:
  explicit SimFileHandle(int fd) : fd_(fd) {}
  ~SimFileHandle() override;
  void seekToEndOfFile() override;
  bool writeData(const std::string& bytes) override;
  bool closeAndReturnError(std::string* error) override;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// Real POSIX files; the home is the sandbox home, never the real one.
class SimFileManager : public FileManager {
 public:
  explicit SimFileManager(std::string home) : home_(std::move(home)) {}
  std::string homeDirectory() const override { return home_; }
  bool fileExistsAtPath(const std::string& path) const override;
  bool createDirectoryAtPath(const std::string& path, bool withIntermediateDirectories, std::string* error) override;
  bool removeItemAtPath(const std::string& path, std::string* error) override;
  std::shared_ptr<FileHandle> fileHandleForWritingAtPath(const std::string& path) override;
  std::shared_ptr<FileHandle> fileHandleWithNullDevice() override;
  bool writeAtomically(const std::string& path, const std::string& text, std::string* error) override;

 private:
  std::string home_;
};

}  // namespace tl::sim
