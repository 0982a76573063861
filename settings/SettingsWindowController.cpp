#include "settings/SettingsWindowController.h"

#include <cmath>

#include "app/AppDelegate.h"
#include "app/Constants.h"
#include "app/NumberText.h"
#include "hotkey/HotKeyCenter.h"
#include "hotkey/HotKeyPreset.h"

namespace tl {

namespace {
using LA = LayoutAttribute;

LayoutConstraint pin(const std::shared_ptr<View>& a, LA attr, const std::shared_ptr<View>& b, LA toAttr, double c = 0) {
  return {a, attr, b, toAttr, c};
}

LayoutConstraint fixed(const std::shared_ptr<View>& a, LA attr, double c) { return {a, attr, {}, attr, c}; }

constexpr double kContentWidth = 460, kContentHeight = 620;

const char* kUsageNote =
    "使用方法\n1. 按住 ⌘ 键，用鼠标拖动菜单栏图标，把想隐藏的图标都拖到「细竖线」的左边。\n"
    "2. 点一下最右边的箭头（或按全局快捷键），左侧图标会被推出屏幕 → 隐藏。\n3. 再点一次即可全部还原。\n\n"
    "注意：系统自带的 Wi‑Fi、电池、时钟、控制中心无法被隐藏，这是 macOS 的限制。";
}  // namespace

std::string delayLabelText(double seconds) { return wholeNumberText(seconds) + " 秒"; }

std::shared_ptr<View> DividerView::make() {
  auto view = platform().views().newCustomView(std::make_shared<DividerView>(), Rect{});
  view->setWantsLayer(true);
  view->setTranslatesAutoresizingMaskIntoConstraints(false);
  platform().views().activateConstraints({fixed(view, LA::Height, 1.0)});
  return view;
}

void DividerView::updateLayer(View& view) {
  if (view.hasLayer()) view.setLayerBackgroundColor({"separatorColor", 0.6});
}

SettingsWindowController::SettingsWindowController() {
  window_ = platform().views().newWindow({0, 0, kContentWidth, kContentHeight}, kWindowStyleMaskTitled | kWindowStyleMaskClosable,
                                         kBackingStoreBuffered, false);
  if (window_) {
    window_->setTitle(kAppDisplayName + " 设置");
    window_->setReleasedWhenClosed(false);
    window_->center();
  }
}

std::shared_ptr<SettingsWindowController> SettingsWindowController::create() {
  // Built right after construction: the controls hold their target weakly,
  // which needs the controller already owned.
  auto controller = std::make_shared<SettingsWindowController>();
  controller->buildUI();
  return controller;
}

void SettingsWindowController::present() {
  refreshFromDefaults();
  platform().application().activateIgnoringOtherApps(true);
  if (window_) window_->makeKeyAndOrderFront();
}

std::shared_ptr<View> SettingsWindowController::sectionHeader(const std::string& title) {
  Views& v = platform().views();
  auto container = v.newView();
  auto label = v.labelWithString(title);
  label->setFont({11, FontWeight::Semibold});
  label->setTextColor({"secondaryLabelColor"});
  label->setTranslatesAutoresizingMaskIntoConstraints(false);
  container->addSubview(label);
  v.activateConstraints({pin(label, LA::Leading, container, LA::Leading, 18), pin(label, LA::Top, container, LA::Top, 16),
                         pin(label, LA::Bottom, container, LA::Bottom, -6)});
  return container;
}

std::shared_ptr<View> SettingsWindowController::makeRow(const std::string& title, const std::string& detail,
                                                        std::shared_ptr<View> accessory) {
  Views& v = platform().views();
  auto titleLabel = v.labelWithString(title);
  titleLabel->setFont({13});
  titleLabel->setTextColor({"labelColor"});
  auto column = v.stackViewWithViews({});
  column->setOrientation(Orientation::Vertical);
  column->setAlignment(LA::Leading);
  column->setSpacing(2);
  auto detailLabel = v.labelWithString(detail);
  detailLabel->setFont({11});
  detailLabel->setTextColor({"secondaryLabelColor"});
  detailLabel->setLineBreakMode(kLineBreakByTruncatingTail);
  column->addArrangedSubview(titleLabel);
  column->addArrangedSubview(detailLabel);
  auto spacer = v.newView();
  spacer->setContentHuggingPriority(1, Orientation::Horizontal);
  auto row = v.stackViewWithViews({column, spacer, std::move(accessory)});
  row->setOrientation(Orientation::Horizontal);
  row->setAlignment(LA::CenterY);
  row->setSpacing(12);
  row->setEdgeInsets({11, 18, 11, 18});
  return row;
}

std::shared_ptr<View> SettingsWindowController::makeSwitchRow(const std::string& title, const std::string& detail,
                                                              PrefKey key, const std::string& action) {
  auto sw = platform().views().newSwitch();
  sw->setTarget(weak_from_this());
  sw->setAction(action);
  sw->setState(platform().standardUserDefaults().boolForKey(rawValue(key)) ? kControlStateValueOn : kControlStateValueOff);
  switchRefs_[key] = sw;
  return makeRow(title, detail, sw);
}

std::shared_ptr<View> SettingsWindowController::delayAccessory() {
  Views& v = platform().views();
  double stored = platform().standardUserDefaults().doubleForKey(rawValue(PrefKey::autoCollapseDelay));
  auto slider = v.sliderWithValue(stored, 1.0, 30.0, weak_from_this(), "delayChanged:");
  slider->setContinuous(true);
  slider->setTranslatesAutoresizingMaskIntoConstraints(false);
  v.activateConstraints({fixed(slider, LA::Width, 150)});
  delaySlider_ = slider;
  auto label = v.labelWithString(delayLabelText(slider->doubleValue()));
  label->setFont({12, FontWeight::Regular, true});
  label->setTextColor({"secondaryLabelColor"});
  label->setAlignment(kTextAlignmentRight);
  label->setTranslatesAutoresizingMaskIntoConstraints(false);
  v.activateConstraints({fixed(label, LA::Width, 42)});
  delayLabel_ = label;
  auto stack = v.stackViewWithViews({slider, label});
  stack->setOrientation(Orientation::Horizontal);
  stack->setSpacing(10);
  stack->setAlignment(LA::CenterY);
  return stack;
}

std::shared_ptr<View> SettingsWindowController::hotKeyAccessory() {
  Views& v = platform().views();
  auto popup = v.newPopUpButton({}, false);
  for (HotKeyPreset p : kAllHotKeyPresets) popup->addItemWithTitle(display(p));
  popup->selectItemAtIndex(rawValue(HotKeyPresets::current()));
  popup->setTarget(weak_from_this());
  popup->setAction("hotKeyChanged:");
  popup->setTranslatesAutoresizingMaskIntoConstraints(false);
  v.activateConstraints({fixed(popup, LA::Width, 130)});
  hotKeyPopup_ = popup;
  return popup;
}

std::shared_ptr<View> SettingsWindowController::usageNote() {
  Views& v = platform().views();
  auto label = v.wrappingLabelWithString(kUsageNote);
  label->setFont({11});
  label->setTextColor({"secondaryLabelColor"});
  label->setTranslatesAutoresizingMaskIntoConstraints(false);
  auto container = v.newView();
  container->addSubview(label);
  v.activateConstraints({pin(label, LA::Leading, container, LA::Leading, 18),
                         pin(label, LA::Trailing, container, LA::Trailing, -18),
                         pin(label, LA::Top, container, LA::Top, 14), pin(label, LA::Bottom, container, LA::Bottom, -18)});
  return container;
}

void SettingsWindowController::buildUI() {
  if (!window_) return;
  Views& v = platform().views();
  auto root = v.newView();
  root->setWantsLayer(true);
  if (root->hasLayer()) root->setLayerBackgroundColor({"windowBackgroundColor"});

  auto stack = v.stackViewWithViews({});
  stack->setOrientation(Orientation::Vertical);
  stack->setAlignment(LA::Leading);
  stack->setSpacing(0);
  stack->setTranslatesAutoresizingMaskIntoConstraints(false);
  stack->setEdgeInsets({0, 0, 0, 0});

  const std::string sw = "prefSwitchChanged:";
  auto button = v.buttonWithTitle("复位", weak_from_this(), "resetPositionTapped");
  button->setBezelStyle(kBezelStylePush);
  std::shared_ptr<View> rows[] = {
      sectionHeader("通用"),
      makeSwitchRow("鼠标悬停时自动展开", "光标移到箭头上自动展开被隐藏的图标", PrefKey::hoverExpand, sw),
      DividerView::make(),
      makeSwitchRow("延时自动收起", "鼠标移开后过一段时间自动收起", PrefKey::autoCollapse, sw),
      DividerView::make(),
      makeRow("收起延时", "鼠标离开后多久自动收起", delayAccessory()),
      DividerView::make(),
      makeSwitchRow("启动时自动收起", "程序启动后立刻进入收起状态", PrefKey::startCollapsed, sw),
      sectionHeader("外观"),
      makeSwitchRow("显示分隔线", "在菜单栏显示一条细竖线，作为隐藏区与显示区的分界（关闭后不易找到拖放位置）",
                    PrefKey::showSeparator, sw),
      sectionHeader("快捷键"),
      makeRow("全局快捷键", "任意界面下都能切换显示/隐藏", hotKeyAccessory()),
      DividerView::make(),
      makeRow("重新放置到菜单栏最右侧", "箭头被拖走后可用它复位", button),
      sectionHeader("启动"),
      makeSwitchRow("开机自动启动", "通过登录项在下次登录时自动运行", PrefKey::launchAtLogin, sw),
      DividerView::make(),
      usageNote(),
  };
  for (auto& row : rows) stack->addArrangedSubview(row);

  std::vector<LayoutConstraint> widths;
  for (auto& view : stack->arrangedSubviews()) widths.push_back(pin(view, LA::Width, stack, LA::Width));
  v.activateConstraints(widths);
  root->addSubview(stack);
  v.activateConstraints({pin(stack, LA::Leading, root, LA::Leading), pin(stack, LA::Trailing, root, LA::Trailing),
                         pin(stack, LA::Top, root, LA::Top)});
  window_->setContentView(root);
  // With the system's font sizes the rows and the note need more than
  // 620 pt, and a window that does not scroll would cut off the note it is
  // there to show: the content is as tall as it needs at its width.
  Size fitting = root->fittingSize();
  if (fitting.height > kContentHeight) window_->setContentSize({kContentWidth, fitting.height});
}

void SettingsWindowController::performAction(const std::string& selector, Object* sender) {
  if (selector == "prefSwitchChanged:") {
    if (auto* s = dynamic_cast<Switch*>(sender)) prefSwitchChanged(s);
  } else if (selector == "delayChanged:") {
    if (auto* s = dynamic_cast<Slider*>(sender)) delayChanged(s);
  } else if (selector == "hotKeyChanged:") {
    if (auto* p = dynamic_cast<PopUpButton*>(sender)) hotKeyChanged(p);
  } else if (selector == "resetPositionTapped") {
    resetPositionTapped();
  }
}

void SettingsWindowController::prefSwitchChanged(Switch* sender) {
  std::optional<PrefKey> key;
  for (auto& [k, s] : switchRefs_)
    if (s.get() == sender) key = k;
  if (!key) return;
  bool on = sender->state() == kControlStateValueOn;
  platform().standardUserDefaults().setBool(rawValue(*key), on);
  auto delegate = AppDelegate::shared;
  if (*key == PrefKey::launchAtLogin && delegate) delegate->setLaunchAtLogin(sender->state() == kControlStateValueOn);
  if (delegate) delegate->applyPrefs();
}

void SettingsWindowController::delayChanged(Slider* sender) {
  // Halves away from zero; the knob itself keeps following the pointer.
  double whole = std::round(sender->doubleValue());
  platform().standardUserDefaults().setDouble(rawValue(PrefKey::autoCollapseDelay), whole);
  if (delayLabel_) delayLabel_->setStringValue(delayLabelText(whole));
}

void SettingsWindowController::hotKeyChanged(PopUpButton* sender) {
  platform().standardUserDefaults().setInteger(rawValue(PrefKey::hotKeyPreset), sender->indexOfSelectedItem());
  HotKeyCenter::shared()->apply(HotKeyPresets::current());
}

void SettingsWindowController::resetPositionTapped() {
  if (auto delegate = AppDelegate::shared) delegate->rebuildStatusItems();
}

void SettingsWindowController::refreshFromDefaults() {
  UserDefaults& defaults = platform().standardUserDefaults();
  for (auto& [key, sw] : switchRefs_) sw->setState(defaults.boolForKey(rawValue(key)) ? kControlStateValueOn : kControlStateValueOff);
  double d = defaults.doubleForKey(rawValue(PrefKey::autoCollapseDelay));
  if (delaySlider_) delaySlider_->setDoubleValue(d);
  if (delayLabel_) delayLabel_->setStringValue(delayLabelText(d));
  if (hotKeyPopup_) hotKeyPopup_->selectItemAtIndex(rawValue(HotKeyPresets::current()));
}

}  // namespace tl
