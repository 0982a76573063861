#include "frontends/console/Console.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <cstdint>
#include <map>
#include <optional>
#include <sstream>
#include <thread>
#include <utility>

#include "app/AppDelegate.h"
#include "frontends/console/Signals.h"
#include "platform/sim/DefaultsTool.h"
#include "platform/sim/SimFiles.h"
#include "platform/sim/SimCopies.h"
#include "platform/sim/SimLaunchd.h"
#include "platform/sim/SimClock.h"
#include "platform/sim/SimSystem.h"
#include "platform/sim/SimViews.h"

namespace tl::console {

namespace {
std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string rest(const std::vector<std::string>& w, size_t from) {
  std::string out;
  for (size_t i = from; i < w.size(); ++i) out += (i > from ? " " : "") + w[i];
  return out;
}

// What follows each command: how many words, and how it is written.
struct Usage {
  size_t min, max;
  const char* text;
};
constexpr size_t kAny = SIZE_MAX;

const std::map<std::string, Usage>& usages() {
  static const std::map<std::string, Usage> u = {
      {"help", {0, 0, "help"}},
      {"quit", {0, 0, "quit"}},
      {"exit", {0, 0, "exit"}},
      {"bar", {0, 0, "bar"}},
      {"detail", {0, 0, "detail"}},
      {"click", {1, kAny, "click ITEM [ctrl|opt|shift|cmd]..."}},
      {"right-click", {1, 1, "right-click ITEM"}},
      {"drag", {3, 3, "drag ITEM left-of|right-of OTHER"}},
      {"hover", {1, 1, "hover ITEM"}},
      {"unhover", {0, 0, "unhover"}},
      {"key", {1, 1, "key COMBO, e.g. key ctrl+opt+cmd+b"}},
      {"menu", {0, 0, "menu"}},
      {"choose", {1, kAny, "choose TITLE|KEY"}},
      {"escape", {0, 0, "escape"}},
      {"alert", {0, 0, "alert"}},
      {"press", {1, kAny, "press BUTTON"}},
      {"window", {0, 0, "window"}},
      {"switch", {1, kAny, "switch ROW"}},
      {"slide", {2, 2, "slide ROW VALUE"}},
      {"pick", {2, kAny, "pick ROW ITEM"}},
      {"button", {1, kAny, "button TITLE"}},
      {"close", {0, 0, "close"}},
      {"wait", {1, 1, "wait SECONDS"}},
      {"date", {0, 2, "date [YYYY-MM-DD HH:MM:SS]"}},
      {"await", {1, kAny, "await [N] TEXT"}},
      {"log", {0, 0, "log"}},
      {"syslog", {0, 0, "syslog"}},
      {"state", {0, 0, "state"}},
      {"defaults", {1, kAny, "defaults read|read-type|write|delete [com.ferrowick.tuckline] ..."}},
      {"login", {0, 0, "login"}},
      {"fault", {2, 3, "fault next-item|all|arrow|separator|symbol|hotkey-taken|logs-folder ... (see help)"}},
      {"memory", {1, 1, "memory off|forget|keep"}},
      {"frontmost", {0, kAny, "frontmost [APP [MENU...]]"}},
      {"terminate", {0, 0, "terminate"}},
      {"echo", {0, kAny, "echo TEXT"}},
  };
  return u;
}

std::string joined(const std::vector<std::string>& names, const char* last = " or ") {
  std::string out;
  for (size_t i = 0; i < names.size(); ++i)
    out += (i == 0 ? "" : i + 1 == names.size() ? last : ", ") + names[i];
  return out;
}

std::optional<uint64_t> modifierFlag(const std::string& word) {
  if (word == "ctrl" || word == "control") return kEventModifierFlagControl;
  if (word == "opt" || word == "option" || word == "alt") return kEventModifierFlagOption;
  if (word == "shift") return kEventModifierFlagShift;
  if (word == "cmd" || word == "command") return kEventModifierFlagCommand;
  return std::nullopt;
}

// A whole word that is a finite number, nothing less.
std::optional<double> number(const std::string& word) {
  char* end = nullptr;
  double v = std::strtod(word.c_str(), &end);
  if (word.empty() || !end || *end != '\0' || !std::isfinite(v)) return std::nullopt;
  return v;
}

// A title as a person types it: "..." for the ellipsis, or without it.
bool sameTitle(const std::string& typed, const std::string& title) {
  if (typed == title) return true;
  std::string spelled = typed;
  for (size_t at; (at = spelled.find("...")) != std::string::npos;) spelled.replace(at, 3, "…");
  const std::string ellipsis = "…";
  bool bare = title.size() > ellipsis.size() && title.compare(title.size() - ellipsis.size(), ellipsis.size(), ellipsis) == 0 &&
              typed == title.substr(0, title.size() - ellipsis.size());
  return spelled == title || bare;
}

// A key combination as a menu or pop-up shows it ("⌥⌘ H") and as it is
// typed ("opt cmd h", "⌥⌘H", "opt+cmd+h"): the modifiers, then the rest in
// capitals. Text that names no modifier stays itself.
std::string keysComparable(const std::string& text) {
  static const std::pair<const char*, const char*> symbols[] = {{"⌃", "ctrl"}, {"⌥", "opt"}, {"⇧", "shift"}, {"⌘", "cmd"}};
  uint64_t flags = 0;
  std::string rest, word;
  auto take = [&](std::string w) {
    for (bool again = true; again;) {
      again = false;
      for (auto [symbol, name] : symbols)
        if (w.rfind(symbol, 0) == 0) {
          flags |= *modifierFlag(name);
          w.erase(0, std::char_traits<char>::length(symbol));
          again = true;
        }
    }
    std::string lower = w;
    for (auto& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (auto flag = modifierFlag(lower)) flags |= *flag;
    else for (char ch : w) rest += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  };
  for (char ch : text + " ") {
    if (ch == ' ' || ch == '+') take(std::exchange(word, {}));
    else word += ch;
  }
  return std::to_string(flags) + " " + rest;
}

// The one of titles a person meant, or nothing.
std::optional<std::string> meant(const std::string& typed, const std::vector<std::string>& titles) {
  for (const auto& t : titles)
    if (sameTitle(typed, t)) return t;
  for (const auto& t : titles)
    if (keysComparable(typed) == keysComparable(t)) return t;
  return std::nullopt;
}
}  // namespace

std::vector<std::string> splitWords(const std::string& line) {
  // Words split on spaces; "double quotes" keep a title with spaces whole.
  std::vector<std::string> words;
  std::string cur;
  bool quoted = false, any = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if (c == ' ' && !quoted) {
      if (any) words.push_back(cur);
      cur.clear();
      any = false;
    } else {
      cur += c;
      any = true;
    }
  }
  if (any) words.push_back(cur);
  return words;
}

std::string Console::help() {
  return R"(commands (items: arrow, separator, or another app's name such as Dropbox):
  bar | detail                      draw the menu bar (one line | every item)
  click ITEM [ctrl|opt|shift|cmd]   move the pointer onto an item and click it, optionally with modifiers
  right-click ITEM                  the same with the right button
  drag ITEM left-of|right-of OTHER  Command-drag an item next to another
  hover ITEM | unhover              rest the pointer on an item | move it off the bar
                                    (one pointer: clicks, drags, windows and alerts move it too)
  key COMBO                         press a key combination, e.g. ctrl+opt+cmd+b
  menu | choose TITLE|KEY | escape  show the open menu | choose an item | close it
  alert | press BUTTON              show the open alert | press one of its buttons
  window | switch ROW | slide ROW VALUE | pick ROW ITEM | button TITLE | close
                                    the settings window and its controls
  wait SECONDS                      let time pass
  date [YYYY-MM-DD HH:MM:SS]        the desktop's date; in virtual time, set it
  log | syslog | state              the diagnostics log | the system log | app state
  await [N] TEXT                    wait (real time, up to 20 s) until the log shows TEXT (N times)
  defaults read|read-type|write|delete [com.ferrowick.tuckline] ...
                                    the application's user defaults, as on a Mac
  login                             log in again: start the launch agents
  fault next-item no-button|no-window|no-screen
  fault all|arrow|separator no-button|no-window|no-screen on|off
                                    own items created from now on (every one, or that one)
  fault logs-folder missing|present ~/Library/Logs answers as missing (nothing on disk changes)
  fault symbol NAME missing|present
  fault hotkey-taken COMBO          another application holds that combination
  memory off|forget|keep            how the bar remembers dragged positions
  frontmost [APP [MENU...]]         the frontmost application (Finder, 备忘录, Safari浏览器, Xcode,
                                    DaVinci Resolve, or any name with its menus); alone: which is it
  terminate | quit                  the system ends the app | leave the console
)";
}

