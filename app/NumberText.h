#pragma once
#include <string>

namespace tl {

// The shortest decimal text that reads back as the same double, always with
// a decimal point: 16.0, 22.5, -1.0, 10000.0. Non-finite values print as
// "nan", "inf" and "-inf".
std::string decimalFractionText(double value);

// The value truncated toward zero, in decimal. Values beyond 64 bits
// saturate; NaN prints as "nan", infinities as "inf" and "-inf".
std::string wholeNumberText(double value);

}  // namespace tl
