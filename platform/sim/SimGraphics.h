#pragma once
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/Image.h"

namespace tl::sim {

// An image as the simulated window server keeps it: either a system symbol
// (by name, with the configuration applied) or a drawn bitmap, recorded as
// the fills made while focus was locked on it.
class SimImage : public Image {
 public:
  struct Fill {
    Rect rect;
    std::string color;
    int operation;
  };

  static std::shared_ptr<SimImage> bitmap(Size size);
  static std::shared_ptr<SimImage> symbol(std::string name);

  Size size() const override { return size_; }
  void setTemplate(bool t) override { template_ = t; }
  bool isTemplate() const override { return template_; }
  void lockFocus() override;
  void unlockFocus() override;
  std::shared_ptr<Image> withSymbolConfiguration(double pointSize, FontWeight weight) const override;

  bool isSymbol() const { return !symbolName_.empty(); }
  const std::string& symbolName() const { return symbolName_; }
  double pointSize() const { return pointSize_; }
  FontWeight weight() const { return weight_; }
  bool focused() const { return focused_; }
  const std::vector<Fill>& fills() const { return fills_; }
  void addFill(Fill f) { fills_.push_back(std::move(f)); }
  // A short description for text drawings: "chevron.right 13pt medium template".
  std::string describe() const;

 private:
  Size size_;
  bool template_ = false;
  bool focused_ = false;
  std::string symbolName_;
  double pointSize_ = 0;
  FontWeight weight_ = FontWeight::Regular;
  std::vector<Fill> fills_;
};

class SimGraphics : public Graphics {
 public:
  std::shared_ptr<Image> newImage(Size size) override;
  std::shared_ptr<Image> imageWithSystemSymbolName(const std::string& name,
                                                   const std::string* accessibilityDescription) override;
  int currentCompositingOperation() override;
  void fillRect(Rect rect, const std::string& colorName, int compositingOperation) override;

  // Fault injection: the system has no symbol of this name.
  void setSymbolMissing(const std::string& name, bool missing);
  const std::set<std::string>& missingSymbols() const { return missing_; }

  // Focus stack, kept by the images themselves.
  void pushFocus(SimImage* image);
  void popFocus(SimImage* image);

 private:
  std::set<std::string> missing_;
  std::vector<SimImage*> focus_;
};

}  // namespace tl::sim
