#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Views.h"

// The views of the simulated desktop: the tree the core builds and what
// each kind of view records (SimLayout lays it out). Frames are in the
// window's content area with the origin at its top-left and y growing
// downward — the text drawing and the browser
// read windows top to bottom, so this saves every reader a flip. Window
// frames, on the other hand, are in screen coordinates with the origin at
// the bottom-left, as everywhere else in the platform layer.
//
// Everything here is called on the application's main thread.

namespace tl::sim {

enum class ViewKind { Plain, Custom, TextField, Stack, Switch, Slider, PopUp, Button };
const char* kindName(ViewKind kind);

// Priorities below this in a stack's orientation make a view a spacer that
// takes up the stack's free space (AppKit's "low" hugging priority).
constexpr float kSpacerHuggingBelow = 250;

// What every simulated view shares, apart from its View interface: the
// records of what the core set, its children and its laid-out frame.
class SimNode : public std::enable_shared_from_this<SimNode> {
 public:
  explicit SimNode(ViewKind kind) : kind_(kind) {}
  virtual ~SimNode() = default;
  SimNode(const SimNode&) = delete;
  SimNode& operator=(const SimNode&) = delete;

  // The same object through the interface the core holds.
  virtual View& view() = 0;
  std::shared_ptr<View> viewPtr() { return std::shared_ptr<View>(shared_from_this(), &view()); }

  ViewKind kind() const { return kind_; }
  // Where the last layout put it, in window content coordinates.
  Rect frame() const { return frame_; }
  // The label's text, a button's title, a pop-up's shown item; else empty.
  virtual std::string text() const { return {}; }

  bool wantsLayer() const { return wantsLayer_; }
  const std::optional<Color>& layerBackgroundColor() const { return layerBackground_; }
  bool translatesAutoresizingMask() const { return translatesMask_; }
  float huggingPriority(Orientation o) const { return hugging_[o == Orientation::Vertical ? 1 : 0]; }
  // The view's initial frame size, for the views made with one.
  Size initialSize() const { return initialSize_; }
  // The constraints activated with this view as their first item.
  const std::vector<LayoutConstraint>& constraints() const { return constraints_; }

  // All subviews; for a stack view the arranged ones come first, in order.
  const std::vector<std::shared_ptr<SimNode>>& children() const { return children_; }
  std::shared_ptr<SimNode> superview() const { return superview_.lock(); }

 protected:
  void doSetWantsLayer(bool wants) { wantsLayer_ = wants; }
  void doSetLayerBackground(const Color& c) {
    // As with a nil layer in AppKit, nothing happens without a layer.
    if (wantsLayer_) layerBackground_ = c;
  }
  void doSetTranslates(bool flag) { translatesMask_ = flag; }
  void setInitialSize(Size s) { initialSize_ = s; }
  void doSetHugging(float p, Orientation o) { hugging_[o == Orientation::Vertical ? 1 : 0] = p; }
  // False for a view of another kind of platform, and for one that would
  // end up inside itself.
  bool adopt(const std::shared_ptr<View>& view);
  std::vector<std::shared_ptr<View>> childViews() const;

 private:
  friend class SimViews;
  friend class SimWindow;
  friend struct LayoutPass;
  void detachChild(const SimNode* child);

