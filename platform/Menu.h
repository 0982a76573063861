#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/Object.h"

namespace tl {

class MenuItem : public Object {
 public:
  virtual std::string title() const = 0;
  virtual void setTitle(const std::string& title) = 0;
  virtual std::string action() const = 0;  // empty: no action
  virtual std::string keyEquivalent() const = 0;
  virtual bool isSeparatorItem() const = 0;
  virtual void setTarget(std::weak_ptr<Responder> target) = 0;
  virtual std::shared_ptr<Responder> target() const = 0;
};

class Menu : public Object {
 public:
  virtual void removeAllItems() = 0;
  virtual std::shared_ptr<MenuItem> addItemWithTitle(const std::string& title, const std::string& action,
                                                     const std::string& keyEquivalent) = 0;
  virtual void addItem(std::shared_ptr<MenuItem> item) = 0;
  virtual std::vector<std::shared_ptr<MenuItem>> itemArray() const = 0;
};

class Menus {
 public:
  virtual ~Menus() = default;
  virtual std::shared_ptr<Menu> newMenu() = 0;
  virtual std::shared_ptr<MenuItem> separatorItem() = 0;
};

}  // namespace tl
