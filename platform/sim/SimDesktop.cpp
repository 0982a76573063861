#include "platform/sim/SimDesktop.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>

#include "platform/HotKeys.h"
#include "platform/sim/SimClock.h"
#include "platform/sim/SimDefaults.h"
#include "platform/sim/SimFiles.h"
#include "platform/sim/SimSystem.h"
#include "platform/sim/SimViews.h"

namespace tl::sim {

SimDesktop::SimDesktop(Config config)
    : config_(std::move(config)),
      loop_(config_.time),
      app_(loop_),
      alerts_(loop_),
      defaults_(std::make_unique<SimDefaults>(defaultsPath())),
      files_(std::make_unique<SimFileManager>(config_.home)),
      clock_(config_.time == SimRunLoop::Time::Virtual
                 ? std::make_unique<SimClock>([this] { return loop_.elapsed(); }, config_.startEpoch,
                                              [this] { return locale(); })
                 : std::make_unique<SimClock>([this] { return locale(); })),
      systemLog_(std::make_unique<SimSystemLog>(config_.home, config_.processName, [this] { return clock_->now(); })),
      workspace_(std::make_unique<SimWorkspace>(config_.home)),
      processInfo_(std::make_unique<SimProcessInfo>()),
      tasks_(std::make_unique<SimTasks>(config_.home, &loop_)) {
  // Every Mac account has these, also a home a person made beforehand.
  prepareMacHome(config_.home, nullptr);
  files_->setFolderMissing(logsFolder(), config_.logsFolderMissing);
  for (const auto& [keyCode, modifiers] : config_.hotKeysTaken) hotKeys_.takeByOtherApplication(keyCode, modifiers);
  for (const auto& symbol : config_.missingSymbols) graphics_.setSymbolMissing(symbol, true);
  menuBar_ = std::make_unique<SimMenuBar>(config_.menuBar, loop_, app_, *defaults_);
  views_ = std::make_unique<SimViews>(menuBar_->mainScreen());
  defaults_->setAsideObserver(
      [this](const std::string& keptAt) { addNotice(damagedPreferencesNotice(defaultsPath(), keptAt)); });
}

std::vector<NoticeText> SimDesktop::notices() const {
  std::lock_guard lock(noticeMu_);
  return notices_;
}

void SimDesktop::addNoticeObserver(std::function<void(const NoticeText&)> observer) {
  std::vector<NoticeText> before;
  {
    std::lock_guard lock(noticeMu_);
    before = notices_;
    noticeObservers_.push_back(observer);
  }
  for (const auto& n : before) observer(n);
}

void SimDesktop::addNotice(NoticeText notice) {
  std::vector<std::function<void(const NoticeText&)>> observers;
  {
    std::lock_guard lock(noticeMu_);
    for (const auto& n : notices_)
      if (n.id == notice.id) return;
    notices_.push_back(notice);
    observers = noticeObservers_;
  }
  for (const auto& observer : observers) observer(notice);
}

SimDesktop::~SimDesktop() {
  // The application's objects hold on to parts of this desktop; let it end
  // the way a quit ends it, so they are released while the parts still exist.
  if (launched_ && !loop_.stopped()) requestTermination();
  if (launched_ && !loop_.stopped()) loop_.stop();
  join();
  if (platformSet_) setPlatform(nullptr);
}

void SimDesktop::launch(std::function<int()> entry) {
  if (launched_) return;
  launched_ = true;
  platformSet_ = true;
  setPlatform(this);
  workspace_->registerLaunch(config_.bundleID, !config_.startedByLaunchd);
  main_ = std::thread([this, entry = std::move(entry)] {
    entry();
    // An entry that returns without having run the loop (or after it ran)
    // leaves nothing running: later input must not wait for it.
    loop_.stop();
    // The application is gone, and with it its status items and its place
    // among the running applications, however it ended and whatever the
    // process hosting it goes on doing.
    menuBar_->applicationEnded();
    views_->applicationEnded();
    workspace_->unregisterLaunch(config_.bundleID);
    ended_ = true;
    std::vector<std::function<void()>> observers;
    {
      std::lock_guard lock(endMu_);
      endObserved_ = true;
      observers.swap(endObservers_);
    }
    for (const auto& observer : observers) observer();
  });
  // Input starts once launching has finished, as a person's first click
  // comes after the items appear.
  loop_.waitIdle();
}

bool SimDesktop::terminated() const { return launched_ && loop_.stopped(); }

void SimDesktop::addEndObserver(std::function<void()> observer) {
  {
    std::lock_guard lock(endMu_);
    if (!endObserved_) {
      endObservers_.push_back(std::move(observer));
      return;
    }
  }
  observer();
}

void SimDesktop::join() {
  if (main_.joinable()) main_.join();
}

bool SimDesktop::onMain(const std::function<void()>& fn) {
  if (!launched_ || loop_.stopped()) return false;
  if (loop_.onMainThread()) {
    fn();
    return true;
  }
  auto done = std::make_shared<bool>(false);
  loop_.postInput([fn, done] {
    fn();
    *done = true;
  });
  loop_.waitIdle();
  return *done;
}

bool SimDesktop::input(const std::function<bool()>& fn) {
  // An input may open a menu or an alert, whose nested loop keeps it from
  // returning until it closes; the input counts as taken once the desktop is
  // idle again, with the menu or alert on the screen.
  if (!launched_ || loop_.stopped()) return false;
  auto result = std::make_shared<std::optional<bool>>();
  loop_.postInput([fn, result] { *result = fn(); });
  loop_.waitIdle();
  return result->value_or(true);
}

bool SimDesktop::pointerTo(const std::string& item) {
  // The pointer gets there first, as a move of its own: whatever entering
  // the item sets off happens before the button goes down. While a menu
  // is open the click only closes it, wherever it lands.
  return input([=, this] { return menuBar_->openMenu() || menuBar_->pointOnto(item); });
}

bool SimDesktop::click(const std::string& item, uint64_t modifiers) {
  return pointerTo(item) && input([=, this] { return menuBar_->click(item, false, modifiers); });
}

bool SimDesktop::rightClick(const std::string& item) {
  return pointerTo(item) && input([=, this] { return menuBar_->click(item, true, 0); });
}

bool SimDesktop::drag(const std::string& item, const std::string& other, bool leftOf) {
  // The pointer takes the item along and rests on it where it was dropped.
  // (An item already off the screen is moved by name, pointer or not.)
  bool can = input([=, this] {
    if (!menuBar_->canDrag(item, other)) return false;
    menuBar_->pointOnto(item);
    return true;
  });
  if (!can || !input([=, this] { return menuBar_->drag(item, other, leftOf); })) return false;
  input([=, this] {
    menuBar_->pointOnto(item);
    return true;
  });
  return true;
}

bool SimDesktop::hover(const std::string& item) {
  return input([=, this] { return menuBar_->pointOnto(item); });
}

void SimDesktop::movePointerAway() {
  input([this] {
    menuBar_->movePointer(std::nullopt);
    return true;
  });
}

bool SimDesktop::pressKey(uint32_t keyCode, uint32_t carbonModifiers) {
  return input([=, this] { return hotKeys_.press(keyCode, carbonModifiers); });
}

bool SimDesktop::chooseMenuItem(const std::string& titleOrKey) {
  return input([=, this] {
    // Chosen by its title, the item was reached with the pointer, which
    // left the bar for the menu; a key equivalent moves nothing.
    auto menu = menuBar_->openMenu();
    if (menu)
      for (const auto& item : menu->itemArray())
        if (!item->isSeparatorItem() && item->title() == titleOrKey) menuBar_->movePointer(std::nullopt);
    return menuBar_->chooseMenuItem(titleOrKey);
  });
}

void SimDesktop::closeMenu() {
  input([this] {
    menuBar_->closeMenu();
    return true;
  });
}

bool SimDesktop::pressAlertButton(const std::string& title) {
  return input([=, this] {
    auto* alert = alerts_.openAlert();
    if (!alert || std::find(alert->buttons.begin(), alert->buttons.end(), title) == alert->buttons.end()) return false;
    menuBar_->movePointer(std::nullopt);  // the pointer goes to the alert, off the bar
    return alerts_.press(title);
  });
}

bool SimDesktop::workWindow(const std::function<bool(SimViews&, SimWindow&)>& action) {
  bool ok = false;
  onMain([&] {
    auto windows = views_->visibleWindows();
    if (windows.empty()) return;
    menuBar_->movePointer(std::nullopt);  // the pointer is on the window, off the bar
    ok = action(*views_, *windows.back());
  });
  waitIdle();
  return ok;
}

void SimDesktop::requestTermination() {
  input([this] {
    app_.terminate();
    return true;
  });
}

bool SimDesktop::onMainOrEnded(const std::function<void()>& fn) {
  if (ended_) {
    fn();
    return true;
  }
  return onMain(fn);
}

std::string SimDesktop::renderBar() {
  std::string out;
  onMainOrEnded([&] { out = menuBar_->renderLine(); });
  return out;
}

std::string SimDesktop::renderBarDetail() {
  std::string out;
  onMainOrEnded([&] { out = menuBar_->renderDetail(); });
  return out;
}

namespace {
// How a menu shows a key equivalent: a lower-case letter means the key with
// Command, as AppKit draws it.
std::string keyEquivalentText(const std::string& key) {
  if (key.empty()) return "";
  std::string shown = key;
  if (shown.size() == 1) shown[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(shown[0])));
  return "⌘" + shown;
}
}  // namespace

