#include "platform/macos/MacBridge.h"

#include <cmath>

namespace tl::mac {

namespace {

class MacImage final : public Image {
 public:
  MacImage(NSImage* image, bool isSymbol) : image_(image), isSymbol_(isSymbol) {}
  ~MacImage() override {
    while (focusDepth_ > 0) unlockFocus();
  }

  Size size() const override {
    NSSize s = image_.size;
    return {s.width, s.height};
  }
  // "template" is a C++ keyword: no dot syntax here.
  void setTemplate(bool isTemplate) override { [image_ setTemplate:isTemplate ? YES : NO]; }
  bool isTemplate() const override { return [image_ isTemplate]; }

// lockFocus is deprecated from macOS 14 on; on 13 it is the way to draw
// into an image.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
  void lockFocus() override {
    [image_ lockFocus];
    ++focusDepth_;
  }
  // AppKit raises on an unlock without a lock.
  void unlockFocus() override {
    if (focusDepth_ == 0) return;
    --focusDepth_;
    [image_ unlockFocus];
  }
#pragma clang diagnostic pop

  std::shared_ptr<Image> withSymbolConfiguration(double pointSize, FontWeight weight) const override {
    if (!isSymbol_ || !std::isfinite(pointSize) || pointSize <= 0) return nullptr;
    NSImageSymbolConfiguration* config =
        [NSImageSymbolConfiguration configurationWithPointSize:static_cast<CGFloat>(pointSize) weight:toNS(weight)];
    NSImage* configured = [image_ imageWithSymbolConfiguration:config];
    if (!configured) return nullptr;
    return std::make_shared<MacImage>(configured, true);
  }

  NSImage* ns() const { return image_; }

 private:
  NSImage* image_;
  bool isSymbol_;
  int focusDepth_ = 0;
};

class MacGraphics final : public Graphics {
 public:
  std::shared_ptr<Image> newImage(Size size) override {
    NSSize s = NSMakeSize(std::isfinite(size.width) && size.width > 0 ? size.width : 0,
                          std::isfinite(size.height) && size.height > 0 ? size.height : 0);
    return std::make_shared<MacImage>([[NSImage alloc] initWithSize:s], false);
  }

  std::shared_ptr<Image> imageWithSystemSymbolName(const std::string& name,
                                                   const std::string* accessibilityDescription) override {
    NSImage* image = [NSImage imageWithSystemSymbolName:toNS(name)
                               accessibilityDescription:accessibilityDescription ? toNS(*accessibilityDescription) : nil];
    if (!image) return nullptr;
    return std::make_shared<MacImage>(image, true);
  }

  int currentCompositingOperation() override {
    NSGraphicsContext* context = [NSGraphicsContext currentContext];
    return context ? static_cast<int>(context.compositingOperation) : -1;
  }

  void fillRect(Rect rect, const std::string& colorName, int compositingOperation) override {
    // Without a focused image or view there is nothing to draw into.
    NSGraphicsContext* context = [NSGraphicsContext currentContext];
    NSColor* color = systemColor({colorName, 1.0});
    if (!context || !color) return;
    // NSCompositingOperationClear (0) to NSCompositingOperationLuminosity (28).
    NSCompositingOperation op = compositingOperation >= 0 && compositingOperation <= 28
                                    ? static_cast<NSCompositingOperation>(compositingOperation)
                                    : NSCompositingOperationSourceOver;
    [context saveGraphicsState];
    [color set];
    NSRectFillUsingOperation(toNS(rect), op);
    [context restoreGraphicsState];
  }
};

}  // namespace

NSImage* nsImage(const std::shared_ptr<Image>& image) {
  auto* mac = dynamic_cast<MacImage*>(image.get());
  return mac ? mac->ns() : nil;
}

std::shared_ptr<Image> wrapImage(NSImage* image, bool isSymbol) {
  if (!image) return nullptr;
  return std::make_shared<MacImage>(image, isSymbol);
}

std::unique_ptr<Graphics> makeGraphics() { return std::make_unique<MacGraphics>(); }

}  // namespace tl::mac
