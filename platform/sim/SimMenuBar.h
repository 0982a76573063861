#pragma once
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/StatusBar.h"
#include "platform/UserDefaults.h"
#include "platform/Views.h"
#include "platform/sim/SimApplication.h"
#include "platform/sim/SimRunLoop.h"

namespace tl::sim {

class SimMenuBar;
class SimStatusItem;

// Another application's status item, or one of the system's own.
struct BarItemSpec {
  std::string name;   // how a person names it: "Dropbox", "Wi-Fi"
  double width = 28;
  bool system = false;  // system items sit at the right and cannot be dragged
};

struct ItemFaults {
  bool noButton = false;
  bool noWindow = false;
  bool noScreen = false;
};

// Which of this application's items a fault switch hits. The application
// creates the arrow first, so the arrow is the first own item of a build
// ("Item-0") and the separator the second.
enum class FaultTarget { All, Arrow, Separator };
struct ItemFaultSwitches {
  ItemFaults all, arrow, separator;
  ItemFaults& operator[](FaultTarget t) { return t == FaultTarget::Arrow ? arrow : t == FaultTarget::Separator ? separator : all; }
};
// "all", "arrow", "separator".
std::optional<FaultTarget> faultTargetNamed(const std::string& name);
// Turns the fault named "no-button", "no-window" or "no-screen" on or off;
// false for any other name.
bool setItemFault(ItemFaults& faults, const std::string& kind, bool on);

// How the menu bar remembers where the user Command-dragged an item of this
// application ("NSStatusItem Preferred Position <autosave name>" in the
// application's defaults domain).
enum class PositionMemory {
  Off,             // nothing is remembered
  ForgetOnRemove,  // remembered for the next launch; removing the item forgets it
  Keep,            // also a removed and re-created item goes back to its place
};

// An application that can be brought to the front, with its menus as a
// zh-Hans Mac shows them (an application that is not localised keeps its
// English titles).
struct FrontmostApp {
  std::string name;
  std::vector<std::string> menus;
};

// One title of the frontmost application's menus as the bar lays it out.
struct MenuTitle {
  std::string text;
  double x, width;   // the title's place in the bar, padding included
  double textWidth;  // its text alone, as drawn
  bool bold;         // the application's own name
};

class SimScreen : public Screen {
 public:
  explicit SimScreen(Rect frame) : frame_(frame) {}
  Rect frame() const override { return frame_; }

 private:
  Rect frame_;
};

class SimStatusWindow : public Window {
 public:
  explicit SimStatusWindow(SimStatusItem* item) : item_(item) {}
  Rect frame() const override;
  std::shared_ptr<Screen> screen() const override;
  bool isVisible() const override;
  void detach() { item_ = nullptr; }

 private:
  SimStatusItem* item_;
};

class SimStatusBarButton : public StatusBarButton, public std::enable_shared_from_this<SimStatusBarButton> {
 public:
  explicit SimStatusBarButton(SimStatusItem* item) : item_(item) {}
  void setImage(std::shared_ptr<Image> image) override;
  std::shared_ptr<Image> image() const override { return image_; }
  void setImagePosition(int position) override { imagePosition_ = position; }
  void setImageScaling(int scaling) override { imageScaling_ = scaling; }
  void setTarget(std::weak_ptr<Responder> target) override { target_ = std::move(target); }
  void setAction(const std::string& selector) override { action_ = selector; }
  void sendActionOn(uint64_t mask) override { sendActionMask_ = mask; }
  void setToolTip(const std::string& toolTip) override { toolTip_ = toolTip; }
  Rect bounds() const override;
  void addTrackingArea(std::shared_ptr<TrackingArea> area) override;
  void performClick() override;
  std::shared_ptr<Window> window() const override { return window_; }

  // Inspection.
  int imagePosition() const { return imagePosition_; }
  int imageScaling() const { return imageScaling_; }
  const std::string& action() const { return action_; }
  std::shared_ptr<Responder> target() const { return target_.lock(); }
  uint64_t sendActionMask() const { return sendActionMask_; }
  const std::string& toolTip() const { return toolTip_; }
  const std::vector<std::shared_ptr<TrackingArea>>& trackingAreas() const { return trackingAreas_; }
  void setWindow(std::shared_ptr<SimStatusWindow> w) { window_ = std::move(w); }
  void detach() { item_ = nullptr; }
  SimStatusItem* item() const { return item_; }

 private:
  SimStatusItem* item_;
  std::shared_ptr<Image> image_;
  int imagePosition_ = 0;
  int imageScaling_ = 0;
  std::weak_ptr<Responder> target_;
  std::string action_;
  uint64_t sendActionMask_ = kEventMaskLeftMouseUp;
  std::string toolTip_;
  std::vector<std::shared_ptr<TrackingArea>> trackingAreas_;
  std::shared_ptr<SimStatusWindow> window_;
};

class SimStatusItem : public StatusItem {
 public:
  SimStatusItem(SimMenuBar* bar, BarItemSpec info, bool own);
  ~SimStatusItem() override;
  std::shared_ptr<StatusBarButton> button() const override { return button_; }
  double length() const override { return length_; }
  void setLength(double length) override;
  void setMenu(std::shared_ptr<Menu> menu) override { menu_ = std::move(menu); }

  const BarItemSpec& info() const { return info_; }
  bool own() const { return own_; }
  std::shared_ptr<Menu> menu() const { return menu_; }
  std::shared_ptr<SimStatusBarButton> simButton() const { return button_; }
  // "arrow" or "separator" for this application's items (the arrow is the
  // one with an action), else the other application's name.
  std::string name() const;
  // Width it takes in the bar.
  double width() const;
  ItemFaults faults;
  std::string autosaveName;
  bool inBar = true;

