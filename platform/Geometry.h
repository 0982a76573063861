#pragma once

namespace tl {

struct Point {
  double x = 0, y = 0;
};

struct Size {
  double width = 0, height = 0;
};

// Rectangles are in points, origin bottom-left, as CoreGraphics has them.
struct Rect {
  double x = 0, y = 0, width = 0, height = 0;
  bool contains(Point p) const { return p.x >= x && p.x < x + width && p.y >= y && p.y < y + height; }
  bool operator==(const Rect&) const = default;
};

inline double CGRectGetMinX(const Rect& r) { return r.width < 0 ? r.x + r.width : r.x; }
inline double CGRectGetMaxX(const Rect& r) { return r.width < 0 ? r.x : r.x + r.width; }
inline double CGRectGetMinY(const Rect& r) { return r.height < 0 ? r.y + r.height : r.y; }
inline double CGRectGetMaxY(const Rect& r) { return r.height < 0 ? r.y : r.y + r.height; }
inline double CGRectGetWidth(const Rect& r) { return r.width < 0 ? -r.width : r.width; }
inline double CGRectGetHeight(const Rect& r) { return r.height < 0 ? -r.height : r.height; }

}  // namespace tl
