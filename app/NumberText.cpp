#include "app/NumberText.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace tl {

// Floating-point std::to_chars is not in Apple's libc++ before macOS 13.3,
// so the shortest round-trip text is found with printf and strtod, which
// every C library rounds correctly. Neither may see a radix character: the
// process's locale could make it a comma. Digits go out through "%e" and
// come back as an integer mantissa with an exponent ("12345e-4").

namespace {

const char* nonFinite(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  return nullptr;
}

struct Decimal {
  std::string digits;  // no leading zeros, at least one digit
  int exponent = 0;    // the value is 0.digits × 10^(exponent + 1), i.e. d.ddd × 10^exponent
};

// Correctly rounded significant digits of |value| at the given count.
Decimal roundedDigits(double value, int count) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", count - 1, std::fabs(value));
  Decimal d;
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') d.digits += *p;
  if (*p == 'e') d.exponent = std::atoi(p + 1);
  return d;
}

bool readsBackAs(const Decimal& d, double magnitude) {
  std::string text = d.digits + "e" + std::to_string(d.exponent - static_cast<int>(d.digits.size()) + 1);
  return std::strtod(text.c_str(), nullptr) == magnitude;
}

// The digits string plus or minus one unit in its last place, carrying.
Decimal neighbour(Decimal d, int step) {
  std::string& s = d.digits;
  int i = static_cast<int>(s.size()) - 1;
  if (step > 0) {
    while (i >= 0 && s[i] == '9') s[i--] = '0';
    if (i < 0) {
      s.insert(s.begin(), '1');
      s.pop_back();
      ++d.exponent;
    } else {
      ++s[i];
    }
  } else {
    while (i >= 0 && s[i] == '0') s[i--] = '9';
    if (i < 0) return d;  // unreachable for non-zero digits
    --s[i];
    if (s[0] == '0' && s.size() > 1) {
      s.erase(s.begin());
      s.push_back('9');
      --d.exponent;
    }
  }
  return d;
}

// The fewest significant digits that read back as exactly |value|; of
// those, the nearest to it. The correctly rounded candidate is nearest;
// just above a power of two the interval that reads back is lopsided, so
// a neighbour of the same length may read back where it does not.
Decimal shortestDigits(double value) {
  double magnitude = std::fabs(value);
  for (int count = 1; count < 17; ++count) {
    Decimal d = roundedDigits(value, count);
    if (readsBackAs(d, magnitude)) return d;
    for (int step : {1, -1}) {
      Decimal n = neighbour(d, step);
      if (n.digits.size() == static_cast<size_t>(count) && readsBackAs(n, magnitude)) return n;
    }
  }
  return roundedDigits(value, 17);  // 17 digits always read back
}

}  // namespace

std::string decimalFractionText(double value) {
  if (const char* s = nonFinite(value)) return s;
  std::string text = std::signbit(value) ? "-" : "";
  if (value == 0) {
    text += "0";
  } else if (std::trunc(value) == value) {
    // A whole number prints as its exact value, digit for digit, as fixed
    // notation does: the exact text is never longer than the shortest
    // digits padded with zeros.
    // Below 2^63 that is the integer's own text, without printf's work
    // (every frame, length and point the log records is such a number).
    if (std::fabs(value) < 9223372036854775808.0) {
      text += std::to_string(static_cast<uint64_t>(std::fabs(value)));
    } else {
      char buf[400];
      std::snprintf(buf, sizeof buf, "%.0f", std::fabs(value));
      text += buf;
    }
  } else {
    Decimal d = shortestDigits(value);
    int pointAfter = d.exponent + 1;  // digits before the decimal point
    if (pointAfter <= 0) {
      text += "0." + std::string(static_cast<size_t>(-pointAfter), '0') + d.digits;
    } else if (static_cast<size_t>(pointAfter) >= d.digits.size()) {
      text += d.digits + std::string(pointAfter - d.digits.size(), '0');
    } else {
      text += d.digits.substr(0, pointAfter) + "." + d.digits.substr(pointAfter);
    }
  }
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
