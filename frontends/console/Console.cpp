#include "frontends/console/Console.h"

#include <chrono>
#include <cmath>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "app/AppDelegate.h"
#include "platform/sim/DefaultsTool.h"
#include "platform/sim/SimLaunchd.h"
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

uint64_t modifierFlags(const std::vector<std::string>& w, size_t from) {
  uint64_t flags = 0;
  for (size_t i = from; i < w.size(); ++i) {
    if (w[i] == "ctrl" || w[i] == "control") flags |= kEventModifierFlagControl;
    if (w[i] == "opt" || w[i] == "option" || w[i] == "alt") flags |= kEventModifierFlagOption;
    if (w[i] == "shift") flags |= kEventModifierFlagShift;
    if (w[i] == "cmd" || w[i] == "command") flags |= kEventModifierFlagCommand;
  }
  return flags;
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
  click ITEM [ctrl|opt|shift|cmd]   click an item, optionally with modifiers
  right-click ITEM                  right-click an item
  drag ITEM left-of|right-of OTHER  Command-drag an item next to another
  hover ITEM | unhover              rest the pointer on an item | move it away
  key COMBO                         press a key combination, e.g. ctrl+opt+cmd+b
  menu | choose TITLE|KEY | escape  show the open menu | choose an item | close it
  alert | press BUTTON              show the open alert | press one of its buttons
  window | switch ROW | slide ROW VALUE | pick ROW ITEM | button TITLE | close
                                    the settings window and its controls
  wait SECONDS                      let time pass
  log | syslog | state              the diagnostics log | the system log | app state
  await [N] TEXT                    wait (real time, up to 20 s) until the log shows TEXT (N times)
  defaults read|write|delete ...    the application's user defaults
  login                             log in again: start the launch agents
  fault next-item no-button|no-window|no-screen
  fault all no-button|no-window|no-screen on|off
  fault symbol NAME missing|present
  fault hotkey-taken COMBO          another application holds that combination
  memory off|forget|keep            how the bar remembers dragged positions
  terminate | quit                  the system ends the app | leave the console
)";
}

void Console::fail(const std::string& message) { err_ << "error: " << message << "\n"; }

bool Console::execute(const std::string& line) {
  auto words = splitWords(line);
  if (words.empty() || words[0][0] == '#') return !desktop_.terminated();
  bool keepGoing = run(words);
  out_.flush();
  return keepGoing && !desktop_.terminated();
}

