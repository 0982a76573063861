#include "platform/macos/MacBridge.h"

#include <algorithm>
#include <vector>

namespace tl::mac {

namespace {

class MacMenuItem final : public MenuItem {
 public:
  explicit MacMenuItem(NSMenuItem* item) : item_(item) {}
  ~MacMenuItem() override {
    if (item_.target == actions_.bridge()) item_.target = nil;
  }

  void bindSender(std::weak_ptr<Object> self) { actions_.setSender(std::move(self)); }

  std::string title() const override { return fromNS(item_.title); }
  void setTitle(const std::string& title) override { item_.title = toNS(title); }
  std::string action() const override { return ActionBinding::nameOf(item_.action); }
  std::string keyEquivalent() const override { return fromNS(item_.keyEquivalent); }
  bool isSeparatorItem() const override { return item_.separatorItem; }

  // With the bridge as target the item stays enabled under the menu's
  // automatic enabling, which asks the target whether it answers the action.
  void setTarget(std::weak_ptr<Responder> target) override {
    actions_.setResponder(std::move(target));
    item_.target = actions_.bridge();
  }
  std::shared_ptr<Responder> target() const override { return actions_.responder(); }

  NSMenuItem* ns() const { return item_; }

 private:
  NSMenuItem* item_;
  ActionBinding actions_;
};

std::shared_ptr<MacMenuItem> wrapItem(NSMenuItem* item) {
  auto wrapper = std::make_shared<MacMenuItem>(item);
  wrapper->bindSender(std::weak_ptr<Object>(wrapper));
  return wrapper;
}

class MacMenu final : public Menu {
 public:
  MacMenu() : menu_([[NSMenu alloc] initWithTitle:@""]) {}

  void removeAllItems() override {
    [menu_ removeAllItems];
    items_.clear();
  }

  std::shared_ptr<MenuItem> addItemWithTitle(const std::string& title, const std::string& action,
                                             const std::string& keyEquivalent) override {
    // GNUstep types the result as id<NSMenuItem>; AppKit as NSMenuItem*.
    NSMenuItem* item = (NSMenuItem*)[menu_ addItemWithTitle:toNS(title)
                                                     action:ActionBinding::selectorFor(action)
                                              keyEquivalent:toNS(keyEquivalent)];
    auto wrapper = wrapItem(item);
    items_.push_back(wrapper);
    return wrapper;
  }

  void addItem(std::shared_ptr<MenuItem> item) override {
    auto mac = std::dynamic_pointer_cast<MacMenuItem>(item);
    if (!mac) return;
    // AppKit raises when an item already belongs to a menu; moving it is
    // what adding it again can sensibly mean.
    if (NSMenu* previous = mac->ns().menu) [previous removeItem:mac->ns()];
    [menu_ addItem:mac->ns()];
    items_.push_back(std::move(mac));
  }

  // What the menu holds now, in order, as the wrappers the core was given.
  // An item moved to another menu since is no longer here.
  std::vector<std::shared_ptr<MenuItem>> itemArray() const override {
    std::vector<std::shared_ptr<MenuItem>> result;
    for (NSMenuItem* item in menu_.itemArray) {
      auto it = std::find_if(items_.begin(), items_.end(), [&](const auto& w) { return w->ns() == item; });
      if (it != items_.end()) result.push_back(*it);
    }
    return result;
  }

  NSMenu* ns() const { return menu_; }

 private:
  NSMenu* menu_;
  std::vector<std::shared_ptr<MacMenuItem>> items_;
};

class MacMenus final : public Menus {
 public:
  std::shared_ptr<Menu> newMenu() override { return std::make_shared<MacMenu>(); }
  std::shared_ptr<MenuItem> separatorItem() override { return wrapItem((NSMenuItem*)[NSMenuItem separatorItem]); }
};

}  // namespace

NSMenu* nsMenu(const std::shared_ptr<Menu>& menu) {
  auto* mac = dynamic_cast<MacMenu*>(menu.get());
  return mac ? mac->ns() : nil;
}

std::unique_ptr<Menus> makeMenus() { return std::make_unique<MacMenus>(); }

}  // namespace tl::mac