  ViewKind kind_;
  Rect frame_;
  Size initialSize_;
  bool wantsLayer_ = false;
  std::optional<Color> layerBackground_;
  bool translatesMask_ = true;
  float hugging_[2] = {250, 250};
  std::vector<LayoutConstraint> constraints_;
  std::vector<std::shared_ptr<SimNode>> children_;
  std::weak_ptr<SimNode> superview_;
};

// What a view's content needs at the width it has (any width before it was
// laid out): the height its subviews take with their own constraints.
Size fittingSizeOf(SimNode& node);

// The View half of every simulated view, forwarding to its SimNode.
template <class Interface>
class SimViewOf : public Interface, public SimNode {
 public:
  explicit SimViewOf(ViewKind kind) : SimNode(kind) {}
  View& view() override { return *this; }
  void setWantsLayer(bool wants) override { doSetWantsLayer(wants); }
  bool hasLayer() const override { return wantsLayer(); }
  void setLayerBackgroundColor(const Color& color) override { doSetLayerBackground(color); }
  void setTranslatesAutoresizingMaskIntoConstraints(bool flag) override { doSetTranslates(flag); }
  void addSubview(std::shared_ptr<View> view) override { adopt(view); }
  std::vector<std::shared_ptr<View>> subviews() const override { return childViews(); }
  void setContentHuggingPriority(float priority, Orientation orientation) override { doSetHugging(priority, orientation); }
  Size fittingSize() override { return fittingSizeOf(*this); }
};

class SimPlainView : public SimViewOf<View> {
 public:
  SimPlainView() : SimViewOf(ViewKind::Plain) {}
};

class SimCustomView : public SimViewOf<View> {
 public:
  SimCustomView(std::shared_ptr<CustomViewDrawing> drawing, Size size);
  const std::shared_ptr<CustomViewDrawing>& drawing() const { return drawing_; }
  // How often the drawing was asked to update the layer.
  int layerUpdates() const { return layerUpdates_; }
  // A thin view drawn by its layer: what the settings window's rules are.
  bool isDivider() const;
  void display();

 private:
  std::shared_ptr<CustomViewDrawing> drawing_;
  int layerUpdates_ = 0;
};

class SimTextField : public SimViewOf<TextField> {
 public:
  // Wrapping labels wrap by word; plain labels clip, as AppKit makes them.
  static constexpr int kByWordWrapping = 0;
  static constexpr int kByClipping = 2;

  SimTextField(std::string text, bool wrapping)
      : SimViewOf(ViewKind::TextField), text_(std::move(text)), wrapping_(wrapping),
        lineBreakMode_(wrapping ? kByWordWrapping : kByClipping) {}
  std::string stringValue() const override { return text_; }
  void setStringValue(const std::string& text) override { text_ = text; }
  void setFont(const Font& font) override { font_ = font; }
  void setTextColor(const Color& color) override { textColor_ = color; }
  void setAlignment(int alignment) override { alignment_ = alignment; }
  void setLineBreakMode(int mode) override { lineBreakMode_ = mode; }

  std::string text() const override { return text_; }
  const Font& font() const { return font_; }
  const std::optional<Color>& textColor() const { return textColor_; }
  int alignment() const { return alignment_; }
  int lineBreakMode() const { return lineBreakMode_; }
  bool isWrapping() const { return wrapping_; }
  // The lines as the last layout drew them: wrapped to the frame's width,
  // or cut to it (with "…" when truncating).
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  friend struct LayoutPass;
  std::string text_;
  bool wrapping_;
  int lineBreakMode_;
  Font font_;
  std::optional<Color> textColor_;
  int alignment_ = 4;  // natural
  std::vector<std::string> lines_;
};

class SimStackView : public SimViewOf<StackView> {
 public:
  SimStackView() : SimViewOf(ViewKind::Stack) {}
  void setOrientation(Orientation orientation) override { orientation_ = orientation; }
  void setAlignment(LayoutAttribute alignment) override { alignment_ = alignment; }
  void setSpacing(double spacing) override { spacing_ = spacing; }
  void setEdgeInsets(EdgeInsets insets) override { insets_ = insets; }
  void addArrangedSubview(std::shared_ptr<View> view) override;
  std::vector<std::shared_ptr<View>> arrangedSubviews() const override;

  Orientation orientation() const { return orientation_; }
  LayoutAttribute alignment() const { return alignment_; }
  double spacing() const { return spacing_; }
  EdgeInsets edgeInsets() const { return insets_; }
  const std::vector<std::shared_ptr<SimNode>>& arranged() const { return arranged_; }

