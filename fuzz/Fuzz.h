#pragma once
// Harnesses for every parser that takes input from outside. Each target
// takes one input, runs it through the real code on a scratch home of its
// own and checks what must hold whatever the input (nothing lost, nothing
// mangled); a violation aborts, which libFuzzer and the test replaying the
// seed corpora both report. Built with libFuzzer by the `fuzz` preset
// (fuzz/run.sh), and into the tests, which replay fuzz/corpus/<target>/.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tl::sim {
class SimDesktop;
}

namespace tl::fuzz {

struct Target {
  const char* name;  // also the folder of its seeds under fuzz/corpus/
  int (*run)(const uint8_t* data, size_t size);
};
const std::vector<Target>& targets();

int preferencesFile(const uint8_t* data, size_t size);
int defaultsTool(const uint8_t* data, size_t size);
int webInput(const uint8_t* data, size_t size);
int consoleLine(const uint8_t* data, size_t size);
int launchAgent(const uint8_t* data, size_t size);
int launchdState(const uint8_t* data, size_t size);
int textMetrics(const uint8_t* data, size_t size);
int screenSocket(const uint8_t* data, size_t size);

// Aborts, naming what broke, unless ok.
void check(bool ok, const char* what);

// Runs `decode` on an input of `size` bytes and aborts unless the heap it
// held at most (what it kept included) and its CPU time stay within a fixed
// multiple of the size: shared references must not unfold a small file
// into a huge one. The heap is seen under AddressSanitizer only (every
// fuzzing build); elsewhere only the time is checked.
void checkDecodingCost(size_t size, const std::function<void()>& decode);

// A home of this process's own, emptied for each input.
const std::string& scratchHome();
void emptyScratchHome();

// The one running desktop of this process (the platform and the
// application are process-wide), on the scratch home, for the targets that
// act on a live application. Made anew when another target had it, when
// its application has ended, or when fresh is asked; before it goes, the
// target that had it drops what it built on it (release).
sim::SimDesktop& liveDesktop(const void* owner, bool fresh, std::function<void()> release);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

// The input cut at every byte `separator` into at most `limit` pieces.
std::vector<std::string> split(const uint8_t* data, size_t size, char separator, size_t limit);

}  // namespace tl::fuzz
