#pragma once
#include <memory>
#include <string>

#include "platform/Platform.h"

namespace tl {

class SettingsWindowController;

// The owner of all run-time state of the status-bar collapse. Its
// operations live with their subsystems: statusbar/ (items, collapsing,
// menu, hover, order check), settings/ (applyPrefs), login/ (launch agent),
// help/ (showHelp).
class AppDelegate : public ApplicationDelegate,
                    public Responder,
                    public TrackingOwner,
                    public std::enable_shared_from_this<AppDelegate> {
 public:
  AppDelegate();

  // The delegate reached from anywhere once launching has begun.
  static std::shared_ptr<AppDelegate> shared;

  // Application delegate.
  void applicationDidFinishLaunching() override;
  void applicationWillTerminate() override;

  // Target-action and tracking-area entry points.
  void performAction(const std::string& selector, Object* sender) override;
  void mouseEntered(const Event& event) override;
  void mouseExited(const Event& event) override;

  // Status items and collapsing.
  void createStatusItems();
  void setCollapsed(bool collapsed, bool animated = true);
  void toggleCollapsed();
  void toggleButtonClicked();
  static std::shared_ptr<Image> separatorLineImage();
  static std::shared_ptr<Image> arrowImage(bool collapsed);

  // Context menu.
  void buildContextMenu();
  void updateMenuTitles();
  void menuToggle();
  void menuHide();
  void menuShow();
  void menuResetPosition();
  void menuSettings();
  void menuHelp();
  void menuQuit();

  // Hover and timed collapse.
  void scheduleCollapse(double delay);

  // Item order.
  void verifyItemOrder();
  void rebuildStatusItems();

  // Preferences, login item, help.
  void applyPrefs();
  void setLaunchAtLogin(bool enabled);
  void showHelp();

  bool isCollapsed() const { return isCollapsed_; }

  // Read access for front ends and tests; the state is changed only through
  // the operations above.
  const std::shared_ptr<StatusItem>& toggleItem() const { return toggleItem_; }
  const std::shared_ptr<StatusItem>& separatorItem() const { return separatorItem_; }
  bool expandedByHover() const { return expandedByHover_; }
  const std::shared_ptr<Timer>& collapseTimer() const { return collapseTimer_; }
  const std::shared_ptr<Menu>& contextMenu() const { return contextMenu_; }
  const std::shared_ptr<SettingsWindowController>& settingsController() const { return settingsController_; }
  bool didAutoReorder() const { return didAutoReorder_; }

 private:
  std::string launchAgentPath() const;
  int32_t runLaunchctl(const std::vector<std::string>& arguments);
  void logItems(const std::string& context);

  std::shared_ptr<StatusItem> toggleItem_;
  std::shared_ptr<StatusItem> separatorItem_;
  bool isCollapsed_;
  bool expandedByHover_;
  std::shared_ptr<Timer> collapseTimer_;
  std::shared_ptr<TrackingArea> trackingArea_;
  std::shared_ptr<SettingsWindowController> settingsController_;
  std::shared_ptr<Menu> contextMenu_;
  bool didAutoReorder_;
};

// Owns the delegate for the life of the process.
extern std::shared_ptr<AppDelegate> appDelegate;
extern Application* application;

}  // namespace tl
