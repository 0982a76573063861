#include "app/AppDelegate.h"
#include "app/Prefs.h"

namespace tl {

void AppDelegate::applyPrefs() {
  if (!separatorItem_) return;
  bool show = platform().standardUserDefaults().boolForKey(rawValue(PrefKey::showSeparator));
  auto button = separatorItem_->button();
  if (!button) return;
  // The line shows only while expanded; the length is setCollapsed's business.
  button->setImage(!isCollapsed_ && show ? separatorLineImage() : nullptr);
}

}  // namespace tl