void Console::fail(const std::string& message) {
  err_ << "error: " << message << "\n";
  if (!lineFailed_) ++failedLines_;
  lineFailed_ = true;
}

bool Console::execute(const std::string& line) {
  auto words = splitWords(line);
  if (words.empty() || words[0][0] == '#') return !desktop_.terminated();
  lineFailed_ = false;
  bool keepGoing = run(words);
  out_.flush();
  return keepGoing && !desktop_.terminated();
}

bool Console::knownItem(const std::string& command, const std::string& name) {
  // Looked up by name; the bar's names are gathered only to say what a
  // mistyped one could have been.
  std::vector<std::string> names;
  bool found = false;
  desktop_.onMain([&] {
    found = desktop_.menuBar().find(name) != nullptr;
    if (found) return;
    for (auto* item : desktop_.menuBar().items())
      if (std::find(names.begin(), names.end(), item->name()) == names.end()) names.push_back(item->name());
  });
  if (!found) fail(command + ": no item " + name + "; expected " + joined(names));
  return found;
}

bool Console::run(const std::vector<std::string>& w) {
  auto& d = desktop_;
  const std::string& c = w[0];
  auto usage = usages().find(c);
  if (usage == usages().end()) {
    std::vector<std::string> names;
    for (const auto& [name, u] : usages()) names.push_back(name);
    fail("unknown command " + c + "; expected " + joined(names) + " (see help)");
    return true;
  }
  const Usage& u = usage->second;
  size_t given = w.size() - 1;
  if (given < u.min || given > u.max) {
    fail(c + ": " + (given < u.min ? "missing argument" : "unexpected " + w[u.max + 1]) + "; expected " + u.text);
    return true;
  }
  auto check = [&](bool ok, const std::string& what) {
    if (!ok) fail(what);
  };

  if (c == "help") {
    out_ << help();
  } else if (c == "quit" || c == "exit") {
    return false;
  } else if (c == "bar") {
    out_ << d.renderBar() << "\n";
  } else if (c == "detail") {
    out_ << d.renderBarDetail();
  } else if (c == "click") {
    uint64_t flags = 0;
    for (size_t i = 2; i < w.size(); ++i) {
      auto flag = modifierFlag(w[i]);
      if (!flag) {
        fail("click: unknown modifier " + w[i] + "; expected ctrl, opt, shift or cmd");
        return true;
      }
      flags |= *flag;
    }
    if (knownItem(c, w[1])) check(d.click(w[1], flags), "cannot click " + w[1]);
  } else if (c == "right-click") {
    if (knownItem(c, w[1])) check(d.rightClick(w[1]), "cannot click " + w[1]);
  } else if (c == "drag") {
    if (w[2] != "left-of" && w[2] != "right-of")
      fail("drag: unknown place " + w[2] + "; expected left-of or right-of");
    else if (knownItem(c, w[1]) && knownItem(c, w[3]))
      check(d.drag(w[1], w[3], w[2] == "left-of"), "cannot drag " + w[1]);
  } else if (c == "hover") {
    if (knownItem(c, w[1])) check(d.hover(w[1]), "cannot point at " + w[1]);
  } else if (c == "unhover") {
    d.movePointerAway();
  } else if (c == "key") {
    uint32_t code = 0, mods = 0;
    if (!sim::parseKeyCombination(w[1], code, mods))
      fail("key: unknown key combination " + w[1] + "; expected modifiers and one key joined by +, e.g. ctrl+opt+cmd+b");
    else
      d.pressKey(code, mods);
  } else if (c == "menu") {
    std::string m = d.renderMenu();
    out_ << (m.empty() ? "(no menu open)\n" : m);
  } else if (c == "choose") {
    std::vector<std::string> titles;
    bool open = false;
    d.onMain([&] {
      auto menu = d.menuBar().openMenu();
      open = menu != nullptr;
      if (menu)
        for (const auto& item : menu->itemArray())
          if (!item->isSeparatorItem()) titles.push_back(item->title());
    });
    std::string before = d.renderWindows();
    if (!open) {
      fail("choose: no menu is open; expected right-click arrow first");
    } else if (!d.chooseMenuItem(meant(rest(w, 1), titles).value_or(rest(w, 1)))) {
      fail("choose: no menu item " + rest(w, 1) + "; expected " + joined(titles));
    } else {
      // What the choice opened, as a person would see it come up.
      if (std::string after = d.renderWindows(); !after.empty() && after != before) out_ << after;
      out_ << d.renderAlert();
    }
  } else if (c == "escape") {
    d.closeMenu();
  } else if (c == "alert") {
    std::string a = d.renderAlert();
    out_ << (a.empty() ? "(no alert open)\n" : a);
  } else if (c == "press") {
    std::optional<std::vector<std::string>> buttons;
    d.onMain([&] {
      if (auto* alert = d.simAlerts().openAlert()) buttons = alert->buttons;
    });
    if (!buttons) fail("press: no alert is open");
    else check(d.pressAlertButton(rest(w, 1)), "press: no alert button " + rest(w, 1) + "; expected " + joined(*buttons));
  } else if (c == "window") {
    std::string text = d.renderWindows();
    out_ << (text.empty() ? "(no window open)\n" : text);
  } else if (c == "switch" || c == "button" || c == "close" || c == "slide" || c == "pick") {
    auto value = c == "slide" ? number(w[2]) : std::optional<double>(0);
    if (!value) {
      fail("slide: " + w[2] + " is not a number; expected " + u.text);
      return true;
    }
    static const std::map<std::string, sim::ViewKind> kinds = {{"switch", sim::ViewKind::Switch},
                                                                {"slide", sim::ViewKind::Slider},
                                                                {"pick", sim::ViewKind::PopUp},
                                                                {"button", sim::ViewKind::Button}};
    bool open = false;
    std::string why;  // what a person could have named instead
    bool ok = d.workWindow([&](sim::SimViews& views, sim::SimWindow& win) {
      open = true;
      if (c == "close") {
        win.close();
        return true;
      }
      std::vector<std::string> rows = sim::rowsWith(win, kinds.at(c));
      std::string typed = c == "slide" || c == "pick" ? w[1] : rest(w, 1);
      std::string row = meant(typed, rows).value_or(typed);
      if (c == "switch" && views.flipSwitch(win, row)) return true;
      if (c == "button" && views.pressButton(win, rest(w, 1))) return true;
      if (c == "slide" && views.dragSlider(win, row, *value)) return true;
      if (c == "pick") {
        auto popup = sim::findInRow<sim::SimPopUpButton>(win, row, sim::ViewKind::PopUp);
        if (popup) {
          const auto& items = popup->itemTitles();
          if (views.pickPopUpItem(win, row, meant(rest(w, 2), items).value_or(rest(w, 2)))) return true;
          why = row + " has no item " + rest(w, 2) + "; expected " + joined(items);
          return false;
        }
      }
      why = "no row " + typed + " with " +
            (c == "switch" ? "a switch" : c == "slide" ? "a slider" : c == "pick" ? "a pop-up" : "a button") +
            "; expected " + joined(rows);
      return false;
    });
    if (!open) fail(c + ": no window is open");
    else if (!ok) fail(c + ": " + why);
  } else if (c == "wait") {
    auto s = number(w[1]);
    if (!s || *s < 0) {
      fail("wait: " + w[1] + " is not a number of seconds; expected " + u.text);
    } else if (d.loop().time() == sim::SimRunLoop::Time::Virtual) {
      d.advance(*s);
    } else if (quit::sleep(*s)) {
      d.waitIdle();
    }
  } else if (c == "date") {
    if (w.size() == 1) {
      d.onMain([&] {
        auto f = d.simClock().newDateFormatter();
        f->setDateFormat("yyyy-MM-dd HH:mm:ss");
        out_ << f->stringFromDate(d.simClock().now()) << "\n";
      });
    } else if (auto date = sim::parseLocalDate(rest(w, 1)); !date) {
      fail("date: " + rest(w, 1) + " is not a date of 1970–9999 in the local time zone; expected " + u.text);
    } else if (d.simClock().isWallClock()) {
      fail("date: in real time the date is the machine's own");
    } else {
      d.onMain([&] { d.simClock().setNow(*date); });
    }
  } else if (c == "await") {
    // Other processes (a copy started by launchd) write in real time, even
    // when this desktop's clock is virtual.
    // "await N TEXT" waits for the Nth time TEXT shows.
    size_t times = 1, from = 1;
    if (w.size() > 2 && w[1].find_first_not_of("0123456789") == std::string::npos && w[1].size() < 6) {
      times = std::max<size_t>(1, std::stoul(w[1]));
      from = 2;
    }
    std::string text = rest(w, from);
    auto shown = [&] {
      std::string log = readFile(d.logPath());
      size_t n = 0;
      for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + text.size())) ++n;
      return n >= times;
    };
    bool seen = false;
    for (int i = 0; i < 400 && !(seen = shown()); ++i)
      if (!quit::sleep(0.05)) return false;  // asked to quit: no more waiting
    check(seen, "the log did not show " + text + " within 20 s");
  } else if (c == "log" || c == "syslog") {
    std::string text = readFile(c == "log" ? d.logPath() : sim::SimSystemLog::path(d.config().home));
    out_ << (text.empty() ? "(empty)\n" : text);
  } else if (c == "state") {
    d.onMain([&] {
      auto a = AppDelegate::shared;
      if (!a) {
        out_ << "not launched\n";
        return;
      }
      out_ << "collapsed=" << (a->isCollapsed() ? "true" : "false")
           << " expandedByHover=" << (a->expandedByHover() ? "true" : "false")
           << " timerPending=" << (a->collapseTimer() && a->collapseTimer()->isValid() ? "true" : "false")
           << " didAutoReorder=" << (a->didAutoReorder() ? "true" : "false") << "\n";
    });
  } else if (c == "defaults") {
    std::vector<std::string> args(w.begin() + 1, w.end());
    // The app reads the store at every use, so the change is seen at once.
    int status = 0;
    d.onMain([&] { status = sim::runDefaultsTool(d.defaultsPath(), args, out_, err_); });
    // The tool has said why.
    if (status != 0 && !lineFailed_) {
      ++failedLines_;
      lineFailed_ = true;
    }
  } else if (c == "login") {
    // What really runs afterwards: a copy launchd started beside this
    // console's own gives way to it at once.
    auto outcome = sim::settleLogin(d.config().home, d.config().bundleID, sim::simulateLogin(d.config().home),
                                    "this console");
    out_ << outcome.text;
  } else if (c == "fault") {
    const std::string& kind = w[2];
    const std::string what = w.size() > 3 ? w[3] : "";
    auto itemFault = [&](sim::ItemFaults& faults, bool on) { return sim::setItemFault(faults, kind, on); };
    auto arity = [&](size_t words, const char* form) {
      if (w.size() == words + 1) return true;
      fail(std::string("fault ") + w[1] + ": expected " + form);
      return false;
    };
    static const char* kinds = "; expected no-button, no-window or no-screen";
    if (w[1] == "next-item") {
      if (arity(2, "fault next-item no-button|no-window|no-screen")) {
        sim::ItemFaults f;
        if (!itemFault(f, true)) fail("fault next-item: unknown kind " + kind + kinds);
        else d.onMain([&] { d.menuBar().faultNextItem(f); });
      }
    } else if (auto target = sim::faultTargetNamed(w[1])) {
      std::string form = "fault " + w[1] + " no-button|no-window|no-screen on|off";
      if (arity(3, form.c_str())) {
        sim::ItemFaults probe;
        if (!itemFault(probe, true)) fail("fault " + w[1] + ": unknown kind " + kind + kinds);
        else if (what != "on" && what != "off") fail("fault " + w[1] + ": " + what + "; expected on or off");
        else d.onMain([&] { itemFault(d.menuBar().itemFaults(*target), what == "on"); });
      }
    } else if (w[1] == "logs-folder") {
      if (arity(2, "fault logs-folder missing|present")) {
        if (kind != "missing" && kind != "present") fail("fault logs-folder: " + kind + "; expected missing or present");
        else d.onMain([&] { d.simFiles().setFolderMissing(d.logsFolder(), kind == "missing"); });
      }
    } else if (w[1] == "symbol") {
      if (arity(3, "fault symbol NAME missing|present")) {
        if (what != "missing" && what != "present") fail("fault symbol: " + what + "; expected missing or present");
        else d.onMain([&] { d.simGraphics().setSymbolMissing(kind, what == "missing"); });
      }
    } else if (w[1] == "hotkey-taken") {
      uint32_t code = 0, mods = 0;
      if (!arity(2, "fault hotkey-taken COMBO")) {
      } else if (!sim::parseKeyCombination(kind, code, mods)) {
        fail("fault hotkey-taken: unknown key combination " + kind + "; expected e.g. ctrl+opt+cmd+b");
      } else {
        d.onMain([&] { d.hotKeyRegistry().takeByOtherApplication(code, mods); });
      }
    } else {
      fail("fault: unknown fault " + w[1] + "; expected next-item, all, arrow, separator, symbol, hotkey-taken or logs-folder");
    }
  } else if (c == "memory") {
    static const std::map<std::string, sim::PositionMemory> kinds = {
        {"off", sim::PositionMemory::Off},
        {"forget", sim::PositionMemory::ForgetOnRemove},
        {"keep", sim::PositionMemory::Keep}};
    auto kind = kinds.find(w[1]);
    if (kind == kinds.end()) fail("memory: unknown " + w[1] + "; expected off, forget or keep");
    else d.onMain([&] { d.menuBar().setMemory(kind->second); });
  } else if (c == "frontmost") {
    std::vector<std::string> names;
    for (const auto& app : sim::SimMenuBar::applications()) names.push_back(app.name);
    if (w.size() == 1) {
      d.onMain([&] {
        const auto& bar = d.menuBar().config();
        out_ << (bar.frontmostApp.empty() ? "(none)" : bar.frontmostApp);
        for (const auto& m : bar.frontmostMenus) out_ << " " << m;
        out_ << "\n";
      });
    } else {
      bool known = false;
      d.onMain([&] {
        known = d.menuBar().bringToFront(w[1]);
        // Any other application, with the menus given for it.
        if (!known && w.size() > 2) d.menuBar().setFrontmost(w[1], {w.begin() + 2, w.end()});
      });
      d.waitIdle();
      if (!known && w.size() == 2) fail("frontmost: unknown application " + w[1] + "; expected " + joined(names) + ", or a name followed by its menus");
    }
  } else if (c == "terminate") {
    d.requestTermination();
  } else if (c == "echo") {
    out_ << rest(w, 1) << "\n";
  }
  return true;
}

}  // namespace tl::console
