#include "platform/sim/SimOptions.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/sim/SimClock.h"
#include "platform/sim/SimSystem.h"

namespace tl::sim {

namespace {
std::string applicationNames() {
  std::string names;
  for (const auto& app : SimMenuBar::applications()) names += (names.empty() ? "" : ", ") + app.name;
  return names;
}

bool number(const std::string& text, double low, double high, double& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  double v = std::strtod(text.c_str(), &end);
  if (!end || *end != '\0' || !(v >= low && v <= high)) return false;
  out = v;
  return true;
}

// NAME:WIDTH,… : the other applications' items, left to right; the system
// area stays as it is.
bool parseItems(const std::string& text, std::vector<BarItemSpec>& out) {
  std::vector<BarItemSpec> items;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (!part.empty()) {
      size_t colon = part.find(':');
      double width = 26;
      if (colon != std::string::npos && !number(part.substr(colon + 1), 1, 999, width)) return false;
      std::string name = part.substr(0, colon);
      if (name.empty()) return false;
      items.push_back({name, width, false});
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  for (auto& s : SimMenuBar::defaultItems())
    if (s.system) items.push_back(s);
  out = std::move(items);
  return true;
}
}  // namespace

namespace {
struct OptionForm {
  const char* name;
  const char* form;
};

// The options that take a value, as the usage and the refusals write them.
const std::vector<OptionForm>& withValue() {
  static const std::vector<OptionForm> forms = {
      {"--start", "--start DATE"},          {"--screen-width", "--screen-width N"},
      {"--thickness", "--thickness N"},     {"--memory", "--memory off|forget|keep"},
      {"--items", "--items NAME:W,..."},    {"--hotkey-taken", "--hotkey-taken COMBO"},
      {"--fault", "--fault KIND"},          {"--notch-width", "--notch-width N"},
      {"--frontmost", "--frontmost APP"}};
  return forms;
}

std::string notchWidthText(double screenWidth) {
  return "a notch is 1 point wide up to half the screen (" +
         std::to_string(static_cast<long long>(screenWidth / 2)) + " points on a screen " +
         std::to_string(static_cast<long long>(screenWidth)) + " points wide)";
}
}  // namespace

bool optionValue(const std::vector<std::string>& args, size_t& i, const std::string& form, std::string& value,
                 std::string& error) {
  // A word that is itself an option is the next option, not this one's
  // value: `--home --script x` forgot the folder.
  if (i + 1 >= args.size() || args[i + 1].rfind("--", 0) == 0) {
    error = args[i] + " needs a value: " + form;
    return false;
  }
  value = args[++i];
  return true;
}

std::string unknownOptionText(const std::string& program, const std::string& word,
                              const std::vector<std::string>& names) {
  std::string list;
  for (const auto& n : names) list += (list.empty() ? "" : ", ") + n;
  return "unknown option " + word + "; expected " + list + " (" + program + " --help describes them)";
}

std::vector<std::string> desktopOptionNames(bool virtualTime) {
  std::vector<std::string> names;
  for (const auto& o : withValue())
    if (virtualTime || std::string(o.name) != "--start") names.push_back(o.name);
  names.push_back("--notch");
  return names;
}

OptionParse parseDesktopOption(const std::vector<std::string>& args, size_t& i, DesktopOptions& options,
                               std::string& error) {
  const std::string& a = args[i];
  auto& c = options.config;
  auto& bar = c.menuBar;
  if (a == "--notch") {
    options.notch = true;
    return OptionParse::Taken;
  }
  auto form = std::find_if(withValue().begin(), withValue().end(), [&](const OptionForm& o) { return a == o.name; });
  if (form == withValue().end()) return OptionParse::NotMine;
  std::string v;
  if (!optionValue(args, i, form->form, v, error)) return OptionParse::Bad;
  auto bad = [&](std::string why) {
    error = a + " " + v + ": " + why;
    return OptionParse::Bad;
  };
  if (a == "--start") {
    auto date = parseLocalDate(v);
    if (!date) return bad("not a date and time of 1970–9999 here, like \"2026-12-06 12:00:00\"");
    c.startEpoch = *date;
    options.startGiven = true;
  } else if (a == "--screen-width") {
    if (!number(v, 200, 20000, bar.screenWidth)) return bad("the screen is 200 to 20000 points wide");
  } else if (a == "--thickness") {
    if (!number(v, 1, 100, bar.thickness)) return bad("the menu bar is 1 to 100 points high");
  } else if (a == "--memory") {
    if (v == "off") bar.memory = PositionMemory::Off;
    else if (v == "forget") bar.memory = PositionMemory::ForgetOnRemove;
    else if (v == "keep") bar.memory = PositionMemory::Keep;
    else return bad("off, forget or keep");
  } else if (a == "--items") {
    if (!parseItems(v, bar.items)) return bad("NAME:WIDTH,… with widths of 1 to 999 points");
  } else if (a == "--notch-width") {
    // How wide it may be depends on the screen, which may come later.
    if (!number(v, 1, 1e9, bar.notchWidth))
      return bad(notchWidthText(bar.screenWidth));
    options.notch = true;
  } else if (a == "--frontmost") {
    bool known = false;
    for (const auto& app : SimMenuBar::applications()) {
      if (app.name != v) continue;
      bar.frontmostApp = app.name;
      bar.frontmostMenus = app.menus;
      known = true;
    }
    if (!known) return bad("expected " + applicationNames());
  } else if (a == "--hotkey-taken") {
    uint32_t code = 0, modifiers = 0;
    if (!parseKeyCombination(v, code, modifiers)) return bad("not a key combination like ctrl+opt+cmd+b");
    c.hotKeysTaken.emplace_back(code, modifiers);
  } else if (a == "--fault") {
    size_t colon = v.find(':');
    std::string head = v.substr(0, colon), tail = colon == std::string::npos ? "" : v.substr(colon + 1);
    if (v == "logs-folder") {
      c.logsFolderMissing = true;
    } else if (head == "symbol" && !tail.empty()) {
      c.missingSymbols.push_back(tail);
    } else if (auto target = faultTargetNamed(head); !target || !setItemFault(bar.faults[*target], tail, true)) {
      return bad("expected arrow|separator|all:no-button|no-window|no-screen, symbol:NAME or logs-folder");
    }
  }
  return OptionParse::Taken;
}

bool finishDesktopOptions(DesktopOptions& options, std::string& error) {
  auto& bar = options.config.menuBar;
  if (!options.notch) return true;
  if (!(bar.notchWidth > 0)) bar.notchWidth = SimMenuBar::defaultNotchWidth(bar.screenWidth);
  if (bar.notchWidth > bar.screenWidth / 2) {
    error = "--notch-width " + std::to_string(static_cast<long long>(bar.notchWidth)) +
            ": " + notchWidthText(bar.screenWidth);
    return false;
  }
  return true;
}

std::string desktopOptionsUsage(bool virtualTime) {
  return std::string(virtualTime ? "  --start DATE          virtual time starts at this local date, "
                                   "\"2026-12-06 12:00:00\" by default\n"
                                 : "") +
         "  --screen-width N      the screen is N points wide (200–20000, default 1512)\n"
         "  --thickness N         the menu bar is N points high (1–100, default 24)\n"
         "  --items NAME:W,...    the other applications' status items, left to right\n"
         "  --memory off|forget|keep  how the bar remembers dragged positions (default forget)\n"
         "  --notch               a notched screen (185 of 1512 points, scaled to the screen's width)\n"
         "  --notch-width N       a notch N points wide, 1 to half the screen\n"
         "  --frontmost APP       the frontmost application: " + applicationNames() + "\n"
         "  --hotkey-taken COMBO  another application holds this key combination, e.g. ctrl+opt+cmd+b\n"
         "  --fault arrow|separator|all:no-button|no-window|no-screen\n"
         "                        the application's items (that one, or every one) come without it\n"
         "  --fault symbol:NAME   the system has no symbol of that name (chevron.left, chevron.right)\n"
         "  --fault logs-folder   ~/Library/Logs answers as missing\n";
}

}  // namespace tl::sim
