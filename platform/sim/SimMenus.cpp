#include "platform/sim/SimMenus.h"

namespace tl::sim {

std::shared_ptr<MenuItem> SimMenu::addItemWithTitle(const std::string& title, const std::string& action,
                                                    const std::string& keyEquivalent) {
  auto item = std::make_shared<SimMenuItem>(title, action, keyEquivalent, false);
  items_.push_back(item);
  return item;
}

void SimMenu::addItem(std::shared_ptr<MenuItem> item) {
  if (item) items_.push_back(std::move(item));
}

}  // namespace tl::sim