std::string SimDesktop::renderMenu() {
  std::string out;
  onMain([&] {
    auto menu = menuBar_->openMenu();
    if (!menu) return;
    auto* owner = menuBar_->openMenuItem();
    out = "menu under " + (owner ? owner->name() : std::string("?")) + ":\n";
    for (const auto& item : menu->itemArray()) {
      if (item->isSeparatorItem()) {
        out += "  ────────────\n";
        continue;
      }
      out += "  " + item->title();
      if (auto key = keyEquivalentText(item->keyEquivalent()); !key.empty()) out += "    " + key;
      out += "\n";
    }
  });
  return out;
}

std::string SimDesktop::renderAlert() {
  std::string out;
  onMain([&] {
    auto* alert = alerts_.openAlert();
    if (!alert) return;
    out = "alert: " + alert->message + "\n";
    std::istringstream lines(alert->informative);
    for (std::string line; std::getline(lines, line);) out += "  " + line + "\n";
    std::string buttons;
    for (const auto& b : alert->buttons) buttons += (buttons.empty() ? "" : " ") + ("[" + b + "]");
    out += "  " + buttons + "\n";
  });
  return out;
}

std::string SimDesktop::renderWindows() {
  std::string out;
  onMain([&] {
    for (const auto& w : views_->visibleWindows()) out += renderText(*w);
  });
  return out;
}

