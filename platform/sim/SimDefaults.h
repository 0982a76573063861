#pragma once
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/UserDefaults.h"
#include "platform/Value.h"

namespace tl::sim {

// The user defaults of one application on the simulated Mac: the
// application domain lives in a property-list file that other processes
// (the `defaults` tool, a second copy, a text editor) may change at any
// time, so every read looks at the file's current contents; the
// registration domain lives in memory only.
//
// A file that cannot be read as a property list is never overwritten: it
// reads as an empty domain, and the first write moves it aside to
// "<path>.corrupt" (or "<path>.corrupt.N") before putting a new file in
// its place. A write that cannot reach the disk keeps its value in memory
// for this process, as Foundation does, and is retried with the next write.
//
// Safe to use from several threads.
class SimDefaults : public UserDefaults {
 public:
  enum class FileState { Missing, Readable, Damaged };

  explicit SimDefaults(std::string plistPath);
  ~SimDefaults() override;
  SimDefaults(const SimDefaults&) = delete;
  SimDefaults& operator=(const SimDefaults&) = delete;

  void registerDefaults(const std::vector<std::pair<std::string, Value>>& defaults) override;
  std::optional<Value> objectForKey(const std::string& key) override;
  bool boolForKey(const std::string& key) override;
  double doubleForKey(const std::string& key) override;
  int64_t integerForKey(const std::string& key) override;
  void setObject(const std::string& key, const Value& value) override;
  void setBool(const std::string& key, bool value) override;
  void setDouble(const std::string& key, double value) override;
  void setInteger(const std::string& key, int64_t value) override;
  void removeObjectForKey(const std::string& key) override;

  const std::string& path() const { return path_; }
  // What the file held at this moment (a damaged file reads as no domain).
  FileState fileState();
  // The application domain as this process sees it, keys in file order;
  // nullopt when there is no such domain at all.
  std::optional<Value::Dict> persistentDomain();
  // Removes the whole application domain; a damaged file is moved aside.
  // False (see writeError) if the file could not be removed.
  bool removePersistentDomain();
  // Why the last change did not reach the file; empty when it did.
  std::string writeError();
  // Where this instance last moved a damaged file; empty if it never did.
  std::string movedAsidePath();

 private:
  struct FileKey {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    timespec mtime{}, ctime{};
    bool operator==(const FileKey& o) const;
  };
  struct PlistDeleter {
    void operator()(void* node) const;
  };
  using Tree = std::unique_ptr<void, PlistDeleter>;

  void refresh();
  void load(const FileKey& key);
  std::optional<Value> lookup(const std::string& key);
  void change(const std::string& key, std::optional<Value> value);
  bool flush();
  bool moveAside();

  const std::string path_;
  std::mutex mutex_;
  std::map<std::string, Value> registered_;
  // Changes made here that the file does not hold yet (nullopt: removed).
  std::map<std::string, std::optional<Value>> pending_;
  std::string writeError_;
  std::string movedAside_;

  // The file as last read.
  FileState state_ = FileState::Missing;
  Tree tree_;  // the root dictionary while Readable
  std::string bytes_;
  std::optional<FileKey> key_;
  bool racy_ = true;  // changed too recently for its time stamp to tell a later change
};

}  // namespace tl::sim
