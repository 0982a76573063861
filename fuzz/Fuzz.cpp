#include "fuzz/Fuzz.h"

#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/Main.h"
#include "platform/sim/SimDesktop.h"

#if defined(__SANITIZE_ADDRESS__)
#define TUCKLINE_HEAP_HOOKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TUCKLINE_HEAP_HOOKS 1
#endif
#endif
#ifdef TUCKLINE_HEAP_HOOKS
// AddressSanitizer's allocator interface; declared here, as not every
// compiler ships its header.
extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, size_t),
                                              void (*onFree)(const volatile void*));
size_t __sanitizer_get_allocated_size(const volatile void* p);
}
#endif

namespace tl::fuzz {

namespace fs = std::filesystem;

const std::vector<Target>& targets() {
  static const std::vector<Target> all = {
      {"preferences_file", preferencesFile}, {"defaults_tool", defaultsTool}, {"web_input", webInput},
      {"console_line", consoleLine},         {"launch_agent", launchAgent},   {"launchd_state", launchdState},
      {"text_metrics", textMetrics},         {"screen_socket", screenSocket},
  };
  return all;
}

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz: violated: %s\n", what);
  std::abort();
}

namespace {

#ifdef TUCKLINE_HEAP_HOOKS
// Heap in use since counting began (frees of older blocks may take it below
// zero), and its highest point.
std::atomic<bool> counting{false};
std::atomic<int64_t> heapNow{0}, heapPeak{0};
void onMalloc(const volatile void*, size_t size) {
  if (!counting.load(std::memory_order_relaxed)) return;
  int64_t now = heapNow += static_cast<int64_t>(size);
  for (int64_t peak = heapPeak.load(); now > peak && !heapPeak.compare_exchange_weak(peak, now);) {
  }
}
void onFree(const volatile void* p) {
  if (counting.load(std::memory_order_relaxed) && p)
    heapNow -= static_cast<int64_t>(__sanitizer_get_allocated_size(p));
}
#endif

double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

}  // namespace

void checkDecodingCost(size_t size, const std::function<void()>& decode) {
#ifdef TUCKLINE_HEAP_HOOKS
  static const bool hooked = __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree) != 0;
  heapNow = 0;
  heapPeak = 0;
  counting = hooked;
#endif
  const double start = threadCpuSeconds();
  decode();
  const double seconds = threadCpuSeconds() - start;
#ifdef TUCKLINE_HEAP_HOOKS
  counting = false;
  // Foundation's own reading of an unshared file takes some tens of bytes a
  // byte; 256 leaves room for what the allowance of shared text adds.
  check(heapPeak <= static_cast<int64_t>(256 * size + (16 << 20)), "decoding held memory far beyond the input's size");
#endif
  check(seconds <= 0.5 + 10e-6 * static_cast<double>(size), "decoding took time far beyond the input's size");
}

namespace {
// Removed when the process ends normally; a crashed run leaves it for a look.
// In memory where there is a tmpfs: every write of the defaults is synced to
// disk, which would otherwise set the pace.
struct Scratch {
  std::string root;
  Scratch() {
    std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string tmpl = base + "/tuckline-fuzz-XXXXXX";
    check(mkdtemp(tmpl.data()) != nullptr, "a scratch folder");
    root = tmpl;
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};
Scratch& scratch() {
  static Scratch s;
  return s;
}
}  // namespace

const std::string& scratchHome() {
  static const std::string home = scratch().root + "/home";
  return home;
}

sim::SimDesktop& liveDesktop(const void* owner, bool fresh, std::function<void()> release) {
  struct Live {
    const void* owner = nullptr;
    std::function<void()> release;
    // At exit each target's own statics go by themselves, before or
    // after this: none of them touches the desktop as it goes.
    std::unique_ptr<sim::SimDesktop> desktop;
  };
  static Live live;
  if (live.owner != owner || fresh || !live.desktop || live.desktop->terminated()) {
    if (live.release) live.release();
    live.release = nullptr;
    live.desktop.reset();
    emptyScratchHome();
    sim::SimDesktop::Config config;
    config.home = scratchHome();
    live.desktop = std::make_unique<sim::SimDesktop>(config);
    live.desktop->launch([] { return tucklineMain(); });
    live.desktop->waitIdle();
    live.owner = owner;
    live.release = std::move(release);
  }
  return *live.desktop;
}

void emptyScratchHome() {
  std::error_code ec;
  fs::remove_all(scratchHome(), ec);
  fs::create_directories(scratchHome() + "/Library/Preferences", ec);
  fs::create_directories(scratchHome() + "/Library/Logs", ec);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<std::string> split(const uint8_t* data, size_t size, char separator, size_t limit) {
  std::vector<std::string> pieces(1);
  for (size_t k = 0; k < size; ++k) {
    if (static_cast<char>(data[k]) != separator) {
      pieces.back() += static_cast<char>(data[k]);
    } else if (pieces.size() == limit) {
      break;
    } else {
      pieces.emplace_back();
    }
  }
  return pieces;
}

}  // namespace tl::fuzz
