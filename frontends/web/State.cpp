#include "frontends/web/State.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>

#include "app/AppDelegate.h"
#include "platform/sim/DefaultsTool.h"
#include "platform/sim/SimClock.h"
#include "platform/sim/SimFiles.h"
#include "platform/sim/SimTextMetrics.h"
#include "platform/sim/SimSystem.h"
#include "platform/sim/SimViews.h"

namespace tl::web {

using nlohmann::json;

namespace {
constexpr size_t kTailBytes = 64 * 1024;

std::string homePath(sim::SimDesktop& d, const std::string& rest) { return d.config().home + "/" + rest; }

json describeImage(const std::shared_ptr<Image>& image) {
  auto sim = std::dynamic_pointer_cast<sim::SimImage>(image);
  if (!image) return {{"kind", "none"}};
  if (!sim) return {{"kind", "unknown"}};
  json j = {{"template", sim->isTemplate()},
            {"width", sim->size().width},
            {"height", sim->size().height},
            {"description", sim->describe()}};
  if (sim->isSymbol()) {
    j["kind"] = "symbol";
    j["symbol"] = sim->symbolName();
    j["pointSize"] = sim->pointSize();
    return j;
  }
  // A drawn bitmap: the page repeats the fills. The separator's image is
  // one narrow fill, which the page shows as the line.
  j["kind"] = sim->fills().empty() ? "blank" : "line";
  json fills = json::array();
  for (const auto& f : sim->fills())
    fills.push_back({{"x", f.rect.x}, {"y", f.rect.y}, {"width", f.rect.width}, {"height", f.rect.height},
                     {"color", f.color}});
  j["fills"] = std::move(fills);
  return j;
}

json describeItem(sim::SimStatusItem* item, const std::string& clock) {
  json j = {{"name", item->name()},
            {"own", item->own()},
            {"system", item->info().system},
            {"x", item->frame.x},
            {"width", item->frame.width},
            {"visible", item->visible},
            {"onScreen", item->onScreen}};
  // The clock reads the desktop's date in its locale, as the Mac's does.
  if (item->name() == "Clock") j["text"] = clock;
  if (item->own()) {
    j["length"] = item->length();
    auto button = item->simButton();
    j["button"] = button != nullptr;
    j["image"] = button ? describeImage(button->image()) : json{{"kind", "none"}};
    if (button && !button->toolTip().empty()) j["toolTip"] = button->toolTip();
  }
  return j;
}
}  // namespace

// Everything another application's item is described from; Tuckline's own
// items, a few, are described each time.
struct KeptParts::Seen {
  const sim::SimStatusItem* item = nullptr;
  std::string name;
  bool system = false, visible = false, onScreen = false;
  double x = 0, width = 0;
  bool operator==(const Seen&) const = default;
};
KeptParts::KeptParts() = default;
KeptParts::~KeptParts() = default;
KeptParts::KeptParts(KeptParts&&) noexcept = default;
KeptParts& KeptParts::operator=(KeptParts&&) noexcept = default;

namespace {
json describeItems(sim::SimDesktop& d, FaultBook& faults, KeptParts* kept) {
  auto all = d.menuBar().items();
  std::string clock = d.clockText();
  json items = json::array();
  if (!kept) {
    for (auto* item : all) items.push_back(describeItem(item, clock));
  } else if (auto& part = kept->items; part.version == 0 || kept->seen.size() != all.size()) {
    // Items came or went: the part is made anew.
    kept->seen.clear();
    for (auto* item : all) {
      items.push_back(describeItem(item, clock));
      kept->seen.push_back({item, item->name(), item->info().system, item->visible, item->onScreen, item->frame.x,
                            item->frame.width});
    }
    part.value = std::move(items);
    part.madeAnew();
  } else {
    // Each in its place: only one that changed is described again.
    json ops = json::array();
    for (size_t i = 0; i < all.size(); ++i) {
      auto* item = all[i];
      KeptParts::Seen now{item, item->name(), item->info().system, item->visible, item->onScreen, item->frame.x,
                          item->frame.width};
      if (now == kept->seen[i] && !item->own() && item->name() != "Clock") continue;
      kept->seen[i] = std::move(now);
      json j = describeItem(item, clock);
      if (j == part.value[i]) continue;
      ops.push_back({{"op", "replace"}, {"path", "/" + std::to_string(i)}, {"value", j}});
      part.value[i] = std::move(j);
    }
    if (!ops.empty()) part.changed(std::move(ops));
  }
  // The bar takes queued faults in order, one for each item it creates;
  // what it still holds are the last ones queued. (Telling new items by
  // address would miss an item made where a removed one was.)
  while (faults.nextItem.size() > d.menuBar().queuedItemFaults()) faults.nextItem.erase(faults.nextItem.begin());
  if (kept) kept->parts.emplace_back("/items", &kept->items);
  return items;
}

json describeMenu(sim::SimDesktop& d) {
  auto menu = d.menuBar().openMenu();
  if (!menu) return nullptr;
  json items = json::array();
  for (const auto& item : menu->itemArray()) {
    if (item->isSeparatorItem()) {
      items.push_back({{"separator", true}});
      continue;
    }
    // Widths as the desktop measures them, in the bar's font, which the
    // page draws menus with too.
    std::string label = keyEquivalentLabel(item->keyEquivalent());
    Font font = sim::SimMenuBar::titleFont(false);
    items.push_back({{"title", item->title()},
                     {"key", item->keyEquivalent()},
                     {"keyLabel", label},
                     {"titleWidth", sim::SimTextMetrics::shared().width(item->title(), font)},
                     {"keyWidth", sim::SimTextMetrics::shared().width(label, font)},
                     {"enabled", !item->action().empty()}});
  }
  json j = {{"items", std::move(items)}};
  if (auto* owner = d.menuBar().openMenuItem()) {
    j["under"] = owner->name();
    j["x"] = owner->frame.x;
    j["width"] = owner->frame.width;
  }
  return j;
}

json describeAlert(sim::SimDesktop& d) {
  auto* alert = d.simAlerts().openAlert();
  if (!alert) return nullptr;
  return {{"message", alert->message}, {"informative", alert->informative}, {"buttons", alert->buttons}};
}

json describeApp() {
  auto a = AppDelegate::shared;
  if (!a) return nullptr;
  return {{"collapsed", a->isCollapsed()},
          {"expandedByHover", a->expandedByHover()},
          {"collapseTimerPending", a->collapseTimer() && a->collapseTimer()->isValid()},
          {"didAutoReorder", a->didAutoReorder()}};
}

json describeFaults(sim::SimDesktop& d, const FaultBook& faults) {
  json hotKeys = json::array(), taken = json::array();
  for (const auto& r : d.hotKeyRegistry().registrations())
    hotKeys.push_back({{"keyCode", r.keyCode}, {"modifiers", r.modifiers},
                       {"combo", sim::keyCombinationText(r.keyCode, r.modifiers)}});
  for (const auto& [code, modifiers] : d.hotKeyRegistry().takenByOthers()) taken.push_back(sim::keyCombinationText(code, modifiers));
  json items = json::object();
  for (auto [name, target] : {std::pair{"all", sim::FaultTarget::All}, {"arrow", sim::FaultTarget::Arrow},
                              {"separator", sim::FaultTarget::Separator}}) {
    const auto& f = d.menuBar().itemFaults(target);
    items[name] = {{"no-button", f.noButton}, {"no-window", f.noWindow}, {"no-screen", f.noScreen}};
  }
  return {{"items", std::move(items)},
          {"nextItem", faults.nextItem},
          {"missingSymbols", d.simGraphics().missingSymbols()},
          {"takenHotKeys", std::move(taken)},
          {"logsFolderMissing", d.simFiles().folderMissing(d.logsFolder())},
          {"registeredHotKeys", std::move(hotKeys)}};
}

// What make() gives for the file at path, made again only when the file
// changed (or without a cache).
json fromFile(FileCache* files, const std::string& path, const std::function<json()>& make) {
  struct stat st;
  if (!files || stat(path.c_str(), &st) != 0) {
    if (files) files->entries.erase(path);
    return make();
  }
  FileCache::Entry now{static_cast<uint64_t>(st.st_ino), static_cast<uint64_t>(st.st_size),
                       static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, {}};
  auto& e = files->entries[path];
  if (e.value.is_null() || e.inode != now.inode || e.size != now.size || e.modified != now.modified) {
    // Stat first: a change while reading shows as a change next time.
    now.value = make();
    e = std::move(now);
  }
  return e.value;
}

std::string lineKey(uint64_t offset) {
  char key[24];
  std::snprintf(key, sizeof key, "%016llu", static_cast<unsigned long long>(offset));
  return key;
}

// Lines of text that starts at `at` in its file, each with its line feed,
// into lines; with ops, each as an "add" operation too.
void addLines(json& lines, const std::string& text, uint64_t at, json* ops) {
  for (size_t begin = 0; begin < text.size();) {
    size_t end = text.find('\n', begin);
    end = end == std::string::npos ? text.size() : end + 1;
    std::string key = lineKey(at + begin), line = text.substr(begin, end - begin);
    if (ops) ops->push_back({{"op", "add"}, {"path", "/" + key}, {"value", line}});
    lines[key] = std::move(line);
    begin = end;
  }
}

// The tail of a log brought up to date. A log that only grew since (the
// same file, its last line ended) is read from where it ended: the new
// lines are added and those the tail's start passed are dropped. Anything
// else is read anew.
void updateTail(FileCache::Tail& tail, const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    if (tail.lines.version == 0 || !tail.lines.value.empty()) {
      tail = {};
      tail.lines.value = json::object();
      tail.lines.madeAnew();
    }
    return;
  }
  FileCache::Entry now{static_cast<uint64_t>(st.st_ino), static_cast<uint64_t>(st.st_size),
                       static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, {}};
  auto& lines = tail.lines.value;
  if (tail.lines.version != 0 && now.inode == tail.file.inode && now.size == tail.file.size &&
      now.modified == tail.file.modified)
    return;
  bool ended = lines.empty() || lines.back().get_ref<const std::string&>().ends_with('\n');
  if (tail.lines.version != 0 && now.inode == tail.file.inode && now.size > tail.file.size && ended &&
      now.size - tail.file.size <= kTailBytes) {
    std::string added(now.size - tail.file.size, '\0');
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    ssize_t n = fd < 0 ? -1 : ::pread(fd, added.data(), added.size(), static_cast<off_t>(tail.file.size));
    if (fd >= 0) ::close(fd);
    uint64_t start = now.size > kTailBytes ? now.size - kTailBytes : 0;
    if (n == static_cast<ssize_t>(added.size())) {
      json ops = json::array();
      addLines(lines, added, tail.file.size, &ops);
      std::string first = lineKey(start);
      while (!lines.empty() && lines.begin().key() < first) {
        ops.push_back({{"op", "remove"}, {"path", "/" + lines.begin().key()}});
        lines.erase(lines.begin());
      }
      // One line longer than the whole tail is cut inside: read anew.
      if (!lines.empty()) {
        tail.file = now;
        tail.cut = start > 0;
        tail.lines.changed(std::move(ops));
        return;
      }
    }
  }
  // Stat first: a change while reading shows as a change next time.
  tail.file = now;
  lines = tailLines(path, kTailBytes, &tail.cut);
  tail.lines.madeAnew();
}

json describePanel(sim::SimDesktop& d, const FaultBook& faults, FileCache* files, KeptParts* kept) {
  FileCache own;
  FileCache& cache = files ? *files : own;
  auto tail = [&](const std::string& path) -> FileCache::Tail& {
    auto& t = cache.tails[path];
    updateTail(t, path);
    return t;
  };
  auto& log = tail(d.logPath());
  auto& system = tail(sim::SimSystemLog::path(d.config().home));
  std::string agent = homePath(d, "Library/LaunchAgents/com.ferrowick.tuckline.plist");
  json panel = {{"logTruncated", log.cut},
                {"defaults", fromFile(files, d.defaultsPath(), [&] {
                   std::ostringstream out, err;
                   sim::runDefaultsTool(d.defaultsPath(), {"read"}, out, err);
                   return json(out.str() + err.str());
                 })},
                {"launchAgent", fromFile(files, agent, [&] { return json(tailOfFile(agent, kTailBytes)); })},
                {"systemLogTruncated", system.cut},
                {"faults", describeFaults(d, faults)}};
  if (kept) {
    kept->parts.emplace_back("/panel/log", &log.lines);
    kept->parts.emplace_back("/panel/systemLog", &system.lines);
  } else {
    panel["log"] = log.lines.value;
    panel["systemLog"] = system.lines.value;
  }
  return panel;
}
}  // namespace

