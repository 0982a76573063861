#include "platform/macos/MacBridge.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tl::mac {

namespace {

// The error-returning forms throughout: the older seekToEndOfFile and
// writeData: raise an Objective-C exception on a full disk or a revoked
// file, which would end the process.
class MacFileHandle final : public FileHandle {
 public:
  explicit MacFileHandle(NSFileHandle* handle) : handle_(handle) {}

  void seekToEndOfFile() override {
    if (closed_) return;
    unsigned long long offset = 0;
    [handle_ seekToEndReturningOffset:&offset error:nullptr];
  }

  bool writeData(const std::string& bytes) override {
    if (closed_) return false;
    NSData* data = [NSData dataWithBytes:bytes.data() length:bytes.size()];
    return [handle_ writeData:data error:nullptr];
  }

  bool closeAndReturnError(std::string* error) override {
    if (closed_) return true;
    closed_ = true;
    NSError* failure = nil;
    if ([handle_ closeAndReturnError:&failure]) return true;
    describeError(failure, error, "The file could not be closed.");
    return false;
  }

  NSFileHandle* ns() const { return handle_; }

 private:
  NSFileHandle* handle_;
  bool closed_ = false;
};

class MacFileManager final : public FileManager {
 public:
  std::string homeDirectory() const override { return fromNSPath(NSHomeDirectory()); }

  bool fileExistsAtPath(const std::string& path) const override {
    return [[NSFileManager defaultManager] fileExistsAtPath:toNSPath(path)];
  }

  bool createDirectoryAtPath(const std::string& path, bool withIntermediateDirectories, std::string* error) override {
    NSError* failure = nil;
    if ([[NSFileManager defaultManager] createDirectoryAtPath:toNSPath(path)
                                  withIntermediateDirectories:withIntermediateDirectories ? YES : NO
                                                   attributes:nil
                                                        error:&failure])
      return true;
    describeError(failure, error, "The folder could not be created.");
    return false;
  }

  bool removeItemAtPath(const std::string& path, std::string* error) override {
    NSError* failure = nil;
    if ([[NSFileManager defaultManager] removeItemAtPath:toNSPath(path) error:&failure]) return true;
    describeError(failure, error, "The item could not be removed.");
    return false;
  }

  std::shared_ptr<FileHandle> fileHandleForWritingAtPath(const std::string& path) override {
    // NSFileHandle's own fileHandleForWritingAtPath: opens without
    // O_APPEND: two copies that seek to the same end would write over each
    // other's record. Non-blocking open, so a FIFO without a reader cannot
    // hang the caller; paths here are already the file system's bytes.
    int fd = path.empty() ? -1 : ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return nullptr;
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    NSFileHandle* handle = [[NSFileHandle alloc] initWithFileDescriptor:fd closeOnDealloc:YES];
    return std::make_shared<MacFileHandle>(handle);
  }

  std::shared_ptr<FileHandle> fileHandleWithNullDevice() override {
    return std::make_shared<MacFileHandle>([NSFileHandle fileHandleWithNullDevice]);
  }

  bool writeAtomically(const std::string& path, const std::string& text, std::string* error) override {
    NSError* failure = nil;
    NSString* target = toNSPath(path);
    NSString* string = [[NSString alloc] initWithBytes:text.data() length:text.size() encoding:NSUTF8StringEncoding];
    BOOL ok = NO;
    if (string) {
      ok = [string writeToFile:target atomically:YES encoding:NSUTF8StringEncoding error:&failure];
    } else {
      // Not UTF-8 after all: the bytes as they are, rather than nothing.
      NSData* data = [NSData dataWithBytes:text.data() length:text.size()];
      ok = [data writeToFile:target options:NSDataWritingAtomic error:&failure];
    }
    if (ok) return true;
    describeError(failure, error, "The file could not be written.");
    return false;
  }

  // Foundation's atomic write replaces whatever is there; this one publishes
  // its temporary file with renamex_np's RENAME_EXCL, which refuses a name
  // another process has taken in the meantime.
  bool createAtomically(const std::string& path, const std::string& text, std::string* error) override {
    size_t slash = path.rfind('/');
    std::string temp = (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/.tl-save-XXXXXX";
    int fd = mkstemp(temp.data());
    bool ok = fd >= 0 && fchmod(fd, 0644) == 0;
    for (size_t done = 0; ok && done < text.size();) {
      ssize_t n = write(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      ok = n > 0;
      if (ok) done += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    if (fd >= 0 && close(fd) != 0) ok = false;
    ok = ok && renamex_np(temp.c_str(), path.c_str(), RENAME_EXCL) == 0;
    if (ok) return true;
    int err = errno;
    if (fd >= 0) unlink(temp.c_str());
    describeError([NSError errorWithDomain:NSPOSIXErrorDomain code:err userInfo:nil], error,
                  "The file could not be written.");
    return false;
  }
};

}  // namespace

NSFileHandle* nsFileHandle(const std::shared_ptr<FileHandle>& handle) {
  auto* mac = dynamic_cast<MacFileHandle*>(handle.get());
  return mac ? mac->ns() : nil;
}

std::unique_ptr<FileManager> makeFileManager() { return std::make_unique<MacFileManager>(); }

}  // namespace tl::mac
