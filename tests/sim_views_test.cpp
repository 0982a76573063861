// The simulated views and windows: target–action, the controls' AppKit
// behaviour, window life, layout and the text drawing.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/SimViews.h"

namespace tl::sim {
namespace {

using LA = LayoutAttribute;

struct Heard {
  std::string selector;
  Object* sender;
  double value;  // the slider's value when it was heard
};

class Recorder : public Responder {
 public:
  explicit Recorder(std::shared_ptr<std::vector<Heard>> log) : log_(std::move(log)) {}
  void performAction(const std::string& selector, Object* sender) override {
    auto* slider = dynamic_cast<Slider*>(sender);
    log_->push_back({selector, sender, slider ? slider->doubleValue() : NAN});
  }

 private:
  std::shared_ptr<std::vector<Heard>> log_;
};

class Divider : public CustomViewDrawing {
 public:
  bool wantsUpdateLayer() const override { return true; }
  void updateLayer(View& view) override { view.setLayerBackgroundColor({"separatorColor", 0.6}); }
};

// A small settings window: a header, then rows of "title / detail" with a
// control at the right, as the core builds them.
class SmallWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    window = std::static_pointer_cast<SimWindow>(
        v.newWindow({0, 0, 300, 200}, kWindowStyleMaskTitled | kWindowStyleMaskClosable, kBackingStoreBuffered, false));
    window->setTitle("示例 设置");
    window->setReleasedWhenClosed(false);
    window->center();
    sw = v.newSwitch();
    sw->setTarget(recorder);
    sw->setAction("flip:");
    slider = v.sliderWithValue(5, 1, 30, recorder, "slide:");
    v.activateConstraints({{slider, LA::Width, {}, LA::Width, 100}});
    popup = v.newPopUpButton({}, false);
    for (const char* t : {"⌃⌥⌘ B", "⌥⌘ H", "不使用"}) popup->addItemWithTitle(t);
    popup->setTarget(recorder);
    popup->setAction("pick:");
    v.activateConstraints({{popup, LA::Width, {}, LA::Width, 90}});
    button = v.buttonWithTitle("复位", recorder, "reset");

    auto header = v.newView();
    auto headerLabel = v.labelWithString("通用");
    headerLabel->setFont({11, FontWeight::Semibold});
    header->addSubview(headerLabel);
    v.activateConstraints({{headerLabel, LA::Leading, header, LA::Leading, 18},
                           {headerLabel, LA::Top, header, LA::Top, 10}});
    divider = v.newCustomView(std::make_shared<Divider>(), {});
    divider->setWantsLayer(true);
    v.activateConstraints({{divider, LA::Height, {}, LA::Height, 1}});

    stack = v.stackViewWithViews({header, row("开关", "说明", sw), divider, row("延时", "", slider),
                                  row("快捷键", "", popup), row("复位位置", "", button)});
    stack->setOrientation(Orientation::Vertical);
    stack->setAlignment(LA::Leading);
    stack->setSpacing(0);
    for (auto& r : stack->arrangedSubviews()) v.activateConstraints({{r, LA::Width, stack, LA::Width, 0}});
    auto root = v.newView();
    root->addSubview(stack);
    v.activateConstraints({{stack, LA::Leading, root, LA::Leading, 0},
                           {stack, LA::Trailing, root, LA::Trailing, 0},
                           {stack, LA::Top, root, LA::Top, 0}});
    window->setContentView(root);
  }

  std::shared_ptr<View> row(const std::string& title, const std::string& detail, std::shared_ptr<View> accessory) {
    auto column = v.stackViewWithViews({v.labelWithString(title), v.labelWithString(detail)});
    column->setOrientation(Orientation::Vertical);
    column->setAlignment(LA::Leading);
    auto spacer = v.newView();
    spacer->setContentHuggingPriority(1, Orientation::Horizontal);
    auto r = v.stackViewWithViews({column, spacer, std::move(accessory)});
    r->setSpacing(12);
    r->setEdgeInsets({8, 18, 8, 18});
    return r;
  }

