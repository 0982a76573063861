#include "platform/sim/SimAlerts.h"

#include <algorithm>

namespace tl::sim {

long SimAlert::runModal() {
  if (buttons.empty()) buttons.push_back("OK");  // NSAlert adds one when none was given
  result = 0;
  owner_.open_.push_back(this);
  ++owner_.shown_;
  loop_.runNested(RunLoopMode::ModalPanel, [this] { return result != 0; });
  owner_.open_.erase(std::find(owner_.open_.begin(), owner_.open_.end(), this));
  return result ? result : kAlertFirstButtonReturn;
}

bool SimAlerts::press(const std::string& title) {
  SimAlert* alert = openAlert();
  if (!alert) return false;
  auto it = std::find(alert->buttons.begin(), alert->buttons.end(), title);
  if (it == alert->buttons.end()) return false;
  alert->result = kAlertFirstButtonReturn + (it - alert->buttons.begin());
  return true;
}

}  // namespace tl::sim