namespace {
std::atomic<uint64_t> partVersions{0};
}  // namespace

void KeptPart::changed(json operations) {
  from = version;
  version = ++partVersions;
  ops = std::move(operations);
}

void KeptPart::madeAnew() {
  from = 0;
  version = ++partVersions;
  ops = json::array();
}

std::string tailOfFile(const std::string& path, size_t maxBytes, bool* truncated, uint64_t* offset) {
  if (truncated) *truncated = false;
  if (offset) *offset = 0;
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return {};
  std::streamoff size = in.tellg();
  if (size <= 0) return {};
  // Compared unsigned: a limit beyond what streamoff holds means no limit.
  std::streamoff start =
      static_cast<uintmax_t>(size) > maxBytes ? size - static_cast<std::streamoff>(maxBytes) : 0;
  // From the byte before the cut, so a cut right after a newline keeps the
  // whole line that follows it.
  std::streamoff from = start > 0 ? start - 1 : 0;
  in.seekg(from);
  std::string text(static_cast<size_t>(size - from), '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  size_t cut = 0;
  if (start > 0) {
    if (truncated) *truncated = true;
    // Never begin inside a line, or, in one long line, inside a character.
    size_t newline = text.find('\n');
    if (newline != std::string::npos) {
      cut = newline + 1;
    } else {
      cut = 1;
      while (cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) ++cut;
    }
    text.erase(0, cut);
  }
  if (offset) *offset = static_cast<uint64_t>(from) + cut;
  return text;
}

json tailLines(const std::string& path, size_t maxBytes, bool* truncated) {
  uint64_t at = 0;
  std::string text = tailOfFile(path, maxBytes, truncated, &at);
  json lines = json::object();
  addLines(lines, text, at, nullptr);
  return lines;
}

std::string keyEquivalentLabel(const std::string& key) {
  if (key.empty()) return {};
  std::string shown = key;
  if (key.size() == 1 && key[0] >= 'a' && key[0] <= 'z') shown = std::string(1, static_cast<char>(key[0] - 'a' + 'A'));
  return "\xE2\x8C\x98" + shown;  // ⌘
}

namespace {
const char* weightName(FontWeight w) {
  return w == FontWeight::Medium ? "medium" : w == FontWeight::Semibold ? "semibold" : "regular";
}

json colorJson(const std::optional<Color>& c) {
  if (!c) return nullptr;
  return {{"name", c->name}, {"alpha", c->alpha}};
}

bool isControl(sim::ViewKind k) {
  return k == sim::ViewKind::Switch || k == sim::ViewKind::Slider || k == sim::ViewKind::PopUp ||
         k == sim::ViewKind::Button;
}

// The name by which a person (and the page) works a control: the title of
// a row around it that leads back to this very control, outermost first.
std::string rowTitleOf(const sim::SimWindow& window, const sim::SimNode& control,
                       const std::vector<const sim::SimNode*>& ancestors) {
  for (const auto* a : ancestors) {
    if (!sim::isRow(*a)) continue;
    auto* label = sim::firstLabel(*a);
    if (label && sim::findInRow(window, label->stringValue(), control.kind()).get() == &control)
      return label->stringValue();
  }
  return {};
}

json describeNode(const sim::SimWindow& window, const sim::SimNode& n, std::vector<const sim::SimNode*>& ancestors) {
  Rect f = n.frame();
  json j = {{"kind", sim::kindName(n.kind())},
            {"frame", {{"x", f.x}, {"y", f.y}, {"width", f.width}, {"height", f.height}}}};
  if (auto bg = n.layerBackgroundColor()) j["background"] = colorJson(bg);
  if (auto* t = dynamic_cast<const sim::SimTextField*>(&n)) {
    j["text"] = t->stringValue();
    j["lines"] = t->lines();
    json widths = json::array();
    for (const auto& line : t->lines()) widths.push_back(sim::SimTextMetrics::shared().width(line, t->font()));
    j["lineWidths"] = std::move(widths);
    j["font"] = {{"size", t->font().size}, {"weight", weightName(t->font().weight)},
                 {"monospacedDigits", t->font().monospacedDigits}};
    j["color"] = colorJson(t->textColor());
    j["alignment"] = t->alignment() == kTextAlignmentRight ? "right" : "natural";
    j["wrapping"] = t->isWrapping();
  } else if (auto* s = dynamic_cast<const sim::SimStackView*>(&n)) {
    j["orientation"] = s->orientation() == Orientation::Vertical ? "vertical" : "horizontal";
  } else if (auto* c = dynamic_cast<const sim::SimCustomView*>(&n)) {
    j["divider"] = c->isDivider();
  } else if (auto* sw = dynamic_cast<const sim::SimSwitch*>(&n)) {
    j["on"] = sw->state() == kControlStateValueOn;
  } else if (auto* sl = dynamic_cast<const sim::SimSlider*>(&n)) {
    j["value"] = sl->doubleValue();
    j["min"] = sl->minValue();
    j["max"] = sl->maxValue();
  } else if (auto* p = dynamic_cast<const sim::SimPopUpButton*>(&n)) {
    j["items"] = p->itemTitles();
    j["selected"] = p->indexOfSelectedItem();
    j["text"] = p->text();
    j["textWidth"] = sim::SimTextMetrics::shared().width(p->text(), Font{});
  } else if (auto* b = dynamic_cast<const sim::SimButton*>(&n)) {
    j["text"] = b->title();
    j["textWidth"] = sim::SimTextMetrics::shared().width(b->title(), Font{});
  }
  if (isControl(n.kind())) j["row"] = rowTitleOf(window, n, ancestors);
  json children = json::array();
  if (ancestors.size() < 64) {
    ancestors.push_back(&n);
    for (const auto& c : n.children()) children.push_back(describeNode(window, *c, ancestors));
    ancestors.pop_back();
  }
  if (!children.empty()) j["children"] = std::move(children);
  return j;
}

json describeWindows(sim::SimDesktop& d) {
  json windows = json::array();
  for (const auto& w : d.simViews().visibleWindows()) {
    w->layout();
    Rect f = w->frame(), c = w->contentRect();
    std::vector<const sim::SimNode*> ancestors;
    auto content = w->contentNode();
    windows.push_back({{"title", w->title()},
                       {"frame", {{"x", f.x}, {"y", f.y}, {"width", f.width}, {"height", f.height}}},
                       {"content", {{"x", c.x}, {"y", c.y}, {"width", c.width}, {"height", c.height}}},
                       {"closable", w->hasCloseButton()},
                       {"key", w->isKeyWindow()},
                       {"view", content ? describeNode(*w, *content, ancestors) : json(nullptr)}});
  }
  return windows;
}
}  // namespace

json describeDesktop(sim::SimDesktop& d, FaultBook& faults, FileCache* files, KeptParts* kept) {
  if (kept) kept->parts.clear();
  auto& bar = d.menuBar();
  const auto& c = bar.config();
  Rect notch = bar.notch();
  json screen = {{"width", c.screenWidth}, {"height", c.screenHeight}, {"thickness", c.thickness},
                 {"notch", notch.width > 0}};
  if (notch.width > 0) {
    screen["notchX"] = notch.x;
    screen["notchWidth"] = notch.width;
  }
  json titles = json::array();
  for (const auto& t : bar.menuTitles())
    titles.push_back({{"text", t.text}, {"x", t.x}, {"width", t.width}, {"textWidth", t.textWidth}, {"bold", t.bold}});
  json apps = json::array();
  for (const auto& app : sim::SimMenuBar::applications()) apps.push_back(app.name);
  json pointer = nullptr;
  if (auto p = bar.pointer()) pointer = {{"x", p->x}, {"y", p->y}};
  json items = describeItems(d, faults, kept);
  json state = {{"terminated", false},
          // Which copy this is: the page may be showing another process's.
          {"pid", d.simProcessInfo().processIdentifier()},
          {"screen", std::move(screen)},
          {"frontmost",
           {{"app", c.frontmostApp}, {"menus", c.frontmostMenus}, {"titles", std::move(titles)},
            {"menusEnd", bar.menusEnd()}, {"applications", std::move(apps)}}},
          {"pointer", std::move(pointer)},
          {"menu", describeMenu(d)},
          {"alert", describeAlert(d)},
          {"windows", describeWindows(d)},
          {"app", describeApp()},
          {"panel", describePanel(d, faults, files, kept)}};
  // What this copy must tell a person once; the page's server adds its own.
  json notices = json::array();
  for (const auto& n : d.notices()) notices.push_back({{"id", n.id}, {"text", n.text}});
  state["notices"] = std::move(notices);
  if (!kept) state["items"] = std::move(items);
  return state;
}

}  // namespace tl::web
