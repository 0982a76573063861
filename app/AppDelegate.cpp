#include "app/AppDelegate.h"

#include <map>

#include "app/Constants.h"
#include "app/Prefs.h"
#include "diagnostics/Diagnostics.h"
#include "hotkey/HotKeyCenter.h"
#include "hotkey/HotKeyPreset.h"

namespace tl {

namespace {
// By launch date where both have one and they differ, else by process
// identifier: a strict order, so of copies started at the same instant
// exactly one finds none before it.
bool launchedBefore(const RunningApplication& a, const RunningApplication& b) {
  if (a.launchDate && b.launchDate && *a.launchDate != *b.launchDate) return *a.launchDate < *b.launchDate;
  return a.processIdentifier < b.processIdentifier;
}
}  // namespace

std::shared_ptr<AppDelegate> AppDelegate::shared;
std::shared_ptr<AppDelegate> appDelegate;
Application* application = nullptr;

AppDelegate::AppDelegate()
    : toggleItem_(nullptr),
      separatorItem_(nullptr),
      isCollapsed_(false),
      expandedByHover_(false),
      collapseTimer_(nullptr),
      trackingArea_(nullptr),
      settingsController_(nullptr),
      contextMenu_(platform().menus().newMenu()),
      didAutoReorder_(false) {}

void AppDelegate::applicationDidFinishLaunching() {
  shared = shared_from_this();
  Application& app = platform().application();
  app.setActivationPolicy(kActivationPolicyAccessory);

  // A copy under our bundle identifier launched before this one wins: this
  // one gives way, naming every other copy. Copies started at the same
  // instant all see each other; only the launch order keeps one of them.
  int32_t own = platform().processInfo().processIdentifier();
  auto running = platform().workspace().runningApplicationsWithBundleIdentifier(kBundleID);
  RunningApplication self{own, std::nullopt};
  for (const auto& app : running)
    if (app.processIdentifier == own) self = app;
  std::string others;
  bool earlierCopy = false;
  for (const auto& app : running) {
    if (app.processIdentifier == own) continue;
    if (!others.empty()) others += ",";
    others += std::to_string(app.processIdentifier);
    earlierCopy = earlierCopy || launchedBefore(app, self);
  }
  if (earlierCopy) {
    logDiagnostics("检测到已有实例 PID=" + others + "，本实例退出", {});
    app.terminate();
    return;
  }

  buildContextMenu();
  createStatusItems();
  applyPrefs();

  std::weak_ptr<AppDelegate> weak = weak_from_this();
  HotKeyCenter::shared()->action = [weak] {
    if (auto self = weak.lock()) {
      self->expandedByHover_ = false;
      self->setCollapsed(!self->isCollapsed_);
    }
  };
  HotKeyCenter::shared()->apply(HotKeyPresets::current());

  UserDefaults& defaults = platform().standardUserDefaults();
  if (defaults.boolForKey(rawValue(PrefKey::startCollapsed))) setCollapsed(true);

  if (!defaults.boolForKey(kDidShowIntroKey)) {
    // Written before scheduling: quitting within the delay still counts as shown.
    defaults.setBool(kDidShowIntroKey, true);
    platform().mainQueue().asyncAfter(0.6, [weak] {
      if (auto self = weak.lock()) self->showHelp();
    });
  }
}

void AppDelegate::applicationWillTerminate() {
  if (collapseTimer_) collapseTimer_->invalidate();
  HotKeyCenter::shared()->unregister();
}

void AppDelegate::performAction(const std::string& selector, Object*) {
  static const std::map<std::string, void (AppDelegate::*)()> kActions = {
      {"toggleButtonClicked", &AppDelegate::toggleButtonClicked},
      {"menuToggle", &AppDelegate::menuToggle},
      {"menuHide", &AppDelegate::menuHide},
      {"menuShow", &AppDelegate::menuShow},
      {"menuResetPosition", &AppDelegate::menuResetPosition},
      {"menuSettings", &AppDelegate::menuSettings},
      {"menuHelp", &AppDelegate::menuHelp},
      {"menuQuit", &AppDelegate::menuQuit},
  };
  auto it = kActions.find(selector);
  if (it != kActions.end()) (this->*(it->second))();
}

void AppDelegate::logItems(const std::string& context) {
  logDiagnostics(context, {{"分隔符", separatorItem_}, {"箭头", toggleItem_}});
}

}  // namespace tl
