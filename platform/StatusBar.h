#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Event.h"
#include "platform/Geometry.h"
#include "platform/Image.h"
#include "platform/Menu.h"
#include "platform/Object.h"

namespace tl {

constexpr double kVariableStatusItemLength = -1.0;
constexpr int kImageOnly = 1;
constexpr int kImageScaleProportionallyDown = 0;

constexpr unsigned kTrackingMouseEnteredAndExited = 0x01;
constexpr unsigned kTrackingActiveAlways = 0x80;
constexpr unsigned kTrackingInVisibleRect = 0x200;

class Screen {
 public:
  virtual ~Screen() = default;
  virtual Rect frame() const = 0;
};

class Window : public Object {
 public:
  virtual Rect frame() const = 0;
  virtual std::shared_ptr<Screen> screen() const = 0;
  virtual bool isVisible() const = 0;
};

// Whoever owns a tracking area hears the pointer entering and leaving it.
class TrackingOwner {
 public:
  virtual ~TrackingOwner() = default;
  virtual void mouseEntered(const Event& event) = 0;
  virtual void mouseExited(const Event& event) = 0;
};

// Plain data, as NSTrackingArea is to its view; the owner is not retained.
struct TrackingArea {
  Rect rect;
  unsigned options = 0;
  std::weak_ptr<TrackingOwner> owner;
};

class StatusBarButton : public Object {
 public:
  virtual void setImage(std::shared_ptr<Image> image) = 0;
  virtual std::shared_ptr<Image> image() const = 0;
  virtual void setImagePosition(int position) = 0;
  virtual void setImageScaling(int scaling) = 0;
  virtual void setTarget(std::weak_ptr<Responder> target) = 0;
  virtual void setAction(const std::string& selector) = 0;
  virtual void sendActionOn(uint64_t mask) = 0;
  virtual void setToolTip(const std::string& toolTip) = 0;
  virtual Rect bounds() const = 0;
  virtual void addTrackingArea(std::shared_ptr<TrackingArea> area) = 0;
  // With a menu set on the item, shows it and returns once it has closed.
  virtual void performClick() = 0;
  virtual std::shared_ptr<Window> window() const = 0;
};

class StatusItem : public Object {
 public:
  virtual std::shared_ptr<StatusBarButton> button() const = 0;
  virtual double length() const = 0;
  virtual void setLength(double length) = 0;
  virtual void setMenu(std::shared_ptr<Menu> menu) = 0;
};

class StatusBar {
 public:
  virtual ~StatusBar() = default;
  virtual std::shared_ptr<StatusItem> statusItemWithLength(double length) = 0;
  virtual void removeStatusItem(const std::shared_ptr<StatusItem>& item) = 0;
  virtual double thickness() const = 0;
};

}  // namespace tl
