#include "platform/sim/SimMenuBar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "platform/sim/SimGraphics.h"
#include "platform/sim/SimTextMetrics.h"

namespace tl::sim {

namespace {
constexpr double kRightMargin = 8;
constexpr double kItemPadding = 8;  // each side of a variable-length item's image
const std::string kPositionKeyPrefix = "NSStatusItem Preferred Position ";


std::string keyFrom(std::string s) {
  for (const char* prefix : {"cmd+", "command+", "\xE2\x8C\x98"}) {
    if (s.rfind(prefix, 0) == 0) s = s.substr(std::char_traits<char>::length(prefix));
  }
  if (s.size() == 1) s[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(s[0])));
  return s;
}

// Frames are laid out lazily, so each answer first settles the bar: a window
// asked right after its item was created must not report a stale origin.
SimStatusItem* laidOut(SimStatusItem* item) {
  if (item && item->bar()) item->bar()->layout();
  return item;
}

std::string fmt(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}
}  // namespace

std::optional<FaultTarget> faultTargetNamed(const std::string& name) {
  if (name == "all") return FaultTarget::All;
  if (name == "arrow") return FaultTarget::Arrow;
  if (name == "separator") return FaultTarget::Separator;
  return std::nullopt;
}

bool setItemFault(ItemFaults& faults, const std::string& kind, bool on) {
  if (kind == "no-button") faults.noButton = on;
  else if (kind == "no-window") faults.noWindow = on;
  else if (kind == "no-screen") faults.noScreen = on;
  else return false;
  return true;
}

// ---- window, button, item ----

Rect SimStatusWindow::frame() const {
  auto* item = laidOut(item_);
  return item ? item->frame : Rect{};
}

std::shared_ptr<Screen> SimStatusWindow::screen() const {
  auto* item = laidOut(item_);
  if (!item || !item->bar() || !item->onScreen || item->faults.noScreen) return nullptr;
  return item->bar()->mainScreen();
}

bool SimStatusWindow::isVisible() const {
  auto* item = laidOut(item_);
  return item && item->visible;
}

void SimStatusBarButton::setImage(std::shared_ptr<Image> image) {
  image_ = std::move(image);
  if (item_ && item_->bar()) item_->bar()->relayout();
}

Rect SimStatusBarButton::bounds() const {
  if (!item_) return {};
  return {0, 0, item_->frame.width, item_->frame.height};
}

void SimStatusBarButton::addTrackingArea(std::shared_ptr<TrackingArea> area) {
  if (area) trackingAreas_.push_back(std::move(area));
}

void SimStatusBarButton::performClick() {
  if (!item_ || !item_->bar()) return;
  // Counted where the item's end can see it: AppKit's button goes on using
  // its item after the click's action returns, so an item released inside
  // its own click is a crash on a Mac. Here it is counted and said.
  auto clicks = item_->clicks_;
  ++*clicks;
  if (auto menu = item_->menu()) {
    item_->bar()->trackMenu(item_, menu);
  } else if (auto t = target_.lock(); t && !action_.empty()) {
    t->performAction(action_, this);
  }
  --*clicks;
}

std::atomic<int> SimStatusItem::releasedDuringClick{0};

SimStatusItem::SimStatusItem(SimMenuBar* bar, BarItemSpec info, bool own)
    : bar_(bar), info_(std::move(info)), own_(own) {}

SimStatusItem::~SimStatusItem() {
  if (*clicks_ > 0) {
    ++releasedDuringClick;
    std::fprintf(stderr, "SimMenuBar: status item released during its own click\n");
  }
}

void SimStatusItem::detach() {
  inBar = false;
  bar_ = nullptr;
  if (button_) {
    // Someone may still hold the window: it closes with the item rather than
    // answering from an item that is gone.
    if (auto window = std::static_pointer_cast<SimStatusWindow>(button_->window())) window->detach();
    button_->setWindow(nullptr);
    button_->detach();
  }
}

void SimStatusItem::setLength(double length) {
  length_ = length;
  if (bar_) bar_->relayout();
}

std::string SimStatusItem::name() const {
  if (!own_) return info_.name;
  if (button_ && !button_->action().empty()) return "arrow";
  if (!button_ && autosaveName == "Item-0") return "arrow";
  return "separator";
}

