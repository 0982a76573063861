#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "platform/sim/SimAlerts.h"
#include "platform/sim/SimApplication.h"
#include "platform/sim/SimCopies.h"
#include "platform/sim/SimGraphics.h"
#include "platform/sim/SimHotKeys.h"
#include "platform/sim/SimMenuBar.h"
#include "platform/sim/SimMenus.h"
#include "platform/sim/SimRunLoop.h"

namespace tl::sim {

class SimDefaults;
class SimFileManager;
class SimClock;
class SimSystemLog;
class SimWorkspace;
class SimProcessInfo;
class SimTasks;
class SimViews;
class SimWindow;

// The simulated Mac: window server, menu bar, run loop and the system
// services one process of the application sees. It runs the application on
// a main thread of its own; every method below is called from another
// thread (a test, the console, the web server), posts its input to the main
// thread and waits until the application is idle again, so what it returns
// is what a person would see at that moment.
class SimDesktop : public Platform {
 public:
  static constexpr double kVirtualStart = 1796558400;
  struct Config {
    std::string home;                 // the sandbox home; must exist
    SimRunLoop::Time time = SimRunLoop::Time::Virtual;
    SimMenuBar::Config menuBar;
    // Where virtual time starts: 2026-12-06 12:00:00 UTC unless set. Real
    // time reads the machine's clock.
    double startEpoch = kVirtualStart;
    std::string bundleID = "com.ferrowick.tuckline";
    std::string processName = "Tuckline";
    // Faults in place before the launch, as the fault switches set them
    // later: combinations other applications hold, system symbols that
    // are missing, ~/Library/Logs answering as missing. (Item faults are
    // the menu bar's.)
    std::vector<std::pair<uint32_t, uint32_t>> hotKeysTaken;  // key code, Carbon modifiers
    std::vector<std::string> missingSymbols;
    bool logsFolderMissing = false;
    // launchd started this process (at login), not LaunchServices: the
    // running-applications list has no launch date for it.
    bool startedByLaunchd = false;
  };

  explicit SimDesktop(Config config);
  ~SimDesktop() override;

  // Launches the application's entry point on the main thread.
  void launch(std::function<int()> entry);
  // True once the application has terminated (its run loop stopped).
  bool terminated() const;
  // True once the main thread has done its last work: the items are gone
  // from the bar and the copy no longer counts as running.
  bool ended() const { return ended_; }
  // Blocks until the main thread has ended.
  void join();
  // Called on the main thread once the application has ended, after the
  // bar took its items away; for whoever must learn of it without a
  // thread of its own waiting. Added after the end, it is called at once.
  void addEndObserver(std::function<void()> observer);

  // What a person must be told once, whichever front end shows this copy:
  // so far, a damaged preferences file that a change set aside. In the
  // order they came; any thread.
  std::vector<NoticeText> notices() const;
  // Hears each notice, those before it was added included, on the thread
  // that raised it (the main thread, for the defaults).
  void addNoticeObserver(std::function<void(const NoticeText&)> observer);

  // Runs fn on the main thread and waits for it: the way to read or act on
  // anything of the simulated desktop or of the application. Returns false
  // (without running fn) once the application has ended.
  bool onMain(const std::function<void()>& fn);
  void advance(double seconds) { loop_.advance(seconds); }
  void waitIdle() { loop_.waitIdle(); }

  // A person at the desktop, with one pointer: a click or a drag moves it
  // onto the item first, with the entered and exited events that brings.
  bool click(const std::string& item, uint64_t modifiers = 0);
  bool rightClick(const std::string& item);
  bool drag(const std::string& item, const std::string& other, bool leftOf);
  bool hover(const std::string& item);
  void movePointerAway();
  bool pressKey(uint32_t keyCode, uint32_t carbonModifiers);
  bool chooseMenuItem(const std::string& titleOrKey);
  void closeMenu();
  bool pressAlertButton(const std::string& title);
  // Works a control of the frontmost visible window (the pointer goes
  // there, off the bar); false when no window is open or the action fails.
  bool workWindow(const std::function<bool(SimViews&, SimWindow&)>& action);
  // The system asks the application to quit (logout, kill with SIGTERM).
  void requestTermination();

