#pragma once
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
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
// time; the registration domain lives in memory only.
//
// Reads come from memory. Each read asks the file system once (one stat)
// whether the file is still the one read last; only a changed file is read
// again. A change landing within the same tick of the file system's clock
// as the last read cannot show in the time stamps, so for that one tick
// the bytes are compared instead.
//
// A file that cannot be read as a property list (see PropertyList.h: also
// one holding something this desktop could not write back exactly) is never
// rewritten: it reads as an empty domain, and the first write copies its
// bytes to "<path>.corrupt" (or "<path>.corrupt.N"), a file nothing else
// ever writes to, before the new file takes its place. A value that cannot
// be stored at all (text that is not UTF-8, nesting too deep) is refused
// with writeError() and changes nothing. A write that cannot reach the disk
// keeps its value in memory for this process, as Foundation does, and is
// retried with the next write. Temporary files of writers that were killed
// are removed by the next write.
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
  // Why the file counts as damaged ("a date that is not yyyy-MM-ddTHH:mm:ssZ (XML,
  // byte 80)"); empty when it does not.
  std::string damage();
  // The application domain as this process sees it, keys in file order;
  // nullopt when there is no such domain at all.
  std::optional<Value::Dict> persistentDomain();
  // Removes the whole application domain; a damaged file is set aside.
  // False (see writeError) if the file could not be removed.
  bool removePersistentDomain();
  // Why the last change did not reach the file; empty when it did.
  std::string writeError();
  // Where the last change set a damaged file aside; empty if it did not.
  std::string movedAsidePath();
  // Told, on the thread that made the change and outside the lock, each
  // time a change set a damaged file aside: where its bytes were kept.
  void setAsideObserver(std::function<void(const std::string& keptAt)> observer);

 private:
  struct FileKey {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    timespec mtime{}, ctime{};
    bool operator==(const FileKey& o) const;
  };

  void refresh();
  void load();
  void forget(FileState state, std::string damage);
  void adopt(Value::Dict domain);
  void noteKey(int fd);
  const Value* lookup(const std::string& key);
  void change(const std::string& key, std::optional<Value> value);
  bool flush();
  bool setAside(const std::string& replacement);
  std::string copyAside();
  void retire(const std::string& oldFile, const std::string& aside);
  void removeStaleTemporaries();

  const std::string path_;
  std::mutex mutex_;
  std::map<std::string, Value, std::less<>> registered_;
  // Changes made here that the file does not hold yet (nullopt: removed).
  std::map<std::string, std::optional<Value>, std::less<>> pending_;
  std::string writeError_;
  std::string movedAside_;
  std::function<void(const std::string&)> asideObserver_;
  void tellAside();  // without the lock
  bool removeDomain();

  // The file as last read.
  FileState state_ = FileState::Missing;
  std::string damage_;
  Value::Dict domain_;                                 // while Readable, in file order
  std::map<std::string, size_t, std::less<>> index_;  // key → place in domain_
  std::string bytes_;
  bool haveBytes_ = false;  // bytes_ is the whole file, so a damaged one can be copied aside
  std::optional<FileKey> key_;
  bool settled_ = false;    // a later change must show in the time stamps of key_
};

}  // namespace tl::sim
