// Text from anywhere (a defaults value shown, a long title) measured, broken
// into lines and cut as the simulated Mac draws it: never read past its
// end, and what comes back is UTF-8 that fits where it was asked to.
#include <cmath>

#include "fuzz/Fuzz.h"
#include "platform/sim/SimTextMetrics.h"

namespace tl::fuzz {

int textMetrics(const uint8_t* data, size_t size) {
  // Each way a line may break is a shaping: long inputs say nothing more.
  if (size > 2048) return 0;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto& metrics = sim::SimTextMetrics::shared();
  Font font{size % 2 ? 13.0 : 11.0, size % 3 ? FontWeight::Regular : FontWeight::Semibold, size % 5 == 0};
  double width = metrics.width(text, font);
  check(std::isfinite(width) && width >= 0, "a width that is not a length");
  for (const auto& line : metrics.wrap(text, font, 60)) check(sim::validUtf8(line) == line, "a line that is not UTF-8");
  std::string cut = metrics.fit(text, font, 60, true);
  check(sim::validUtf8(cut) == cut, "a cut text that is not UTF-8");
  check(metrics.width(cut, font) <= 60 + 1e-6, "a cut text wider than its room");
  return 0;
}

}  // namespace tl::fuzz