bool Console::run(const std::vector<std::string>& w) {
  auto& d = desktop_;
  const std::string& c = w[0];
  auto need = [&](size_t n) {
    if (w.size() >= n + 1) return true;
    fail(c + ": missing argument (see help)");
    return false;
  };
  auto check = [&](bool ok, const std::string& what) {
    if (!ok) fail(what);
  };
  static const std::set<std::string> known = {
      "help",  "quit",   "exit",  "bar",    "detail", "click", "right-click", "drag",    "hover",
      "unhover", "key",  "menu",  "choose", "escape", "alert", "press",       "window",  "switch",
      "button", "close", "slide", "pick",   "wait",   "log",   "syslog",      "state",   "defaults",
      "login", "await", "fault",  "memory", "terminate", "echo"};
  if (!known.count(c)) {
    fail("unknown command " + c + " (try help)");
    return true;
  }

  if (c == "help") {
    out_ << help();
  } else if (c == "quit" || c == "exit") {
    return false;
  } else if (c == "bar") {
    out_ << d.renderBar() << "\n";
  } else if (c == "detail") {
    out_ << d.renderBarDetail();
  } else if (c == "click" && need(1)) {
    check(d.click(w[1], modifierFlags(w, 2)), "cannot click " + w[1]);
  } else if ((c == "right-click") && need(1)) {
    check(d.rightClick(w[1]), "cannot click " + w[1]);
  } else if (c == "drag" && need(3)) {
    if (w[2] != "left-of" && w[2] != "right-of") {
      fail("drag ITEM left-of|right-of OTHER");
    } else {
      check(d.drag(w[1], w[3], w[2] == "left-of"), "cannot drag " + w[1]);
    }
  } else if (c == "hover" && need(1)) {
    check(d.hover(w[1]), "cannot point at " + w[1]);
  } else if (c == "unhover") {
    d.movePointerAway();
  } else if (c == "key" && need(1)) {
    uint32_t code = 0, mods = 0;
    if (!sim::parseKeyCombination(w[1], code, mods))
      fail("unknown key combination " + w[1]);
    else
      d.pressKey(code, mods);
  } else if (c == "menu") {
    std::string m = d.renderMenu();
    out_ << (m.empty() ? "(no menu open)\n" : m);
  } else if (c == "choose" && need(1)) {
    check(d.chooseMenuItem(rest(w, 1)), "no such menu item: " + rest(w, 1));
  } else if (c == "escape") {
    d.closeMenu();
  } else if (c == "alert") {
    std::string a = d.renderAlert();
    out_ << (a.empty() ? "(no alert open)\n" : a);
  } else if (c == "press" && need(1)) {
    check(d.pressAlertButton(rest(w, 1)), "no alert button " + rest(w, 1));
  } else if (c == "window") {
    std::string text = d.renderWindows();
    out_ << (text.empty() ? "(no window open)\n" : text);
  } else if ((c == "switch" || c == "button" || c == "close") || ((c == "slide" || c == "pick") && need(2))) {
    bool ok = false;
    d.onMain([&] {
      auto windows = d.simViews().visibleWindows();
      if (windows.empty()) return;
      auto& win = *windows.back();
      if (c == "switch" && w.size() > 1) ok = d.simViews().flipSwitch(win, rest(w, 1));
      if (c == "button" && w.size() > 1) ok = d.simViews().pressButton(win, rest(w, 1));
      if (c == "slide") ok = d.simViews().dragSlider(win, w[1], std::strtod(w[2].c_str(), nullptr));
      if (c == "pick") ok = d.simViews().pickPopUpItem(win, w[1], rest(w, 2));
      if (c == "close") {
        win.close();
        ok = true;
      }
    });
    d.waitIdle();
    check(ok, c + ": no such control in the open window");
  } else if (c == "wait" && need(1)) {
    double s = std::strtod(w[1].c_str(), nullptr);
    if (!(s >= 0) || !std::isfinite(s)) {
      fail("wait SECONDS");
    } else if (d.loop().time() == sim::SimRunLoop::Time::Virtual) {
      d.advance(s);
    } else {
      std::this_thread::sleep_for(std::chrono::duration<double>(s));
      d.waitIdle();
    }
  } else if (c == "await" && need(1)) {
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
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    check(seen, "the log did not show " + text + " within 20 s");
  } else if (c == "log") {
    out_ << readFile(d.logPath());
  } else if (c == "syslog") {
    out_ << readFile(sim::SimSystemLog::path(d.config().home));
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
    d.onMain([&] { sim::runDefaultsTool(d.defaultsPath(), args, out_, err_); });
  } else if (c == "login") {
    out_ << sim::simulateLogin(d.config().home) << " agent(s) started\n";
  } else if (c == "fault" && need(2)) {
    bool ok = true;
    d.onMain([&] {
      sim::ItemFaults f;
      const std::string& kind = w.size() > 2 ? w[2] : "";
      auto setFlag = [&](sim::ItemFaults& faults, const std::string& name, bool on) {
        if (name == "no-button") faults.noButton = on;
        else if (name == "no-window") faults.noWindow = on;
        else if (name == "no-screen") faults.noScreen = on;
        else return false;
        return true;
      };
      if (w[1] == "next-item") {
        ok = setFlag(f, kind, true);
        if (ok) d.menuBar().faultNextItem(f);
      } else if (w[1] == "all" && w.size() > 3) {
        ok = setFlag(d.menuBar().globalFaults(), kind, w[3] == "on");
      } else if (w[1] == "symbol" && w.size() > 3) {
        d.simGraphics().setSymbolMissing(w[2], w[3] == "missing");
      } else if (w[1] == "hotkey-taken") {
        uint32_t code = 0, mods = 0;
        ok = sim::parseKeyCombination(w[2], code, mods);
        if (ok) d.hotKeyRegistry().takeByOtherApplication(code, mods);
      } else {
        ok = false;
      }
    });
    check(ok, "unknown fault (see help)");
  } else if (c == "memory" && need(1)) {
    bool ok = true;
    d.onMain([&] {
      if (w[1] == "off") d.menuBar().setMemory(sim::PositionMemory::Off);
      else if (w[1] == "forget") d.menuBar().setMemory(sim::PositionMemory::ForgetOnRemove);
      else if (w[1] == "keep") d.menuBar().setMemory(sim::PositionMemory::Keep);
      else ok = false;
    });
    check(ok, "memory off|forget|keep");
  } else if (c == "terminate") {
    d.requestTermination();
  } else if (c == "echo") {
    out_ << rest(w, 1) << "\n";
  }
  return true;
}

}  // namespace tl::console
