#pragma once
#include <memory>
#include <string>

namespace tl {

constexpr long kAlertFirstButtonReturn = 1000;
constexpr long kAlertSecondButtonReturn = 1001;

class Alert {
 public:
  virtual ~Alert() = default;
  virtual void setMessageText(const std::string& text) = 0;
  virtual void setInformativeText(const std::string& text) = 0;
  virtual void addButtonWithTitle(const std::string& title) = 0;
  // Blocks in a modal loop until a button is pressed: 1000 for the first.
  virtual long runModal() = 0;
};

class Alerts {
 public:
  virtual ~Alerts() = default;
  virtual std::unique_ptr<Alert> newAlert() = 0;
};

}  // namespace tl
