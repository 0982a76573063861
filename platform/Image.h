#pragma once
#include <memory>
#include <string>

#include "platform/Geometry.h"

namespace tl {

enum class FontWeight { Regular, Medium, Semibold };

constexpr int kCompositingOperationSourceOver = 2;

// A bitmap or symbol image. Drawing happens between lockFocus and
// unlockFocus, through Graphics.
class Image {
 public:
  virtual ~Image() = default;
  virtual Size size() const = 0;
  virtual void setTemplate(bool isTemplate) = 0;
  virtual bool isTemplate() const = 0;
  virtual void lockFocus() = 0;
  virtual void unlockFocus() = 0;
  // A copy of a symbol image with a symbol configuration applied; absent if
  // the configuration cannot be applied.
  virtual std::shared_ptr<Image> withSymbolConfiguration(double pointSize, FontWeight weight) const = 0;
};

class Graphics {
 public:
  virtual ~Graphics() = default;
  virtual std::shared_ptr<Image> newImage(Size size) = 0;
  // Absent when the system has no symbol of that name.
  virtual std::shared_ptr<Image> imageWithSystemSymbolName(const std::string& name,
                                                           const std::string* accessibilityDescription) = 0;
  // The compositing operation of the current graphics context, or -1 when
  // there is no current context.
  virtual int currentCompositingOperation() = 0;
  // Fills a rectangle of the focused image with a named system colour.
  virtual void fillRect(Rect rect, const std::string& colorName, int compositingOperation) = 0;
};

}  // namespace tl
