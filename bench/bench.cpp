// Start-up to items shown, one collapse/expand round trip and one log
// record, on the simulated desktop.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>

#include "app/AppDelegate.h"
#include "app/Main.h"
#include "diagnostics/Diagnostics.h"
#include "frontends/console/Home.h"
#include "platform/sim/SimFiles.h"
#include "platform/sim/SimDefaults.h"
#include "platform/sim/SimDesktop.h"

using namespace tl;

namespace {
std::string freshHome() {
  char tmpl[] = "/tmp/tuckline-bench-XXXXXX";
  std::string root = mkdtemp(tmpl);
  sim::prepareMacHome(root + "/home", nullptr);
  sim::SimDefaults(root + "/home/Library/Preferences/com.ferrowick.tuckline.plist").setBool("didShowIntro", true);
  return root;
}

std::unique_ptr<sim::SimDesktop> started(const std::string& root) {
  sim::SimDesktop::Config c;
  c.home = root + "/home";
  auto d = std::make_unique<sim::SimDesktop>(c);
  d->launch([] { return tucklineMain(); });
  d->waitIdle();
  return d;
}

double seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

void BM_StartupToItemsShown(benchmark::State& state) {
  std::string root = freshHome();
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    auto d = started(root);  // returns once the launch callback has run and the loop is idle
    auto t1 = std::chrono::steady_clock::now();
    state.SetIterationTime(seconds(t0, t1));
    d.reset();
  }
  std::filesystem::remove_all(root);
}
BENCHMARK(BM_StartupToItemsShown)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_CollapseExpandRoundTrip(benchmark::State& state) {
  std::string root = freshHome();
  auto d = started(root);
  for (auto _ : state) {
    d->onMain([&] {
      auto t0 = std::chrono::steady_clock::now();
      AppDelegate::shared->setCollapsed(true);
      AppDelegate::shared->setCollapsed(false);
      state.SetIterationTime(seconds(t0, std::chrono::steady_clock::now()));
    });
  }
  d.reset();
  std::filesystem::remove_all(root);
}
BENCHMARK(BM_CollapseExpandRoundTrip)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_LogRecord(benchmark::State& state) {
  std::string root = freshHome();
  auto d = started(root);
  for (auto _ : state) {
    d->onMain([&] {
      auto t0 = std::chrono::steady_clock::now();
      logDiagnostics("bench", {{"分隔符", AppDelegate::shared->separatorItem()}, {"箭头", AppDelegate::shared->toggleItem()}});
      state.SetIterationTime(seconds(t0, std::chrono::steady_clock::now()));
    });
  }
  d.reset();
  std::filesystem::remove_all(root);
}
BENCHMARK(BM_LogRecord)->UseManualTime()->Unit(benchmark::kMicrosecond);
}  // namespace

BENCHMARK_MAIN();
