#pragma once
#include <memory>
#include <string>

namespace tl {

class FileHandle {
 public:
  virtual ~FileHandle() = default;
  virtual void seekToEndOfFile() = 0;
  virtual bool writeData(const std::string& bytes) = 0;
  // False, with a description in *error, when closing failed.
  virtual bool closeAndReturnError(std::string* error) = 0;
};

// Every operation that can fail returns false and describes the failure in
// *error (when error is not null), as NSError's localizedDescription would.
class FileManager {
 public:
  virtual ~FileManager() = default;
  virtual std::string homeDirectory() const = 0;
  virtual bool fileExistsAtPath(const std::string& path) const = 0;
  virtual bool createDirectoryAtPath(const std::string& path, bool withIntermediateDirectories,
                                     std::string* error) = 0;
  virtual bool removeItemAtPath(const std::string& path, std::string* error) = 0;
  // Absent when the file does not exist or cannot be opened for writing.
  // The handle appends: every write lands at the end of the file as it is
  // at that moment, so copies that record at once (seeking to the same end)
  // never write over each other's records.
  virtual std::shared_ptr<FileHandle> fileHandleForWritingAtPath(const std::string& path) = 0;
  virtual std::shared_ptr<FileHandle> fileHandleWithNullDevice() = 0;
  // Writes the UTF-8 text to a temporary file in the same folder, then
  // renames it over the target.
  virtual bool writeAtomically(const std::string& path, const std::string& text, std::string* error) = 0;
  // The same, but never over a file: fails when the path is taken by the
  // time the new file would get it (another process may create it in the
  // meantime), leaving that file as it is.
  virtual bool createAtomically(const std::string& path, const std::string& text, std::string* error) = 0;
};

}  // namespace tl
