#include "platform/sim/SimGraphics.h"

#include <algorithm>
#include <cstdio>

namespace tl::sim {

namespace {
// Images lock focus through the one graphics object of the process, as
// NSImage does through the current graphics context.
SimGraphics* gGraphics = nullptr;

// The symbols the simulated system ships, with their natural size at 13 pt.
struct KnownSymbol {
  const char* name;
  Size size;
};
constexpr KnownSymbol kSymbols[] = {
    {"chevron.left", {7, 12}},  {"chevron.right", {7, 12}}, {"wifi", {16, 12}},
    {"battery.75", {25, 12}},   {"switch.2", {16, 14}},     {"magnifyingglass", {14, 14}},
};
}  // namespace

std::shared_ptr<SimImage> SimImage::bitmap(Size size) {
  auto image = std::make_shared<SimImage>();
  image->size_ = size;
  return image;
}

std::shared_ptr<SimImage> SimImage::symbol(std::string name) {
  auto image = std::make_shared<SimImage>();
  image->size_ = {12, 12};
  for (const auto& s : kSymbols)
    if (name == s.name) image->size_ = s.size;
  image->symbolName_ = std::move(name);
  image->pointSize_ = 13;
  return image;
}

void SimImage::lockFocus() {
  focused_ = true;
  if (gGraphics) gGraphics->pushFocus(this);
}

void SimImage::unlockFocus() {
  focused_ = false;
  if (gGraphics) gGraphics->popFocus(this);
}

std::shared_ptr<Image> SimImage::withSymbolConfiguration(double pointSize, FontWeight weight) const {
  if (!isSymbol()) return nullptr;
  auto copy = std::make_shared<SimImage>(*this);
  double scale = pointSize > 0 ? pointSize / 13.0 : 1.0;
  copy->size_ = {size_.width * scale, size_.height * scale};
  copy->pointSize_ = pointSize;
  copy->weight_ = weight;
  copy->focused_ = false;
  return copy;
}

std::string SimImage::describe() const {
  char buf[160];
  if (isSymbol()) {
    const char* w = weight_ == FontWeight::Medium ? "medium" : weight_ == FontWeight::Semibold ? "semibold" : "regular";
    std::snprintf(buf, sizeof buf, "%s %gpt %s%s", symbolName_.c_str(), pointSize_, w,
                  template_ ? " template" : "");
  } else {
    std::snprintf(buf, sizeof buf, "bitmap %gx%g%s%s", size_.width, size_.height, fills_.empty() ? " blank" : " drawn",
                  template_ ? " template" : "");
  }
  return buf;
}

std::shared_ptr<Image> SimGraphics::newImage(Size size) {
  gGraphics = this;
  return SimImage::bitmap(size);
}

std::shared_ptr<Image> SimGraphics::imageWithSystemSymbolName(const std::string& name, const std::string*) {
  gGraphics = this;
  if (missing_.count(name)) return nullptr;
  bool known = std::any_of(std::begin(kSymbols), std::end(kSymbols), [&](const KnownSymbol& s) { return name == s.name; });
  if (!known) return nullptr;
  return SimImage::symbol(name);
}

int SimGraphics::currentCompositingOperation() {
  return focus_.empty() ? -1 : kCompositingOperationSourceOver;
}

void SimGraphics::fillRect(Rect rect, const std::string& colorName, int compositingOperation) {
  // Drawing without focus lands nowhere, as drawing outside any context does.
  if (focus_.empty()) return;
  focus_.back()->addFill({rect, colorName, compositingOperation});
}

void SimGraphics::setSymbolMissing(const std::string& name, bool missing) {
  if (missing)
    missing_.insert(name);
  else
    missing_.erase(name);
}

void SimGraphics::pushFocus(SimImage* image) { focus_.push_back(image); }

void SimGraphics::popFocus(SimImage* image) {
  auto it = std::find(focus_.rbegin(), focus_.rend(), image);
  if (it != focus_.rend()) focus_.erase(std::next(it).base());
}

}  // namespace tl::sim
