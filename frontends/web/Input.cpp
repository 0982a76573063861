#include "frontends/web/Input.h"

#include <algorithm>
#include <cmath>

#include <nlohmann/json.hpp>

#include "platform/Event.h"
#include "platform/sim/SimFiles.h"
#include "platform/sim/SimViews.h"

namespace tl::web {

using nlohmann::json;

namespace {
// Names longer than this are no name of anything on the desktop.
constexpr size_t kMaxText = 512;

struct Reader {
  const json& j;
  std::string error;

  bool text(const char* key, std::string& out) {
    auto it = j.find(key);
    if (it == j.end() || !it->is_string() || it->get_ref<const std::string&>().empty() ||
        it->get_ref<const std::string&>().size() > kMaxText) {
      error = std::string("\"") + key + "\" must be a non-empty string";
      return false;
    }
    out = it->get<std::string>();
    return true;
  }
  bool boolean(const char* key, bool& out) {
    auto it = j.find(key);
    if (it == j.end() || !it->is_boolean()) {
      error = std::string("\"") + key + "\" must be true or false";
      return false;
    }
    out = it->get<bool>();
    return true;
  }
  bool number(const char* key, double& out) {
    auto it = j.find(key);
    if (it == j.end() || !it->is_number() || !std::isfinite(it->get<double>())) {
      error = std::string("\"") + key + "\" must be a number";
      return false;
    }
    out = it->get<double>();
    return true;
  }
  bool modifiers(uint64_t& out) {
    out = 0;
    auto it = j.find("modifiers");
    if (it == j.end()) return true;
    if (!it->is_array()) return fail("\"modifiers\" must be a list");
    for (const auto& m : *it) {
      std::string name = m.is_string() ? m.get<std::string>() : "";
      if (name == "ctrl" || name == "control") out |= kEventModifierFlagControl;
      else if (name == "opt" || name == "option" || name == "alt") out |= kEventModifierFlagOption;
      else if (name == "shift") out |= kEventModifierFlagShift;
      else if (name == "cmd" || name == "command" || name == "meta") out |= kEventModifierFlagCommand;
      else return fail("unknown modifier (ctrl, opt, shift, cmd)");
    }
    return true;
  }
  bool fail(std::string why) {
    error = std::move(why);
    return false;
  }
};

bool parseWindow(Reader& r, Command& c) {
  std::string action;
  if (!r.text("action", action)) return false;
  if (action == "close") {
    c.kind = Command::Kind::WindowClose;
    return true;
  }
  if (action == "button") {
    c.kind = Command::Kind::WindowButton;
    return r.text(r.j.contains("title") ? "title" : "row", c.item);
  }
  if (action == "move") {
    c.kind = Command::Kind::WindowMove;
    return r.number("x", c.x) && r.number("y", c.y);
  }
  if (!r.text("row", c.item)) return false;
  if (action == "switch") {
    c.kind = Command::Kind::WindowSwitch;
    return true;
  }
  if (action == "slide") {
    c.kind = Command::Kind::WindowSlide;
    return r.number("value", c.value);
  }
  if (action == "pick") {
    c.kind = Command::Kind::WindowPick;
    return r.text("value", c.other);
  }
  return r.fail("unknown window action (switch, slide, pick, button, close, move)");
}

bool parseFault(Reader& r, Command& c) {
  c.kind = Command::Kind::Fault;
  if (!r.text("fault", c.item)) return false;
  if (c.item == "next-item" || sim::faultTargetNamed(c.item)) {
    if (!r.text("kind", c.other)) return false;
    sim::ItemFaults probe;
    if (!sim::setItemFault(probe, c.other, true)) return r.fail("unknown fault kind (no-button, no-window, no-screen)");
    return c.item == "next-item" || r.boolean("on", c.flag);
  }
  if (c.item == "symbol") return r.text("name", c.other) && r.boolean("missing", c.flag);
  if (c.item == "hotkey-taken") {
    if (!r.text("combo", c.other)) return false;
    return sim::parseKeyCombination(c.other, c.keyCode, c.carbonModifiers) || r.fail("unknown key combination");
  }
  if (c.item == "logs-folder") return r.boolean("missing", c.flag);
  return r.fail("unknown fault (next-item, all, arrow, separator, symbol, hotkey-taken, logs-folder)");
}
}  // namespace

Parsed parseCommand(std::string_view body) {
  // The parser ends its input at a byte 0, and would take what came before
  // it for the whole body.
  if (body.find('\0') != std::string_view::npos) return {std::nullopt, "the body must be a JSON object"};
  json j = json::parse(body.begin(), body.end(), nullptr, false);
  if (j.is_discarded() || !j.is_object()) return {std::nullopt, "the body must be a JSON object"};
  Reader r{j, {}};
  std::string type;
  if (!r.text("type", type)) return {std::nullopt, r.error};
  Command c;
  bool ok = false;
  using K = Command::Kind;
  if (type == "click") {
    c.kind = K::Click;
    ok = r.text("item", c.item) && r.modifiers(c.modifiers);
  } else if (type == "rightClick") {
    c.kind = K::RightClick;
    ok = r.text("item", c.item);
  } else if (type == "drag") {
    c.kind = K::Drag;
    ok = r.text("item", c.item) && r.text("other", c.other) && r.boolean("leftOf", c.flag);
  } else if (type == "hover") {
    c.kind = K::Hover;
    ok = r.text("item", c.item);
  } else if (type == "unhover") {
    c.kind = K::Unhover;
    ok = true;
  } else if (type == "key") {
    c.kind = K::Key;
    ok = r.text("combo", c.other) &&
         (sim::parseKeyCombination(c.other, c.keyCode, c.carbonModifiers) || r.fail("unknown key combination"));
  } else if (type == "menu") {
    if (j.contains("choose")) {
      c.kind = K::MenuChoose;
      ok = r.text("choose", c.item);
    } else if (auto close = j.find("close"); close != j.end() && *close == true) {
      c.kind = K::MenuClose;
      ok = true;
    } else {
      r.error = "menu needs \"choose\" or \"close\": true";
    }
  } else if (type == "alert") {
    c.kind = K::AlertButton;
    ok = r.text("button", c.item);
  } else if (type == "window") {
    ok = parseWindow(r, c);
  } else if (type == "fault") {
    ok = parseFault(r, c);
  } else if (type == "frontmost") {
    c.kind = K::Frontmost;
    ok = r.text("app", c.item);
  } else if (type == "login") {
    c.kind = K::Login;
    ok = true;
  } else if (type == "launch") {
    c.kind = K::Launch;
    ok = true;
  } else if (type == "terminate") {
    c.kind = K::Terminate;
    ok = true;
  } else {
    r.error = "unknown input type " + type;
  }
  if (!ok) return {std::nullopt, r.error};
  return {std::move(c), {}};
}

bool applyFault(sim::SimDesktop& d, FaultBook& faults, const Command& c) {
  if (c.item == "next-item") {
    sim::ItemFaults f;
    sim::setItemFault(f, c.other, true);
    d.menuBar().faultNextItem(f);
    faults.nextItem.push_back(c.other);
  } else if (auto target = sim::faultTargetNamed(c.item)) {
    sim::setItemFault(d.menuBar().itemFaults(*target), c.other, c.flag);
  } else if (c.item == "symbol") {
    d.simGraphics().setSymbolMissing(c.other, c.flag);
  } else if (c.item == "hotkey-taken") {
    d.hotKeyRegistry().takeByOtherApplication(c.keyCode, c.carbonModifiers);
  } else if (c.item == "logs-folder") {
    d.simFiles().setFolderMissing(d.logsFolder(), c.flag);
  } else {
    return false;
  }
  return true;
}

Outcome applyCommand(sim::SimDesktop& d, FaultBook& faults, const Command& c) {
  using K = Command::Kind;
  auto result = [](bool ok, std::string why) { return Outcome{ok, ok ? std::string() : std::move(why)}; };
  switch (c.kind) {
    case K::Click: return result(d.click(c.item, c.modifiers), "cannot click " + c.item);
    case K::RightClick: return result(d.rightClick(c.item), "cannot click " + c.item);
    case K::Drag: return result(d.drag(c.item, c.other, c.flag), "cannot drag " + c.item + " next to " + c.other);
    case K::Hover: return result(d.hover(c.item), "cannot point at " + c.item);
    case K::Unhover: d.movePointerAway(); return {true, {}};
    case K::Key: d.pressKey(c.keyCode, c.carbonModifiers); return {true, {}};
    case K::MenuChoose: return result(d.chooseMenuItem(c.item), "no such menu item: " + c.item);
    case K::MenuClose: d.closeMenu(); return {true, {}};
    case K::AlertButton: return result(d.pressAlertButton(c.item), "no alert button " + c.item);
    case K::WindowSwitch: case K::WindowSlide: case K::WindowPick: case K::WindowButton: case K::WindowClose:
    case K::WindowMove: {
      bool ok = d.workWindow([&](sim::SimViews& views, sim::SimWindow& win) {
        if (c.kind == K::WindowSwitch) return views.flipSwitch(win, c.item);
        if (c.kind == K::WindowSlide) return views.dragSlider(win, c.item, c.value);
        if (c.kind == K::WindowPick) return views.pickPopUpItem(win, c.item, c.other);
        if (c.kind == K::WindowButton) return views.pressButton(win, c.item);
        if (c.kind == K::WindowMove) {
          // Dragged by its title bar, as the window server lets it go:
          // never above the menu bar's lower edge, and always with a grip
          // of the title bar left on the screen.
          Rect f = win.frame(), screen = views.screen() ? views.screen()->frame() : Rect{};
          double top = screen.y + screen.height - d.menuBar().config().thickness;
          double x = std::max(screen.x - f.width + 40, std::min(c.x, screen.x + screen.width - 40));
          double y = std::min(top - f.height, std::max(c.y, screen.y - f.height + sim::SimWindow::kTitleBarHeight));
          win.setFrameOrigin({x, y});
          return true;
        }
        win.close();
        return true;
      });
      return result(ok, "no such control in the open window");
    }
    case K::Frontmost: {
      bool known = false;
      d.onMain([&] { known = d.menuBar().bringToFront(c.item); });
      d.waitIdle();
      return result(known, "no application " + c.item);
    }
    case K::Fault: {
      bool ran = d.onMain([&] { ran = applyFault(d, faults, c); });
      return result(ran, c.item == "next-item" ? "Tuckline is not running" : "unknown fault");
    }
    case K::Terminate: {
      // As Activity Monitor's Quit ends an app without a Dock icon: the
      // system asks it to terminate, and it goes its own way out.
      if (d.terminated()) return {false, "Tuckline is not running"};
      d.requestTermination();
      return {true, {}};
    }
    case K::Login: case K::Launch: break;
  }
  return {false, "not an input of the desktop"};
}

}  // namespace tl::web
