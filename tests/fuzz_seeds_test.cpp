// Every seed of every fuzz target runs clean in the ordinary builds, so the
// crash classes kept among the seeds (regression-*) are caught without a
// fuzzer too. A violated harness check aborts this test.
#include <gtest/gtest.h>

#include <filesystem>

#include "Fixture.h"
#include "fuzz/Fuzz.h"

namespace tl::test {
namespace {

TEST(FuzzSeeds, EveryTargetRunsItsCorpusClean) {
  for (const auto& target : fuzz::targets()) {
    size_t seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(TUCKLINE_FUZZ_CORPUS) + "/" + target.name)) {
      std::string bytes = readFile(entry.path().string());
      SCOPED_TRACE(entry.path().string());
      EXPECT_EQ(target.run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
      ++seeds;
    }
    EXPECT_GT(seeds, 0u) << target.name;
  }
}

}  // namespace
}  // namespace tl::test