double SimStatusItem::width() const {
  if (!own_) return info_.width;
  if (length_ >= 0) return length_;
  double image = 0;
  if (button_ && button_->image()) image = std::max(0.0, button_->image()->size().width);
  return image + 2 * kItemPadding;
}

// ---- the bar ----

std::vector<BarItemSpec> SimMenuBar::defaultItems() {
  return {{"Dropbox", 26, false},       {"Slack", 24, false}, {"1Password", 24, false},
          {"Docker", 30, false},        {"Zoom", 26, false},  {"Wi-Fi", 30, true},
          {"Battery", 40, true},        {"Control Centre", 30, true}, {"Clock", 128, true}};
}

SimMenuBar::SimMenuBar(Config config, SimRunLoop& loop, SimApplication& app, UserDefaults& defaults)
    : config_(std::move(config)), loop_(loop), app_(app), defaults_(defaults) {
  screen_ = std::make_shared<SimScreen>(Rect{0, 0, config_.screenWidth, config_.screenHeight});
  // The other applications were there before this one launched.
  for (const auto& info : config_.items) items_.push_back(std::make_shared<SimStatusItem>(this, info, false));
}

SimMenuBar::~SimMenuBar() {
  for (auto& item : items_) item->detach();
}

const std::vector<FrontmostApp>& SimMenuBar::applications() {
  static const std::vector<FrontmostApp> apps = {
      {"Finder", {"文件", "编辑", "显示", "前往", "窗口", "帮助"}},
      {"备忘录", {"文件", "编辑", "格式", "显示", "窗口", "帮助"}},
      {"Safari浏览器", {"文件", "编辑", "显示", "历史记录", "书签", "开发", "窗口", "帮助"}},
      {"Xcode", {"文件", "编辑", "显示", "查找", "导航", "编辑器", "产品", "调试", "集成", "窗口", "帮助"}},
      {"DaVinci Resolve", {"File", "Edit", "Trim", "Timeline", "Clip", "Mark", "View", "Playback", "Fusion", "Color",
                           "Fairlight", "Workspace", "Help"}},
  };
  return apps;
}

Rect SimMenuBar::notch() const {
  double w = config_.notchWidth;
  if (!(w > 0)) return {};
  return {(config_.screenWidth - w) / 2, config_.screenHeight - config_.thickness, w, config_.thickness};
}

std::vector<MenuTitle> SimMenuBar::menuTitles() const {
  std::vector<MenuTitle> titles;
  if (config_.frontmostApp.empty()) return titles;
  Rect gap = notch();
  double x = 36;  // right of the Apple menu
  auto add = [&](const std::string& text, double padding, bool bold) {
    double textWidth = SimTextMetrics::shared().width(text, titleFont(bold));
    double width = textWidth + padding;
    if (gap.width > 0 && x < gap.x + gap.width && x + width > gap.x) x = gap.x + gap.width;
    titles.push_back({text, x, width, textWidth, bold});
    x += width;
  };
  add(config_.frontmostApp, 16, true);
  for (const auto& m : config_.frontmostMenus) add(m, 18, false);
  return titles;
}

double SimMenuBar::menusEnd() const {
  auto titles = menuTitles();
  return titles.empty() ? 0 : titles.back().x + titles.back().width;
}

void SimMenuBar::setFrontmost(std::string app, std::vector<std::string> menus) {
  config_.frontmostApp = std::move(app);
  config_.frontmostMenus = std::move(menus);
  relayout();
}

bool SimMenuBar::bringToFront(const std::string& name) {
  for (const auto& app : applications()) {
    if (app.name != name) continue;
    setFrontmost(app.name, app.menus);
    return true;
  }
  return false;
}

size_t SimMenuBar::insertionIndexFor(double distanceFromRight) {
  // Candidate slots among the application items (index 0 is leftmost).
  size_t appCount = 0;
  double systemWidth = 0;
  for (auto& item : items_) {
    if (item->info().system)
      systemWidth += item->width();
    else
      ++appCount;
  }
  size_t best = 0;
  double bestDiff = INFINITY;
  for (size_t i = 0; i <= appCount; ++i) {
    double right = kRightMargin + systemWidth;
    for (size_t j = i; j < appCount; ++j) right += items_[j]->width();
    double diff = std::fabs(right - distanceFromRight);
    if (diff < bestDiff) {
      bestDiff = diff;
      best = i;
    }
  }
  return best;
}

