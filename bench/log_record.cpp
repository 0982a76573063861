// One diagnostics record against a raw append of the same bytes (open,
// write, close): the median nanoseconds of each over repeated rounds, the
// record with a long log already there, and a record that falls in a new
// second each time (whose stamp is formatted afresh). Run it with TZ set and
// unset. Prints "record raw ratio record-at-1MB record-new-second ratio";
// asserts nothing.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/AppDelegate.h"
#include "app/Main.h"
#include "diagnostics/Diagnostics.h"
#include "platform/sim/SimClock.h"
#include "platform/sim/SimDefaults.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimFiles.h"

using namespace tl;

namespace {
double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}
}  // namespace

int main() {
  char tmpl[] = "/tmp/tuckline-log-record-XXXXXX";
  std::string root = mkdtemp(tmpl), home = root + "/home";
  sim::prepareMacHome(home, nullptr);
  sim::SimDefaults(home + "/Library/Preferences/com.ferrowick.tuckline.plist").setBool("didShowIntro", true);
  sim::SimDesktop::Config config;
  config.home = home;
  sim::SimDesktop d(config);
  d.launch([] { return tucklineMain(); });
  d.waitIdle();
  std::string log = home + "/Library/Logs/Tuckline.log", raw = root + "/raw.log";
  constexpr int kRounds = 31, kPerRound = 200;
  std::vector<double> record, append, recordLong, recordNewSecond;
  d.onMain([&] {
    DiagnosticItems items{{"分隔符", AppDelegate::shared->separatorItem()}, {"箭头", AppDelegate::shared->toggleItem()}};
    std::string bytes = diagnosticsRecord("bench", items);
    auto perRecord = [&](auto&& once) {
      auto t0 = std::chrono::steady_clock::now();
      for (int i = 0; i < kPerRound; ++i) once();
      return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / kPerRound;
    };
    auto rawAppend = [&] {
      int fd = ::open(raw.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
      sim::writeAll(fd, bytes);
      ::close(fd);
    };
    logDiagnostics("bench", items);  // the log exists, formatters are warm
    for (int r = 0; r < kRounds; ++r) {
      record.push_back(perRecord([&] { logDiagnostics("bench", items); }));
      append.push_back(perRecord(rawAppend));
    }
    while (std::filesystem::file_size(log) < (1u << 20)) logDiagnostics("bench", items);
    for (int r = 0; r < kRounds; ++r) recordLong.push_back(perRecord([&] { logDiagnostics("bench", items); }));
    double now = d.simClock().now();
    for (int r = 0; r < kRounds; ++r)
      recordNewSecond.push_back(perRecord([&] {
        d.simClock().setNow(now += 1);
        logDiagnostics("bench", items);
      }));
  });
  std::printf("%.0f %.0f %.2f %.0f %.0f %.2f\n", median(record), median(append), median(record) / median(append),
              median(recordLong), median(recordNewSecond), median(recordNewSecond) / median(append));
  std::filesystem::remove_all(root);
  return 0;
}
