#include "app/AppDelegate.h"
#include "app/Prefs.h"

namespace tl {

namespace {
// The delay after a hover opening when "autoCollapse" is off.
constexpr double kHoverCollapseDelay = 1.5;
}

void AppDelegate::mouseEntered(const Event&) {
  if (!platform().standardUserDefaults().boolForKey(rawValue(PrefKey::hoverExpand))) return;
  // Already open: an earlier exit's pending collapse stays pending.
  if (!isCollapsed_) return;
  expandedByHover_ = true;
  setCollapsed(false);
}

void AppDelegate::mouseExited(const Event&) {
  // Only an opening by hover closes by itself.
  if (!expandedByHover_) return;
  UserDefaults& defaults = platform().standardUserDefaults();
  double delay = kHoverCollapseDelay;
  if (defaults.boolForKey(rawValue(PrefKey::autoCollapse))) delay = defaults.doubleForKey(rawValue(PrefKey::autoCollapseDelay));
  scheduleCollapse(delay);
}

void AppDelegate::scheduleCollapse(double delay) {
  if (collapseTimer_) collapseTimer_->invalidate();
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  collapseTimer_ = platform().timers().scheduledTimer(delay, false, [weak](Timer&) {
    if (auto self = weak.lock()) {
      self->expandedByHover_ = false;
      self->setCollapsed(true);
    }
  });
}

}  // namespace tl