std::optional<double> SimMenuBar::rememberedPosition(const std::string& autosaveName) {
  if (config_.memory == PositionMemory::Off) return std::nullopt;
  auto v = defaults_.objectForKey(kPositionKeyPrefix + autosaveName);
  if (!v) return std::nullopt;
  double d = defaults_.doubleForKey(kPositionKeyPrefix + autosaveName);
  if (!std::isfinite(d)) return std::nullopt;
  return d;
}

std::shared_ptr<StatusItem> SimMenuBar::statusItemWithLength(double length) {
  size_t ownCount = std::count_if(items_.begin(), items_.end(), [](auto& i) { return i->own(); });
  auto item = std::make_shared<SimStatusItem>(this, BarItemSpec{"Tuckline", 0, false}, true);
  item->autosaveName = "Item-" + std::to_string(ownCount);
  item->length_ = length;
  bool arrow = ownCount == 0;
  ItemFaults faults;
  for (auto target : {FaultTarget::All, arrow ? FaultTarget::Arrow : FaultTarget::Separator}) {
    const ItemFaults& f = config_.faults[target];
    faults.noButton |= f.noButton;
    faults.noWindow |= f.noWindow;
    faults.noScreen |= f.noScreen;
  }
  if (!nextFaults_.empty()) {
    const ItemFaults& next = nextFaults_.front();
    faults.noButton |= next.noButton;
    faults.noWindow |= next.noWindow;
    faults.noScreen |= next.noScreen;
    nextFaults_.erase(nextFaults_.begin());
  }
  item->faults = faults;
  if (!faults.noButton) {
    item->button_ = std::make_shared<SimStatusBarButton>(item.get());
    if (!faults.noWindow) item->button_->setWindow(std::make_shared<SimStatusWindow>(item.get()));
  }
  size_t index = 0;
  if (auto pos = rememberedPosition(item->autosaveName)) index = insertionIndexFor(*pos);
  items_.insert(items_.begin() + static_cast<long>(index), item);
  relayout();
  return item;
}

void SimMenuBar::removeStatusItem(const std::shared_ptr<StatusItem>& item) {
  auto it = std::find_if(items_.begin(), items_.end(), [&](auto& i) { return i == item; });
  if (it == items_.end()) return;
  auto sim = *it;
  if (config_.memory == PositionMemory::ForgetOnRemove) defaults_.removeObjectForKey(kPositionKeyPrefix + sim->autosaveName);
  items_.erase(it);
  if (openMenuOwner_ == sim.get()) closeMenu();
  sim->detach();
  relayout();
}

void SimMenuBar::applicationEnded() {
  closeMenu();
  openMenuOwner_ = nullptr;
  for (auto it = items_.begin(); it != items_.end();) {
    if ((*it)->own()) {
      (*it)->detach();
      it = items_.erase(it);
    } else {
      ++it;
    }
  }
  inside_.clear();  // the tracking areas went with the application
  dirty_ = true;
}

void SimMenuBar::relayout() {
  dirty_ = true;
  // Items that move under a resting pointer produce entered/exited events,
  // delivered as events of their own, never from inside the call that moved
  // them.
  if (!trackingPosted_ && pointer_) {
    trackingPosted_ = true;
    loop_.postInput([this] {
      trackingPosted_ = false;
      updateTracking();
    });
  }
}

void SimMenuBar::layout() {
  if (!dirty_) return;
  dirty_ = false;
  double x = config_.screenWidth - kRightMargin;
  double y = config_.screenHeight - config_.thickness;
  // Status items show only right of the menus and, on a notched screen,
  // right of the notch: one in it or left of it keeps its frame but is not
  // shown, so its window reports not visible.
  double shownFrom = std::max(menusEnd(), notch().x + notch().width);
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    auto& item = **it;
    double w = item.width();
    x -= w;
    item.frame = {x, y, w, config_.thickness};
    item.onScreen = x + w > 0 && x < config_.screenWidth;
    item.visible = item.onScreen && x >= shownFrom;
  }
}

std::vector<SimStatusItem*> SimMenuBar::items() {
  layout();
  std::vector<SimStatusItem*> out;
  for (auto& i : items_) out.push_back(i.get());
  return out;
}

SimStatusItem* SimMenuBar::find(const std::string& name) {
  layout();
  for (auto& i : items_)
    if (i->name() == name) return i.get();
  return nullptr;
}