std::string SimDesktop::locale() {
  // As on a Mac, a locale set in the defaults (AppleLocale) is the
  // process's locale, with its calendar and digits.
  std::optional<std::string> stored;
  if (auto v = defaults_->objectForKey("AppleLocale"); v && std::holds_alternative<std::string>(v->v))
    stored = std::get<std::string>(v->v);
  return localeFromDefaults(stored);
}

std::string SimDesktop::clockText() { return sim::clockText(clock_->now(), locale()); }

Workspace& SimDesktop::workspace() { return *workspace_; }
ProcessInfo& SimDesktop::processInfo() { return *processInfo_; }
UserDefaults& SimDesktop::standardUserDefaults() { return *defaults_; }
FileManager& SimDesktop::fileManager() { return *files_; }
Clock& SimDesktop::clock() { return *clock_; }
SystemLog& SimDesktop::systemLog() { return *systemLog_; }
Tasks& SimDesktop::tasks() { return *tasks_; }
Views& SimDesktop::views() { return *views_; }

SimDesktop::Config SimDesktop::currentConfig() const {
  Config c = config_;
  c.menuBar = menuBar_->config();
  c.hotKeysTaken.assign(hotKeys_.takenByOthers().begin(), hotKeys_.takenByOthers().end());
  c.missingSymbols.assign(graphics_.missingSymbols().begin(), graphics_.missingSymbols().end());
  c.logsFolderMissing = files_->folderMissing(logsFolder());
  return c;
}