  // The bar also once the application has ended: the screen stays.
  std::string renderBar();
  std::string renderBarDetail();
  std::string renderMenu();   // empty when no menu is open
  std::string renderAlert();  // empty when no alert is open
  std::string renderWindows();  // visible windows of the application

  // The parts, for tests and front ends. Touch them only inside onMain.
  SimRunLoop& loop() { return loop_; }
  SimMenuBar& menuBar() { return *menuBar_; }
  SimApplication& app() { return app_; }
  SimHotKeys& hotKeyRegistry() { return hotKeys_; }
  SimGraphics& simGraphics() { return graphics_; }
  SimAlerts& simAlerts() { return alerts_; }
  SimDefaults& defaults() { return *defaults_; }
  SimWorkspace& simWorkspace() { return *workspace_; }
  SimProcessInfo& simProcessInfo() { return *processInfo_; }
  SimTasks& simTasks() { return *tasks_; }
  SimViews& simViews() { return *views_; }
  SimSystemLog& simSystemLog() { return *systemLog_; }
  SimClock& simClock() { return *clock_; }
  // The process's locale ("zh_CN" unless the defaults say otherwise) and
  // the bar's clock in it. Main thread.
  std::string locale();
  std::string clockText();
  SimFileManager& simFiles() { return *files_; }
  std::string logsFolder() const { return config_.home + "/Library/Logs"; }
  const Config& config() const { return config_; }
  // The configuration a desktop started next would need to look like this
  // one now: the bar as set up (frontmost application, memory, item fault
  // switches) and the other fault switches. Main thread, or after the end.
  Config currentConfig() const;
  std::string logPath() const { return logsFolder() + "/Tuckline.log"; }
  std::string defaultsPath() const { return config_.home + "/Library/Preferences/" + config_.bundleID + ".plist"; }

  // Platform.
  Application& application() override { return app_; }
  Workspace& workspace() override;
  ProcessInfo& processInfo() override;
  StatusBar& systemStatusBar() override { return *menuBar_; }
  Graphics& graphics() override { return graphics_; }
  Menus& menus() override { return menus_; }
  Timers& timers() override { return loop_; }
  MainQueue& mainQueue() override { return loop_; }
  UserDefaults& standardUserDefaults() override;
  FileManager& fileManager() override;
  Clock& clock() override;
  SystemLog& systemLog() override;
  Tasks& tasks() override;
  HotKeyEvents& hotKeys() override { return hotKeys_; }
  Alerts& alerts() override { return alerts_; }
  Views& views() override;

 private:
  bool input(const std::function<bool()>& fn);
  bool pointerTo(const std::string& item);
  // onMain, or, once the main thread has finished, right here: nothing
  // else touches the desktop then.
  bool onMainOrEnded(const std::function<void()>& fn);

  Config config_;
  SimRunLoop loop_;
  SimApplication app_;
  SimGraphics graphics_;
  SimMenus menus_;
  SimHotKeys hotKeys_;
  SimAlerts alerts_;
  std::unique_ptr<SimDefaults> defaults_;
  std::unique_ptr<SimFileManager> files_;
  std::unique_ptr<SimClock> clock_;
  std::unique_ptr<SimSystemLog> systemLog_;
  std::unique_ptr<SimWorkspace> workspace_;
  std::unique_ptr<SimProcessInfo> processInfo_;
  std::unique_ptr<SimTasks> tasks_;
  std::unique_ptr<SimViews> views_;
  std::unique_ptr<SimMenuBar> menuBar_;
  std::thread main_;
  void addNotice(NoticeText notice);
  mutable std::mutex noticeMu_;
  std::vector<NoticeText> notices_;
  std::vector<std::function<void(const NoticeText&)>> noticeObservers_;
  std::mutex endMu_;
  std::vector<std::function<void()>> endObservers_;
  bool endObserved_ = false;
  bool launched_ = false;
  std::atomic<bool> ended_{false};  // the main thread has done its last work
  bool platformSet_ = false;
};

// Names a key combination as people write it: "ctrl+opt+cmd+b".
bool parseKeyCombination(const std::string& text, uint32_t& keyCode, uint32_t& carbonModifiers);
// The other way round; "?" for a key code without a name here.
std::string keyCombinationText(uint32_t keyCode, uint32_t carbonModifiers);

}  // namespace tl::sim
