#include "app/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace tl {

namespace {
const char* nonFinite(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  return nullptr;
}
}  // namespace

std::string decimalFractionText(double value) {
  if (const char* s = nonFinite(value)) return s;
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
  std::string text(buf, res.ptr);
  if (text.find('.') == std::string::npos) text += ".0";
  return text;
}

std::string wholeNumberText(double value) {
  if (const char* s = nonFinite(value)) return s;
  double t = std::trunc(value);
  // 2^63 is exactly representable; anything at or beyond it does not fit.
  if (t >= 9223372036854775808.0) return std::to_string(std::numeric_limits<int64_t>::max());
  if (t < -9223372036854775808.0) return std::to_string(std::numeric_limits<int64_t>::min());
  return std::to_string(static_cast<int64_t>(t));
}

}  // namespace tl
