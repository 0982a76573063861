#include "platform/sim/SimViews.h"

#include <algorithm>

namespace tl::sim {

namespace {

double length(double v) { return viewLength(v); }

class FixedScreen : public Screen {
 public:
  explicit FixedScreen(Rect frame) : frame_(frame) {}
  Rect frame() const override { return frame_; }

 private:
  Rect frame_;
};

}  // namespace

SimViews::SimViews(Size screenSize) : server_(std::make_shared<WindowServer>()) {
  server_->screen = std::make_shared<FixedScreen>(Rect{0, 0, length(screenSize.width), length(screenSize.height)});
}

SimViews::SimViews(std::shared_ptr<Screen> screen) : SimViews() {
  if (screen) server_->screen = std::move(screen);
}

std::shared_ptr<AppWindow> SimViews::newWindow(Rect contentRect, unsigned styleMask, int backing, bool defer) {
  std::erase_if(windows_, [](const auto& w) { return w->isReleased(); });
  auto w = std::make_shared<SimWindow>(server_, contentRect, styleMask, backing, defer);
  windows_.push_back(w);
  return w;
}

std::shared_ptr<View> SimViews::newView() { return std::make_shared<SimPlainView>(); }

std::shared_ptr<View> SimViews::newCustomView(std::shared_ptr<CustomViewDrawing> drawing, Rect frame) {
  return std::make_shared<SimCustomView>(std::move(drawing), Size{length(frame.width), length(frame.height)});
}

std::shared_ptr<TextField> SimViews::labelWithString(const std::string& text) {
  return std::make_shared<SimTextField>(text, false);
}

std::shared_ptr<TextField> SimViews::wrappingLabelWithString(const std::string& text) {
  return std::make_shared<SimTextField>(text, true);
}

std::shared_ptr<StackView> SimViews::stackViewWithViews(const std::vector<std::shared_ptr<View>>& views) {
  auto stack = std::make_shared<SimStackView>();
  for (const auto& v : views) stack->addArrangedSubview(v);
  return stack;
}

std::shared_ptr<Switch> SimViews::newSwitch() { return std::make_shared<SimSwitch>(); }

std::shared_ptr<Slider> SimViews::sliderWithValue(double value, double minValue, double maxValue,
                                                  std::weak_ptr<Responder> target, const std::string& action) {
  auto slider = std::make_shared<SimSlider>(value, minValue, maxValue);
  slider->setTarget(std::move(target));
  slider->setAction(action);
  return slider;
}

std::shared_ptr<PopUpButton> SimViews::newPopUpButton(Rect frame, bool pullsDown) {
  return std::make_shared<SimPopUpButton>(Size{length(frame.width), length(frame.height)}, pullsDown);
}

std::shared_ptr<Button> SimViews::buttonWithTitle(const std::string& title, std::weak_ptr<Responder> target,
                                                  const std::string& action) {
  auto button = std::make_shared<SimButton>(title);
  button->setTarget(std::move(target));
  button->setAction(action);
  return button;
}

void SimViews::activateConstraints(const std::vector<LayoutConstraint>& constraints) {
  for (const auto& c : constraints) {
    constraints_.push_back(c);
    if (auto node = std::dynamic_pointer_cast<SimNode>(c.item.lock())) node->constraints_.push_back(c);
  }
}

std::vector<std::shared_ptr<SimWindow>> SimViews::windows() const {
  std::vector<std::shared_ptr<SimWindow>> out;
  for (const auto& w : windows_)
    if (!w->isReleased()) out.push_back(w);
  return out;
}

std::vector<std::shared_ptr<SimWindow>> SimViews::visibleWindows() const {
  std::vector<std::shared_ptr<SimWindow>> out;
  for (const auto& w : windows_)
    if (w->isVisible() && !w->isReleased()) out.push_back(w);
  std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a->orderStamp() < b->orderStamp(); });
  return out;
}

void SimViews::applicationEnded() {
  windows_.clear();
  server_->key.reset();
}

std::shared_ptr<SimWindow> SimViews::keyWindow() const {
  auto w = server_->key.lock();
  return w && w->isKeyWindow() ? w : nullptr;
}

}  // namespace tl::sim