  // Layout results, kept by the bar.
  Rect frame;
  bool onScreen = false;
  bool visible = false;
  SimMenuBar* bar() const { return bar_; }
  void detach();

  // Items whose last owner let go while their own button was clicking.
  static std::atomic<int> releasedDuringClick;

 private:
  friend class SimMenuBar;
  friend class SimStatusBarButton;
  std::shared_ptr<int> clicks_ = std::make_shared<int>(0);  // outlives the item
  SimMenuBar* bar_;
  BarItemSpec info_;
  bool own_;
  double length_ = kVariableStatusItemLength;
  std::shared_ptr<Menu> menu_;
  std::shared_ptr<SimStatusBarButton> button_;
};

class SimMenuBar : public StatusBar {
 public:
  struct Config {
    double screenWidth = 1512;
    double screenHeight = 982;
    double thickness = 24;
    std::vector<BarItemSpec> items = defaultItems();  // left to right
    std::string frontmostApp = "Finder";
    std::vector<std::string> frontmostMenus = {"文件", "编辑", "显示", "前往", "窗口", "帮助"};
    PositionMemory memory = PositionMemory::ForgetOnRemove;
    // A notched screen (the 14-inch MacBook Pro's is 185 of 1512 points,
    // in the middle of the bar); 0 for none. No status item is shown in or
    // left of it, and a menu title that would run into it goes on right
    // of it, as macOS does there.
    double notchWidth = 0;
    ItemFaultSwitches faults;  // for the items created from the start on
  };
  static std::vector<BarItemSpec> defaultItems();
  // The applications a person can bring to the front, Finder first.
  static const std::vector<FrontmostApp>& applications();
  static double defaultNotchWidth(double screenWidth) { return screenWidth * 185.0 / 1512.0; }

  SimMenuBar(Config config, SimRunLoop& loop, SimApplication& app, UserDefaults& defaults);
  ~SimMenuBar() override;

  // StatusBar.
  std::shared_ptr<StatusItem> statusItemWithLength(double length) override;
  void removeStatusItem(const std::shared_ptr<StatusItem>& item) override;
  double thickness() const override { return config_.thickness; }

  // --- The simulated desktop's side; main thread only. ---
  const Config& config() const { return config_; }
  std::shared_ptr<SimScreen> mainScreen() const { return screen_; }
  // All items in the bar, left to right, laid out.
  std::vector<SimStatusItem*> items();
  SimStatusItem* find(const std::string& name);
  // The frontmost application's menu titles, left to right, and the right
  // edge of the last one.
  std::vector<MenuTitle> menuTitles() const;
  // The font of the menu titles: the application's name in bold.
  static Font titleFont(bool bold) { return {13.5, bold ? FontWeight::Semibold : FontWeight::Regular}; }
  double menusEnd() const;
  // The notch's left edge and width; width 0 without one.
  Rect notch() const;

  // A click as a person makes it: false when the item cannot be clicked
  // (not in the bar, not visible).
  bool click(const std::string& name, bool right, uint64_t modifiers);
  // Command-drag: puts the item immediately left (or right) of another.
  bool drag(const std::string& name, const std::string& other, bool leftOf);
  bool canDrag(const std::string& name, const std::string& other);
  void movePointer(std::optional<Point> where);
  bool pointOnto(const std::string& name);
  std::optional<Point> pointer() const { return pointer_; }

  // The menu shown under an item while it tracks.
  std::shared_ptr<Menu> openMenu() const { return openMenu_; }
  SimStatusItem* openMenuItem() const { return openMenuOwner_; }
  // Chooses by title, or by key equivalent ("q", "cmd+q", "⌘Q").
  bool chooseMenuItem(const std::string& titleOrKey);
  void closeMenu();

  // Fault injection.
  void faultNextItem(ItemFaults faults) { nextFaults_.push_back(faults); }
  size_t queuedItemFaults() const { return nextFaults_.size(); }  // not yet taken by a new item
  // Switches for the items created from now on.
  ItemFaults& itemFaults(FaultTarget target) { return config_.faults[target]; }
  void setMemory(PositionMemory memory) { config_.memory = memory; }
  void setFrontmost(std::string app, std::vector<std::string> menus);
  // One of applications() by name; false for another name.
  bool bringToFront(const std::string& name);

  // The application's process has ended, whatever ended it: the window
  // server takes its items away (their remembered positions stay for the
  // next launch). Main thread, once the application's loop has stopped.
  void applicationEnded();

  // Text drawings for people and tests.
  std::string renderLine();
  std::string renderDetail();

  // Called by items when something that affects layout changed.
  void relayout();
  // Brings the items' frames up to date; anything reading a frame, like the
  // window server answering an item window's frame, goes through it.
  void layout();
  void trackMenu(SimStatusItem* item, const std::shared_ptr<Menu>& menu);

 private:
  void rememberPositions();
  std::optional<double> rememberedPosition(const std::string& autosaveName);
  void updateTracking();
  size_t insertionIndexFor(double distanceFromRight);

  Config config_;
  SimRunLoop& loop_;
  SimApplication& app_;
  UserDefaults& defaults_;
  std::shared_ptr<SimScreen> screen_;
  std::vector<std::shared_ptr<SimStatusItem>> items_;  // left to right
  std::vector<ItemFaults> nextFaults_;
  std::optional<Point> pointer_;
  std::map<TrackingArea*, bool> inside_;
  bool trackingPosted_ = false;
  std::shared_ptr<Menu> openMenu_;
  SimStatusItem* openMenuOwner_ = nullptr;
  std::shared_ptr<MenuItem> chosen_;
  bool dirty_ = true;
};

}  // namespace tl::sim
