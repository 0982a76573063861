#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "app/AppDelegate.h"
#include "app/Main.h"
#include "frontends/console/Home.h"
#include "platform/sim/SimFiles.h"
#include "platform/sim/SimDefaults.h"
#include "platform/sim/SimDesktop.h"

namespace tl::test {

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A new empty folder of the test's own. Never a shared one: tests remove
// their folder whole when they end, so failing to make it fails the test.
inline std::string makeTempDir() {
  char tmpl[] = "/tmp/tuckline-test-XXXXXX";
  if (!mkdtemp(tmpl)) throw std::runtime_error("cannot make a folder in /tmp");
  return tmpl;
}

// A fresh user on a simulated Mac in virtual time, local time zone UTC.
class Desktop : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    root = makeTempDir();
    home = root + "/home";
    sim::prepareMacHome(home, nullptr);
  }
  void TearDown() override {
    desktop.reset();
    std::filesystem::remove_all(root);
  }

  // Writes stored defaults before the launch, as `defaults write` would.
  void store(const std::string& key, const Value& v) {
    sim::SimDefaults d(home + "/Library/Preferences/com.ferrowick.tuckline.plist");
    d.setObject(key, v);
  }

  sim::SimDesktop& launch(sim::SimMenuBar::Config bar = {}) {
    sim::SimDesktop::Config c;
    c.home = home;
    c.menuBar = std::move(bar);
    desktop = std::make_unique<sim::SimDesktop>(c);
    if (beforeLaunch) beforeLaunch(*desktop);  // nothing runs yet: safe from here
    desktop->launch([] { return tucklineMain(); });
    return *desktop;
  }

  std::string log() const { return readFile(home + "/Library/Logs/Tuckline.log"); }
  std::string syslog() const { return readFile(home + "/.simdesktop/system.log"); }

  // Reads app state on its main thread.
  template <class F>
  auto app(F f) {
    decltype(f(*AppDelegate::shared)) result{};
    desktop->onMain([&] { result = f(*AppDelegate::shared); });
    return result;
  }

  std::string root, home;
  std::unique_ptr<sim::SimDesktop> desktop;
  std::function<void(sim::SimDesktop&)> beforeLaunch;
};

// Counts non-overlapping occurrences.
inline int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

}  // namespace tl::test