  static SimNode& node(const std::shared_ptr<View>& view) { return dynamic_cast<SimNode&>(*view); }

  SimViews v;
  std::shared_ptr<std::vector<Heard>> heard = std::make_shared<std::vector<Heard>>();
  std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>(heard);
  std::shared_ptr<SimWindow> window;
  std::shared_ptr<StackView> stack;
  std::shared_ptr<View> divider;
  std::shared_ptr<Switch> sw;
  std::shared_ptr<Slider> slider;
  std::shared_ptr<PopUpButton> popup;
  std::shared_ptr<Button> button;
};

TEST_F(SmallWindow, ControlsSendTheirActionWithThemselvesAsSenderToALivingTarget) {
  ASSERT_TRUE(v.flipSwitch(*window, "开关"));
  EXPECT_EQ(sw->state(), kControlStateValueOn);
  ASSERT_TRUE(v.pressButton(*window, "复位"));
  ASSERT_TRUE(v.pickPopUpItem(*window, "快捷键", "不使用"));
  ASSERT_EQ(heard->size(), 3u);
  EXPECT_EQ((*heard)[0].selector, "flip:");
  EXPECT_EQ((*heard)[0].sender, static_cast<Object*>(sw.get()));
  EXPECT_EQ((*heard)[1].sender, static_cast<Object*>(button.get()));
  EXPECT_EQ((*heard)[2].sender, static_cast<Object*>(popup.get()));
  EXPECT_EQ(popup->indexOfSelectedItem(), 2);

  // Unknown rows, items and buttons are not found; nothing is sent.
  EXPECT_FALSE(v.flipSwitch(*window, "延时"));
  EXPECT_FALSE(v.pickPopUpItem(*window, "快捷键", "F13"));
  EXPECT_FALSE(v.pickPopUpItem(*window, "快捷键", 3));
  EXPECT_FALSE(v.pressButton(*window, "取消"));
  EXPECT_EQ(heard->size(), 3u);

  // The target is weak: once its owner lets go, the switch still flips and
  // nobody hears of it.
  recorder.reset();
  ASSERT_TRUE(v.flipSwitch(*window, "开关"));
  EXPECT_EQ(sw->state(), kControlStateValueOff);
  EXPECT_TRUE(v.pressButton(*window, "复位位置"));  // by its row's title
  EXPECT_EQ(heard->size(), 3u);
}

TEST_F(SmallWindow, SliderClampsAndReportsADragStepByStep) {
  slider->setDoubleValue(31);
  EXPECT_EQ(slider->doubleValue(), 30);
  slider->setDoubleValue(-4);
  EXPECT_EQ(slider->doubleValue(), 1);
  slider->setDoubleValue(NAN);
  EXPECT_EQ(slider->doubleValue(), 1);
  EXPECT_EQ(v.sliderWithValue(99, 1, 30, {}, "")->doubleValue(), 30);
  auto reversed = std::dynamic_pointer_cast<SimSlider>(v.sliderWithValue(5, 10, NAN, {}, ""));
  EXPECT_EQ(reversed->maxValue(), 10);
  EXPECT_EQ(reversed->doubleValue(), 10);

  slider->setDoubleValue(5.2);
  ASSERT_TRUE(v.dragSlider(*window, "延时", 8.3));
  std::vector<double> seen;
  for (const auto& h : *heard) seen.push_back(h.value);
  EXPECT_EQ(seen, (std::vector<double>{5.5, 6, 6.5, 7, 7.5, 8, 8.3}));
  EXPECT_EQ((*heard)[0].sender, static_cast<Object*>(slider.get()));

  heard->clear();
  ASSERT_TRUE(v.dragSlider(*window, "延时", -50));  // past the end: stops at the minimum
  EXPECT_EQ(heard->size(), 15u);
  EXPECT_EQ(heard->back().value, 1);

  heard->clear();
  slider->setContinuous(false);
  ASSERT_TRUE(v.dragSlider(*window, "延时", 20));
  ASSERT_EQ(heard->size(), 1u);
  EXPECT_EQ(heard->back().value, 20);
  EXPECT_FALSE(v.dragSlider(*window, "延时", NAN));
  EXPECT_EQ(slider->doubleValue(), 20);
}

