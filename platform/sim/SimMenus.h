#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/Menu.h"

namespace tl::sim {

class SimMenuItem : public MenuItem {
 public:
  SimMenuItem(std::string title, std::string action, std::string key, bool separator)
      : title_(std::move(title)), action_(std::move(action)), key_(std::move(key)), separator_(separator) {}
  std::string title() const override { return title_; }
  void setTitle(const std::string& title) override { title_ = title; }
  std::string action() const override { return action_; }
  std::string keyEquivalent() const override { return key_; }
  bool isSeparatorItem() const override { return separator_; }
  void setTarget(std::weak_ptr<Responder> target) override { target_ = std::move(target); }
  std::shared_ptr<Responder> target() const override { return target_.lock(); }

 private:
  std::string title_, action_, key_;
  bool separator_;
  std::weak_ptr<Responder> target_;
};

class SimMenu : public Menu {
 public:
  void removeAllItems() override { items_.clear(); }
  std::shared_ptr<MenuItem> addItemWithTitle(const std::string& title, const std::string& action,
                                             const std::string& keyEquivalent) override;
  void addItem(std::shared_ptr<MenuItem> item) override;
  std::vector<std::shared_ptr<MenuItem>> itemArray() const override { return items_; }

 private:
  std::vector<std::shared_ptr<MenuItem>> items_;
};

class SimMenus : public Menus {
 public:
  std::shared_ptr<Menu> newMenu() override { return std::make_shared<SimMenu>(); }
  std::shared_ptr<MenuItem> separatorItem() override {
    return std::make_shared<SimMenuItem>("", "", "", true);
  }
};

}  // namespace tl::sim
