#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/Alert.h"
#include "platform/sim/SimApplication.h"
#include "platform/sim/SimRunLoop.h"

namespace tl::sim {

class SimAlert : public Alert {
 public:
  SimAlert(SimRunLoop& loop, class SimAlerts& owner) : loop_(loop), owner_(owner) {}
  void setMessageText(const std::string& text) override { message = text; }
  void setInformativeText(const std::string& text) override { informative = text; }
  void addButtonWithTitle(const std::string& title) override { buttons.push_back(title); }
  long runModal() override;

  std::string message, informative;
  std::vector<std::string> buttons;
  long result = 0;

 private:
  SimRunLoop& loop_;
  SimAlerts& owner_;
};

// Alerts run modally in a nested loop until a person presses a button.
class SimAlerts : public Alerts {
 public:
  explicit SimAlerts(SimRunLoop& loop) : loop_(loop) {}
  std::unique_ptr<Alert> newAlert() override { return std::make_unique<SimAlert>(loop_, *this); }

  SimAlert* openAlert() const { return open_.empty() ? nullptr : open_.back(); }
  bool press(const std::string& title);
  int shownCount() const { return shown_; }

 private:
  friend class SimAlert;
  SimRunLoop& loop_;
  std::vector<SimAlert*> open_;
  int shown_ = 0;
};

}  // namespace tl::sim