TEST_F(SmallWindow, PopUpSelectsNothingOutOfRangeAndReplacesATitleAddedAgain) {
  EXPECT_EQ(popup->indexOfSelectedItem(), 0);  // the first item added
  popup->selectItemAtIndex(1);
  popup->selectItemAtIndex(7);
  EXPECT_EQ(popup->indexOfSelectedItem(), -1);
  EXPECT_NE(renderText(*window).find("[pop-up: ▾]"), std::string::npos);
  popup->selectItemAtIndex(-2);
  EXPECT_EQ(popup->indexOfSelectedItem(), -1);
  ASSERT_TRUE(v.pickPopUpItem(*window, "快捷键", "1"));  // by index, in digits
  EXPECT_EQ(popup->indexOfSelectedItem(), 1);
  popup->addItemWithTitle("⌃⌥⌘ B");
  auto& p = dynamic_cast<SimPopUpButton&>(*popup);
  EXPECT_EQ(p.itemTitles(), (std::vector<std::string>{"⌥⌘ H", "不使用", "⌃⌥⌘ B"}));
  EXPECT_EQ(p.text(), "⌥⌘ H");
}

TEST_F(SmallWindow, DrawsAsText) {
  sw->setState(kControlStateValueOn);
  EXPECT_EQ(renderText(*window),
            "window: 示例 设置\n"
            "通用\n"
            "  开关 — 说明  [开]\n"
            "  ─────────────────────────\n"
            "  延时  [slider 5.0 (1–30)]\n"
            "  快捷键  [pop-up: ⌃⌥⌘ B ▾]\n"
            "  复位位置  [button 复位]\n");
}

TEST_F(SmallWindow, LaysRowsOutAsFlexibleBoxes) {
  window->layout();
  // The accessory sits against the right inset, the spacer takes the rest.
  for (const auto& control : {std::static_pointer_cast<View>(sw), std::static_pointer_cast<View>(slider),
                              std::static_pointer_cast<View>(popup), std::static_pointer_cast<View>(button)}) {
    Rect f = node(control).frame();
    EXPECT_NEAR(f.x + f.width, 300 - 18, 1e-9) << kindName(node(control).kind());
  }
  EXPECT_EQ(node(slider).frame().width, 100);
  EXPECT_EQ(node(popup).frame().width, 90);
  Rect sf = node(sw).frame();
  EXPECT_EQ(sf.width, 38);
  EXPECT_EQ(sf.height, 22);
  // Rows span the stack and follow one another down the window.
  auto rows = stack->arrangedSubviews();
  EXPECT_EQ(node(rows[1]).frame().width, 300);
  for (size_t i = 1; i < rows.size(); ++i)
    EXPECT_EQ(node(rows[i]).frame().y, node(rows[i - 1]).frame().y + node(rows[i - 1]).frame().height);
  // The switch is centred in its row; the header label keeps its offsets.
  Rect r1 = node(rows[1]).frame();
  EXPECT_NEAR(sf.y + sf.height / 2, r1.y + r1.height / 2, 1e-9);
  Rect hl = node(rows[0]).children()[0]->frame();
  EXPECT_EQ(hl.x, 18);
  EXPECT_EQ(hl.y, 10);
  EXPECT_EQ(hl.width, 22);  // two wide characters at 11 pt

  // Laying out displays the divider through its layer, once per pass.
  auto& d = dynamic_cast<SimCustomView&>(*divider);
  int before = d.layerUpdates();
  window->layout();
  EXPECT_EQ(d.layerUpdates(), before + 1);
  EXPECT_EQ(d.layerBackgroundColor(), (Color{"separatorColor", 0.6}));

  // A detail too long for its row gives way and truncates; the controls keep
  // their place.
  auto detail = std::dynamic_pointer_cast<TextField>(node(rows[1]).children()[0]->children()[1]->viewPtr());
  detail->setLineBreakMode(kLineBreakByTruncatingTail);
  detail->setStringValue("一段很长很长很长很长很长很长很长很长很长很长的说明");
  std::string text = renderText(*window);
  EXPECT_NE(text.find("  开关 — 一段很长很长很长很长很长很长…  [关]\n"), std::string::npos) << text;
  EXPECT_NEAR(node(sw).frame().x + 38, 282, 1e-9);
}

