#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/Views.h"
#include "platform/sim/SimViewText.h"
#include "platform/sim/SimViewTree.h"
#include "platform/sim/SimWindow.h"

// The simulated desktop's Views: the factory of views and windows, the
// windows it made, and a person working their controls. The tree is in
// SimViewTree, its layout in SimLayout, windows in SimWindow, drawing a
// window as text in SimViewText. Everything here is called on the
// application's main thread.

namespace tl::sim {

class SimViews : public Views {
 public:
  explicit SimViews(Size screenSize = {1512, 982});
  // Shares a screen with the rest of the desktop.
  explicit SimViews(std::shared_ptr<Screen> screen);

  std::shared_ptr<AppWindow> newWindow(Rect contentRect, unsigned styleMask, int backing, bool defer) override;
  std::shared_ptr<View> newView() override;
  std::shared_ptr<View> newCustomView(std::shared_ptr<CustomViewDrawing> drawing, Rect frame) override;
  std::shared_ptr<TextField> labelWithString(const std::string& text) override;
  std::shared_ptr<TextField> wrappingLabelWithString(const std::string& text) override;
  std::shared_ptr<StackView> stackViewWithViews(const std::vector<std::shared_ptr<View>>& views) override;
  std::shared_ptr<Switch> newSwitch() override;
  std::shared_ptr<Slider> sliderWithValue(double value, double minValue, double maxValue,
                                          std::weak_ptr<Responder> target, const std::string& action) override;
  std::shared_ptr<PopUpButton> newPopUpButton(Rect frame, bool pullsDown) override;
  std::shared_ptr<Button> buttonWithTitle(const std::string& title, std::weak_ptr<Responder> target,
                                          const std::string& action) override;
  void activateConstraints(const std::vector<LayoutConstraint>& constraints) override;

  // Windows made and not released, in the order made.
  std::vector<std::shared_ptr<SimWindow>> windows() const;
  // The shown ones, back to front: the key window is last.
  std::vector<std::shared_ptr<SimWindow>> visibleWindows() const;
  // The application's process ended: the window server takes its windows
  // off the screen without a word to the application (nothing of it runs).
  void applicationEnded();
  std::shared_ptr<SimWindow> keyWindow() const;
  const std::shared_ptr<Screen>& screen() const { return server_->screen; }
  // Every constraint activated, in order.
  const std::vector<LayoutConstraint>& constraints() const { return constraints_; }

  // A person using a window. A row is a horizontal stack, named by its
  // first label; each finds the control in the row, works it as a pointer
  // would and sends its action. False when there is no such control.
  bool flipSwitch(SimWindow& window, const std::string& rowTitle);
  // A continuous slider reports each half step on the way from where the
  // knob is to the target, then the target itself; another reports once.
  bool dragSlider(SimWindow& window, const std::string& rowTitle, double target);
  // By the item's title, or else by its index written in digits.
  bool pickPopUpItem(SimWindow& window, const std::string& rowTitle, const std::string& itemTitleOrIndex);
  bool pickPopUpItem(SimWindow& window, const std::string& rowTitle, long index);
  // By the button's title, or else by the title of the row it is in.
  bool pressButton(SimWindow& window, const std::string& title);

 private:
  std::shared_ptr<WindowServer> server_;
  std::vector<std::shared_ptr<SimWindow>> windows_;
  std::vector<LayoutConstraint> constraints_;
};

// The first control of a kind in the row of that title, laid out afresh.
std::shared_ptr<SimNode> findInRow(const SimWindow& window, const std::string& rowTitle, ViewKind kind);
// The titles of the rows that hold a control of that kind, top to bottom:
// what a person can name when a title matched none.
std::vector<std::string> rowsWith(const SimWindow& window, ViewKind kind);
template <class T>
std::shared_ptr<T> findInRow(const SimWindow& window, const std::string& rowTitle, ViewKind kind) {
  return std::dynamic_pointer_cast<T>(findInRow(window, rowTitle, kind));
}

}  // namespace tl::sim