bool SimMenuBar::click(const std::string& name, bool right, uint64_t modifiers) {
  if (openMenu_) {
    // A click anywhere while a menu is open only closes the menu.
    closeMenu();
    return true;
  }
  SimStatusItem* item = find(name);
  if (!item || !item->visible) return false;
  if (!item->own()) return true;
  auto button = item->simButton();
  if (!button) return false;  // nothing there to click
  if (auto menu = item->menu()) {
    app_.dispatch({right ? EventType::RightMouseDown : EventType::LeftMouseDown, modifiers},
                  [&] { trackMenu(item, menu); });
    return true;
  }
  EventType up = right ? EventType::RightMouseUp : EventType::LeftMouseUp;
  uint64_t mask = right ? kEventMaskRightMouseUp : kEventMaskLeftMouseUp;
  if (!(button->sendActionMask() & mask)) return true;
  app_.dispatch({up, modifiers}, [&] {
    if (auto t = button->target(); t && !button->action().empty()) t->performAction(button->action(), button.get());
  });
  return true;
}

bool SimMenuBar::canDrag(const std::string& name, const std::string& other) {
  auto* item = find(name);
  return item && !item->info().system && name != other && find(other);
}

bool SimMenuBar::drag(const std::string& name, const std::string& other, bool leftOf) {
  layout();
  auto from = std::find_if(items_.begin(), items_.end(), [&](auto& i) { return i->name() == name; });
  if (from == items_.end() || (*from)->info().system) return false;
  auto moving = *from;
  auto index = from - items_.begin();
  items_.erase(from);
  auto to = std::find_if(items_.begin(), items_.end(), [&](auto& i) { return i->name() == other; });
  if (to == items_.end() || moving->name() == other) {
    // Put it back where it was: a drop onto nothing changes nothing.
    items_.insert(items_.begin() + index, moving);
    relayout();
    return false;
  }
  auto at = leftOf ? to : std::next(to);
  // The system area stays at the right: a drop into it lands just left of it.
  auto firstSystem = std::find_if(items_.begin(), items_.end(), [](auto& i) { return i->info().system; });
  if (at > firstSystem) at = firstSystem;
  items_.insert(at, moving);
  relayout();
  if (moving->own()) rememberPositions();
  return true;
}

void SimMenuBar::rememberPositions() {
  if (config_.memory == PositionMemory::Off) return;
  layout();
  for (auto& item : items_)
    if (item->own())
      defaults_.setDouble(kPositionKeyPrefix + item->autosaveName, config_.screenWidth - (item->frame.x + item->frame.width));
}

void SimMenuBar::movePointer(std::optional<Point> where) {
  pointer_ = where;
  updateTracking();
}

bool SimMenuBar::pointOnto(const std::string& name) {
  SimStatusItem* item = find(name);
  if (!item || !item->visible) return false;
  movePointer(Point{item->frame.x + item->frame.width / 2, item->frame.y + item->frame.height / 2});
  return true;
}

void SimMenuBar::updateTracking() {
  layout();
  struct Change {
    std::shared_ptr<TrackingArea> area;
    bool entered;
  };
  std::vector<Change> changes;
  std::map<TrackingArea*, bool> next;
  for (auto& item : items_) {
    auto button = item->simButton();
    if (!item->own() || !button) continue;
    for (auto& area : button->trackingAreas()) {
      if (!(area->options & kTrackingMouseEnteredAndExited)) continue;
      Rect r = item->frame;  // the visible rectangle of the button, in screen coordinates
      bool in = pointer_ && item->visible && r.contains(*pointer_);
      bool was = inside_.count(area.get()) && inside_[area.get()];
      next[area.get()] = in;
      if (in != was) changes.push_back({area, in});
    }
  }
  inside_ = std::move(next);
  for (auto& c : changes) {
    if (!(c.area->options & kTrackingActiveAlways) && !app_.isActive()) continue;
    auto owner = c.area->owner.lock();
    if (!owner) continue;
    Event e{c.entered ? EventType::MouseEntered : EventType::MouseExited, 0};
    app_.dispatch(e, [&] {
      if (c.entered)
        owner->mouseEntered(e);
      else
        owner->mouseExited(e);
    });
  }
}