TEST_F(SmallWindow, WindowShowsClosesAndComesBack) {
  EXPECT_EQ(window->styleMask(), 3u);
  EXPECT_FALSE(window->isResizable());
  EXPECT_FALSE(window->isMiniaturizable());
  // Centred a bit above the middle of the 1512 × 982 screen, title bar included.
  EXPECT_EQ(window->frame(), (Rect{606, (982 - 228) * 0.75, 300, 228}));
  EXPECT_EQ(window->screen(), v.screen());
  EXPECT_TRUE(v.visibleWindows().empty());

  window->makeKeyAndOrderFront();
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->isKeyWindow());
  auto other = std::static_pointer_cast<SimWindow>(v.newWindow({10, 10, 100, 100}, 0, kBackingStoreBuffered, false));
  other->makeKeyAndOrderFront();
  EXPECT_EQ(other->frame().height, 100);  // untitled: no title bar
  EXPECT_FALSE(window->isKeyWindow());
  EXPECT_EQ(v.visibleWindows(), (std::vector<std::shared_ptr<SimWindow>>{window, other}));

  window->close();
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(v.visibleWindows(), (std::vector<std::shared_ptr<SimWindow>>{other}));
  window->makeKeyAndOrderFront();
  EXPECT_EQ(v.visibleWindows().back(), window);
  EXPECT_EQ(v.keyWindow(), window);
  EXPECT_FALSE(window->isReleased());

  // A window released when closed is gone for good.
  other->close();
  EXPECT_TRUE(other->isReleased());
  other->makeKeyAndOrderFront();
  EXPECT_FALSE(other->isVisible());
  EXPECT_EQ(v.windows(), (std::vector<std::shared_ptr<SimWindow>>{window}));

  // Off every screen, a window has no screen.
  auto far = v.newWindow({5000, 5000, 10, 10}, 1, kBackingStoreBuffered, false);
  EXPECT_EQ(far->screen(), nullptr);
}

TEST(SimViewsTree, RefusesCyclesAndMovesAViewBetweenParents) {
  SimViews v;
  auto a = v.stackViewWithViews({});
  auto b = v.newView();
  a->addArrangedSubview(b);
  b->addSubview(a);  // would put a inside itself
  a->addSubview(a);
  EXPECT_TRUE(a->subviews().size() == 1 && b->subviews().empty());
  auto c = v.newView();
  c->addSubview(b);  // moved: no longer arranged in a
  EXPECT_TRUE(a->subviews().empty() && a->arrangedSubviews().empty());
  EXPECT_EQ(c->subviews().size(), 1u);
  // Bad sizes still lay out and draw.
  auto w = std::static_pointer_cast<SimWindow>(v.newWindow({NAN, 0, -5, INFINITY}, 1, 2, false));
  auto label = v.wrappingLabelWithString("x\xff\xfe y");
  w->setContentView(label);
  // Bytes that are not UTF-8 are drawn as U+FFFD, one each.
  EXPECT_EQ(renderText(*w), "window:\n  x\n  \uFFFD\n  \uFFFD\n  y\n");
}

}  // namespace
}  // namespace tl::sim
