#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/Geometry.h"
#include "platform/Image.h"
#include "platform/Object.h"
#include "platform/StatusBar.h"

namespace tl {

struct Color {
  std::string name;  // a system colour: "labelColor", "separatorColor", ...
  double alpha = 1.0;
  bool operator==(const Color&) const = default;
};

struct Font {
  double size = 13;
  FontWeight weight = FontWeight::Regular;
  bool monospacedDigits = false;
  bool operator==(const Font&) const = default;
};

enum class Orientation { Horizontal = 0, Vertical = 1 };
enum class LayoutAttribute { Leading = 5, Trailing = 6, Top = 3, Bottom = 4, Width = 7, Height = 8, CenterY = 10 };

constexpr int kLineBreakByTruncatingTail = 4;
constexpr int kTextAlignmentRight = 2;
constexpr int kBezelStylePush = 1;
constexpr int kControlStateValueOff = 0;
constexpr int kControlStateValueOn = 1;

constexpr unsigned kWindowStyleMaskTitled = 1;
constexpr unsigned kWindowStyleMaskClosable = 2;
constexpr int kBackingStoreBuffered = 2;

struct EdgeInsets {
  double top = 0, left = 0, bottom = 0, right = 0;
  bool operator==(const EdgeInsets&) const = default;
};

class View;

// "item.attribute = toItem.toAttribute + constant"; without toItem, a fixed
// size.
struct LayoutConstraint {
  std::weak_ptr<View> item;
  LayoutAttribute attribute;
  std::weak_ptr<View> toItem;
  LayoutAttribute toAttribute;
  double constant = 0;
};

class View : public Object {
 public:
  virtual void setWantsLayer(bool wants) = 0;
  virtual bool hasLayer() const = 0;
  virtual void setLayerBackgroundColor(const Color& color) = 0;
  virtual void setTranslatesAutoresizingMaskIntoConstraints(bool flag) = 0;
  virtual void addSubview(std::shared_ptr<View> view) = 0;
  virtual std::vector<std::shared_ptr<View>> subviews() const = 0;
  virtual void setContentHuggingPriority(float priority, Orientation orientation) = 0;
  // The smallest size that holds everything in the view at its present
  // width, as Auto Layout works it out (NSView's fittingSize).
  virtual Size fittingSize() = 0;
};

class TextField : public View {
 public:
  virtual std::string stringValue() const = 0;
  virtual void setStringValue(const std::string& text) = 0;
  virtual void setFont(const Font& font) = 0;
  virtual void setTextColor(const Color& color) = 0;
  virtual void setAlignment(int alignment) = 0;
  virtual void setLineBreakMode(int mode) = 0;
};

class StackView : public View {
 public:
  virtual void setOrientation(Orientation orientation) = 0;
  virtual void setAlignment(LayoutAttribute alignment) = 0;
  virtual void setSpacing(double spacing) = 0;
  virtual void setEdgeInsets(EdgeInsets insets) = 0;
  virtual void addArrangedSubview(std::shared_ptr<View> view) = 0;
  virtual std::vector<std::shared_ptr<View>> arrangedSubviews() const = 0;
};

class Control : public View {
 public:
  virtual void setTarget(std::weak_ptr<Responder> target) = 0;
  virtual void setAction(const std::string& selector) = 0;
};

class Switch : public Control {
 public:
  virtual int state() const = 0;
  virtual void setState(int state) = 0;
};

class Slider : public Control {
 public:
  virtual double doubleValue() const = 0;
  virtual void setDoubleValue(double value) = 0;
  virtual void setContinuous(bool continuous) = 0;
};

class PopUpButton : public Control {
 public:
  virtual void addItemWithTitle(const std::string& title) = 0;
  virtual void selectItemAtIndex(long index) = 0;
  virtual long indexOfSelectedItem() const = 0;
};

class Button : public Control {
 public:
  virtual void setBezelStyle(int style) = 0;
};

// The drawing side of a custom view, for a view that draws through its layer.
class CustomViewDrawing {
 public:
  virtual ~CustomViewDrawing() = default;
  virtual bool wantsUpdateLayer() const = 0;
  virtual void updateLayer(View& view) = 0;
};

class AppWindow : public Window {
 public:
  virtual void setTitle(const std::string& title) = 0;
  virtual void setReleasedWhenClosed(bool released) = 0;
  virtual void center() = 0;
  virtual void setContentView(std::shared_ptr<View> view) = 0;
  virtual std::shared_ptr<View> contentView() const = 0;
  // A new size of the content area; the window's top left corner stays
  // where it is.
  virtual void setContentSize(Size size) = 0;
  virtual void makeKeyAndOrderFront() = 0;
};

class Views {
 public:
  virtual ~Views() = default;
  virtual std::shared_ptr<AppWindow> newWindow(Rect contentRect, unsigned styleMask, int backing, bool defer) = 0;
  virtual std::shared_ptr<View> newView() = 0;
  virtual std::shared_ptr<View> newCustomView(std::shared_ptr<CustomViewDrawing> drawing, Rect frame) = 0;
  virtual std::shared_ptr<TextField> labelWithString(const std::string& text) = 0;
  virtual std::shared_ptr<TextField> wrappingLabelWithString(const std::string& text) = 0;
  virtual std::shared_ptr<StackView> stackViewWithViews(const std::vector<std::shared_ptr<View>>& views) = 0;
  virtual std::shared_ptr<Switch> newSwitch() = 0;
  virtual std::shared_ptr<Slider> sliderWithValue(double value, double minValue, double maxValue,
                                                  std::weak_ptr<Responder> target, const std::string& action) = 0;
  virtual std::shared_ptr<PopUpButton> newPopUpButton(Rect frame, bool pullsDown) = 0;
  virtual std::shared_ptr<Button> buttonWithTitle(const std::string& title, std::weak_ptr<Responder> target,
                                                  const std::string& action) = 0;
  virtual void activateConstraints(const std::vector<LayoutConstraint>& constraints) = 0;
};

}  // namespace tl