void SimMenuBar::trackMenu(SimStatusItem* item, const std::shared_ptr<Menu>& menu) {
  openMenu_ = menu;
  openMenuOwner_ = item;
  chosen_ = nullptr;
  loop_.runNested(RunLoopMode::EventTracking, [this] { return !openMenu_; });
  openMenu_ = nullptr;
  openMenuOwner_ = nullptr;
  auto chosen = std::move(chosen_);
  chosen_ = nullptr;
  if (!chosen || loop_.stopped()) return;
  if (auto t = chosen->target()) t->performAction(chosen->action(), chosen.get());
}

bool SimMenuBar::chooseMenuItem(const std::string& titleOrKey) {
  if (!openMenu_) return false;
  std::shared_ptr<MenuItem> found;
  for (auto& i : openMenu_->itemArray())
    if (!i->isSeparatorItem() && i->title() == titleOrKey) found = i;
  if (!found) {
    std::string key = keyFrom(titleOrKey);
    for (auto& i : openMenu_->itemArray())
      if (!i->isSeparatorItem() && !i->keyEquivalent().empty() && i->keyEquivalent() == key) found = i;
  }
  // Items without an action are disabled, as AppKit shows them.
  if (!found || found->action().empty()) return false;
  chosen_ = found;
  openMenu_ = nullptr;
  return true;
}

void SimMenuBar::closeMenu() { openMenu_ = nullptr; }

std::string SimMenuBar::renderLine() {
  layout();
  std::ostringstream out;
  out << "<";
  if (!config_.frontmostApp.empty()) {
    out << " " << config_.frontmostApp;
    for (auto& m : config_.frontmostMenus) out << " " << m;
  }
  out << " >";
  std::vector<std::string> hidden;
  for (auto& item : items_) {
    std::string label;
    if (!item->own()) {
      label = item->info().name;
    } else if (item->name() == "arrow") {
      auto img = item->simButton() ? std::dynamic_pointer_cast<SimImage>(item->simButton()->image()) : nullptr;
      label = !img ? "?" : img->symbolName() == "chevron.left" ? "\xE2\x80\xB9" : img->symbolName() == "chevron.right" ? "\xE2\x80\xBA" : "?";
    } else {
      bool line = item->simButton() && item->simButton()->image();
      label = line ? "\xE2\x94\x82" : " ";
      if (item->length() >= 1000) label = "\xE2\x80\xA6";  // a long empty gap running off the left edge
    }
    // The collapsed separator is off the screen by design: it is what
    // hides the others, not one of them.
    if (item->visible)
      out << " [" << label << "]";
    else if (!item->own() || item->length() < 1000)
      hidden.push_back(item->own() ? item->name() : label);
  }
  if (!hidden.empty()) {
    out << "   hidden:";
    for (auto& h : hidden) out << " " << h;
  }
  return out.str();
}

std::string SimMenuBar::renderDetail() {
  layout();
  std::ostringstream out;
  out << "screen " << fmt(config_.screenWidth) << "x" << fmt(config_.screenHeight) << ", menu bar thickness "
      << fmt(config_.thickness) << ", frontmost " << (config_.frontmostApp.empty() ? "-" : config_.frontmostApp)
      << " (menus end at x=" << fmt(menusEnd()) << ")";
  if (Rect n = notch(); n.width > 0) out << ", notch x=" << fmt(n.x) << " w=" << fmt(n.width);
  if (pointer_) out << ", pointer at " << fmt(pointer_->x) << "," << fmt(pointer_->y);
  out << "\n";
  for (auto& item : items_) {
    char head[96];
    std::snprintf(head, sizeof head, "  %-15s x=%-7s w=%-6s", item->name().c_str(), fmt(item->frame.x).c_str(),
                  fmt(item->frame.width).c_str());
    out << head << (item->visible ? "visible" : "hidden ") << (item->onScreen ? " on-screen " : " off-screen");
    if (item->own()) {
      out << " length=" << fmt(item->length());
      auto b = item->simButton();
      if (!b) {
        out << " (no button)";
      } else {
        auto img = std::dynamic_pointer_cast<SimImage>(b->image());
        out << " image=" << (img ? img->describe() : "none");
        if (!b->window()) out << " (no window)";
        if (item->faults.noScreen) out << " (no screen)";
      }
    }
    out << "\n";
  }
  return out.str();
}

}  // namespace tl::sim
