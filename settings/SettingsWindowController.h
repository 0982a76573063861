#pragma once
#include <memory>
#include <string>
#include <unordered_map>

#include "app/Prefs.h"
#include "platform/Views.h"

namespace tl {

// A one-point horizontal rule between rows of the settings window.
class DividerView : public CustomViewDrawing {
 public:
  static std::shared_ptr<View> make();
  bool wantsUpdateLayer() const override { return true; }
  void updateLayer(View& view) override;
};

// The one settings window, built in code once and shown again on every
// opening.
class SettingsWindowController : public Responder, public std::enable_shared_from_this<SettingsWindowController> {
 public:
  // Makes the window and builds every control; use create().
  SettingsWindowController();
  static std::shared_ptr<SettingsWindowController> create();

  void present();
  void refreshFromDefaults();

  void performAction(const std::string& selector, Object* sender) override;
  void prefSwitchChanged(Switch* sender);
  void delayChanged(Slider* sender);
  void hotKeyChanged(PopUpButton* sender);
  void resetPositionTapped();

  const std::shared_ptr<AppWindow>& window() const { return window_; }
  const std::unordered_map<PrefKey, std::shared_ptr<Switch>>& switchRefs() const { return switchRefs_; }

 private:
  void buildUI();
  std::shared_ptr<View> sectionHeader(const std::string& title);
  std::shared_ptr<View> makeRow(const std::string& title, const std::string& detail, std::shared_ptr<View> accessory);
  std::shared_ptr<View> makeSwitchRow(const std::string& title, const std::string& detail, PrefKey key,
                                      const std::string& action);
  std::shared_ptr<View> delayAccessory();
  std::shared_ptr<View> hotKeyAccessory();
  std::shared_ptr<View> usageNote();

  std::unordered_map<PrefKey, std::shared_ptr<Switch>> switchRefs_;
  std::shared_ptr<Slider> delaySlider_;
  std::shared_ptr<TextField> delayLabel_;
  std::shared_ptr<PopUpButton> hotKeyPopup_;
  std::shared_ptr<AppWindow> window_;
};

// The label beside the delay slider: the seconds with the fraction dropped.
std::string delayLabelText(double seconds);

}  // namespace tl