 private:
  friend class SimNode;
  Orientation orientation_ = Orientation::Horizontal;
  LayoutAttribute alignment_ = LayoutAttribute::CenterY;
  double spacing_ = 8;
  EdgeInsets insets_;
  std::vector<std::shared_ptr<SimNode>> arranged_;  // also among the children
};

// Target–action as AppKit has it: the target is held weakly, and the
// control itself is the sender.
template <class Interface>
class SimControlOf : public SimViewOf<Interface> {
 public:
  explicit SimControlOf(ViewKind kind) : SimViewOf<Interface>(kind) {}
  void setTarget(std::weak_ptr<Responder> target) override { target_ = std::move(target); }
  void setAction(const std::string& selector) override { action_ = selector; }
  std::shared_ptr<Responder> target() const { return target_.lock(); }
  const std::string& action() const { return action_; }
  // Sends the action to a living target; false when nobody received it.
  bool sendAction() {
    auto keepAlive = this->shared_from_this();  // the action may drop the last owner
    auto target = target_.lock();
    if (!target || action_.empty()) return false;
    target->performAction(action_, static_cast<Object*>(static_cast<Interface*>(this)));
    return true;
  }

 private:
  std::weak_ptr<Responder> target_;
  std::string action_;
};

class SimSwitch : public SimControlOf<Switch> {
 public:
  SimSwitch() : SimControlOf(ViewKind::Switch) {}
  int state() const override { return state_; }
  void setState(int state) override { state_ = state; }

 private:
  int state_ = kControlStateValueOff;
};

// Values are clamped into [min, max] when set, as NSSlider does; a NaN
// value becomes the minimum. A NaN or reversed range is made sane at
// creation: NaN min → 0, NaN max or max < min → min.
class SimSlider : public SimControlOf<Slider> {
 public:
  SimSlider(double value, double minValue, double maxValue);
  double doubleValue() const override { return value_; }
  void setDoubleValue(double value) override;
  void setContinuous(bool continuous) override { continuous_ = continuous; }
  double minValue() const { return min_; }
  double maxValue() const { return max_; }
  bool isContinuous() const { return continuous_; }

 private:
  double value_ = 0, min_ = 0, max_ = 1;
  bool continuous_ = true;  // NSSlider's default
};

class SimPopUpButton : public SimControlOf<PopUpButton> {
 public:
  SimPopUpButton(Size size, bool pullsDown);
  // As in AppKit, an item with a title already present replaces it, and
  // the first item added to an empty pop-up becomes the selection.
  void addItemWithTitle(const std::string& title) override;
  // An index out of range selects nothing (index -1).
  void selectItemAtIndex(long index) override;
  long indexOfSelectedItem() const override { return selected_; }

  std::string text() const override;
  const std::vector<std::string>& itemTitles() const { return items_; }
  bool pullsDown() const { return pullsDown_; }

 private:
  std::vector<std::string> items_;
  long selected_ = -1;
  bool pullsDown_;
};

class SimButton : public SimControlOf<Button> {
 public:
  explicit SimButton(std::string title) : SimControlOf(ViewKind::Button), title_(std::move(title)) {}
  void setBezelStyle(int style) override { bezelStyle_ = style; }
  std::string text() const override { return title_; }
  const std::string& title() const { return title_; }
  int bezelStyle() const { return bezelStyle_; }

 private:
  std::string title_;
  int bezelStyle_ = kBezelStylePush;
};

// Walking the tree as a person reads a window: a stack's arranged views
// first, in order, then its other subviews; no deeper than kMaxViewDepth
// (a deeper tree is bad input, not a window).
constexpr int kMaxViewDepth = 200;
std::vector<std::shared_ptr<SimNode>> inOrder(const SimNode& node);
bool isRow(const SimNode& node);  // a horizontal stack
const SimTextField* firstLabel(const SimNode& node, int depth = 0);

// A length or coordinate from outside: NaN and negatives are nothing,
// and nothing is bigger than a million points.
double viewLength(double v);
double viewCoordinate(double v);

}  // namespace tl::sim
