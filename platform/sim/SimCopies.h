#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/SimLaunchd.h"

namespace tl::sim {

// What runs on a home, told in plain words to the person at a terminal or
// on the page: which copies of Tuckline run and what started each, what a
// login really left running, and the few things a person must hear once
// (a damaged preferences file, a home that cannot be written, a copy that
// gave way). Every such text is made here, so the console and the browser
// desktop say the same thing.

struct RunningCopy {
  int32_t pid = 0;
  std::string how;  // "the launch agent's copy (started at login)", "a console's copy", …
};

// What started process `pid`, as a person knows it.
std::string copyKind(int32_t pid);

// The live copies on the home, in launch order (the first is the one that
// stays), leaving out `except`.
std::vector<RunningCopy> runningCopies(const std::string& home, const std::string& bundleID, int32_t except = 0);

// "PID 123 (a console's copy) and PID 456 (…)".
std::string copiesText(const std::vector<RunningCopy>& copies);

// For a copy that gave way to `others` (possibly none any more): which
// ones, and a command that ends them as typed.
std::string gaveWayText(const std::vector<RunningCopy>& others);

// A login's jobs once they have settled: each Tuckline copy launchd started
// has either stayed or given way (waited for up to `patience`); the text
// says which copy runs now. `endsWith` says what the jobs end with ("this
// console", "this browser desktop").
struct LoginOutcome {
  struct Job {
    LaunchdJob job;
    bool tuckline = false;  // the job is Tuckline's own agent
    bool runs = false;      // its process still runs (for Tuckline: its copy stayed)
    int32_t gaveWayTo = 0;  // the copy it gave way to
  };
  std::vector<Job> jobs;
  std::vector<RunningCopy> running;  // Tuckline's copies afterwards
  std::string text;                  // the whole report, lines ended by '\n'
};
LoginOutcome settleLogin(const std::string& home, const std::string& bundleID, std::vector<LaunchdJob> started,
                         const std::string& endsWith, std::chrono::milliseconds patience = std::chrono::seconds(5));

// The first of the folders a copy writes in (the home, its logs and its
// preferences) where no file can be made; empty when all can be written.
// Tried for real, so a read-only file system or a file in a folder's place
// counts as well as permissions.
std::string unwritableFolder(const std::string& home);

// The texts said once, at the terminal and as the page's notices.
struct NoticeText {
  std::string id, text;
};
NoticeText damagedPreferencesNotice(const std::string& file, const std::string& keptAt);
NoticeText unwritableHomeNotice(const std::string& folder);
NoticeText gaveWayNotice(int32_t ownPid, const RunningCopy& shown);

}  // namespace tl::sim
