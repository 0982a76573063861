#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/Files.h"

namespace tl::sim {

// Writes every byte, retrying after interruptions and short writes; false
// (errno set) on failure.
bool writeAll(int fd, const std::string& bytes);

// Reads to the end of fd, retrying after interruptions; false (errno set)
// on failure or once more than limit bytes arrive.
bool readAll(int fd, std::string& bytes, size_t limit);

// The whole of a plain file of at most limit bytes. Never blocks on a FIFO
// or a device; false (errno set: EINVAL for something that is not a plain
// file, EFBIG for one too large) on failure.
bool readPlainFile(const std::string& path, std::string& bytes, size_t limit);

// Holds an exclusive flock on a file or folder for as long as it lives; the
// processes of one simulated user serialise their shared files through it.
// A file is created when missing; a path that cannot be opened gives a lock
// that is not held, and callers decide whether to go on without it.
class ExclusiveLock {
 public:
  enum class On { File, Folder };
  explicit ExclusiveLock(const std::string& path, On on = On::File);
  ~ExclusiveLock();
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;
  bool held() const { return fd_ >= 0; }
  int fd() const { return fd_; }

 private:
  int fd_;
};

// A file descriptor the handle owns; closed at the latest when the handle
// goes away.
class SimFileHandle : public FileHandle {
 public:
  explicit SimFileHandle(int fd) : fd_(fd) {}
  ~SimFileHandle() override;
  SimFileHandle(const SimFileHandle&) = delete;
  SimFileHandle& operator=(const SimFileHandle&) = delete;

  void seekToEndOfFile() override;
  bool writeData(const std::string& bytes) override;
  bool closeAndReturnError(std::string* error) override;

  // -1 once closed.
  int fd() const { return fd_; }

 private:
  int fd_;
};

// Makes `home` a Mac account's home: the folder itself when it is missing,
// and the Library/Logs and Library/Preferences every account has (not
// Library/LaunchAgents, which appears only once something is put there).
// What is already there is left exactly as it is. False, with the reason,
// when the home is not a folder or one of them cannot be made.
bool prepareMacHome(const std::string& home, std::string* error);

// The user's files on the simulated Mac are real files under the sandbox
// home; errors read as Foundation words them.
class SimFileManager : public FileManager {
 public:
  explicit SimFileManager(std::string home) : home_(std::move(home)) {}

  // A fault switch: the folder and everything in it answer as missing
  // (nothing can be found, opened or saved there) while the real one on
  // disk, with whatever it holds, stays untouched.
  void setFolderMissing(const std::string& folder, bool missing);
  bool folderMissing(const std::string& folder) const;

  std::string homeDirectory() const override { return home_; }
  bool fileExistsAtPath(const std::string& path) const override;
  bool createDirectoryAtPath(const std::string& path, bool withIntermediateDirectories, std::string* error) override;
  bool removeItemAtPath(const std::string& path, std::string* error) override;
  std::shared_ptr<FileHandle> fileHandleForWritingAtPath(const std::string& path) override;
  std::shared_ptr<FileHandle> fileHandleWithNullDevice() override;
  bool writeAtomically(const std::string& path, const std::string& text, std::string* error) override;
  bool createAtomically(const std::string& path, const std::string& text, std::string* error) override;

 private:
  bool hidden(const std::string& path) const;
  static bool publish(const std::string& temp, const std::string& path, bool replace);
  bool save(const std::string& path, const std::string& text, bool replace, std::string* error);

  std::string home_;
  std::vector<std::string> missing_;  // normalised absolute paths
};

}  // namespace tl::sim