namespace {
// Virtual key codes of the ANSI keyboard, as Carbon numbers them.
const std::map<std::string, uint32_t>& keyCodes() {
  static const std::map<std::string, uint32_t> keys = {
      {"a", 0x00}, {"s", 0x01}, {"d", 0x02}, {"f", 0x03}, {"h", 0x04}, {"g", 0x05}, {"z", 0x06},
      {"x", 0x07}, {"c", 0x08}, {"v", 0x09}, {"b", 0x0B}, {"q", 0x0C}, {"w", 0x0D}, {"e", 0x0E},
      {"r", 0x0F}, {"y", 0x10}, {"t", 0x11}, {"1", 0x12}, {"2", 0x13}, {"3", 0x14}, {"4", 0x15},
      {"6", 0x16}, {"5", 0x17}, {"9", 0x19}, {"7", 0x1A}, {"8", 0x1C}, {"0", 0x1D}, {"o", 0x1F},
      {"u", 0x20}, {"i", 0x22}, {"p", 0x23}, {"l", 0x25}, {"j", 0x26}, {"k", 0x28}, {",", 0x2B},
      {"n", 0x2D}, {"m", 0x2E}, {".", 0x2F}, {"space", 0x31}, {"escape", 0x35}, {"esc", 0x35}};
  return keys;
}
}  // namespace

std::string keyCombinationText(uint32_t keyCode, uint32_t carbonModifiers) {
  std::string text;
  for (auto [bit, name] : {std::pair{controlKey, "ctrl"}, {optionKey, "opt"}, {shiftKey, "shift"}, {cmdKey, "cmd"}})
    if (carbonModifiers & bit) text += std::string(name) + "+";
  for (const auto& [name, code] : keyCodes())
    if (code == keyCode && name != "esc") return text + name;
  return text + "?";
}

bool parseKeyCombination(const std::string& text, uint32_t& keyCode, uint32_t& carbonModifiers) {
  const auto& keys = keyCodes();
  static const std::map<std::string, uint32_t> modifiers = {
      {"ctrl", controlKey}, {"control", controlKey}, {"⌃", controlKey}, {"opt", optionKey},
      {"option", optionKey}, {"alt", optionKey},     {"⌥", optionKey},  {"cmd", cmdKey},
      {"command", cmdKey},  {"⌘", cmdKey},           {"shift", shiftKey}, {"⇧", shiftKey}};
  std::string lower;
  for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  // getline drops an empty last part, which would let "b+" pass for "b".
  if (!lower.empty() && lower.back() == '+') return false;
  uint32_t mods = 0;
  std::optional<uint32_t> code;
  std::stringstream parts(lower);
  for (std::string part; std::getline(parts, part, '+');) {
    if (auto m = modifiers.find(part); m != modifiers.end()) {
      mods |= m->second;
    } else if (auto k = keys.find(part); k != keys.end() && !code) {
      code = k->second;
    } else {
      return false;
    }
  }
  if (!code) return false;
  keyCode = *code;
  carbonModifiers = mods;
  return true;
}

}  // namespace tl::sim
