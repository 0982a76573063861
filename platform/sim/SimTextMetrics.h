#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Views.h"

namespace tl::sim {

// The one measurer of text on the simulated Mac: the menu bar, the menus
// and the views all ask it, and the browser desktop draws with the same
// font, so what is computed here is what the page shows.
//
// The font is Noto Sans CJK SC (Debian's fonts-noto-cjk), standing in for
// the Mac's system font, with DejaVu Sans (fonts-dejavu-core) for the few
// characters it lacks: Regular up to medium weights, Bold from semibold on,
// as a browser picks between the two faces installed. Widths come from
// HarfBuzz shaping the text over the font's own tables (kerning, contextual
// forms, tabular digits when asked), in script runs as a browser shapes
// them; lines are broken where ICU's line breaker allows (the Chinese rules:
// between ideographs, never before a closing mark). Text that is not valid
// UTF-8 is measured with U+FFFD for each bad byte, never read past its end.
class SimTextMetrics {
 public:
  // The shared measurer, loaded on first use. Throws std::runtime_error
  // with loadError()'s text when the font cannot be read.
  static const SimTextMetrics& shared();
  // Why a font cannot be read, as one line naming the package; empty when
  // they all can. Front ends ask before they start anything. The fonts are
  // where Debian puts them, or all in TUCKLINE_FONT_DIR when that is set.
  // Asking loads the shared measurer: once it has loaded, the answer stays
  // empty for the life of the process.
  static std::string loadError();
  // Font faces this process has tried to open so far: each face once.
  static int facesOpened();

  ~SimTextMetrics();
  SimTextMetrics(const SimTextMetrics&) = delete;
  SimTextMetrics& operator=(const SimTextMetrics&) = delete;

  // Advance width of one line of text, in points.
  double width(std::string_view text, const Font& font) const;
  // The height of one line as the views set it: 1.25 times the size,
  // rounded, as the page's line-height.
  double lineHeight(const Font& font) const;
  // Lines of at most maxWidth: hard breaks kept, soft breaks where the
  // line breaker allows, a piece longer than a line cut between
  // characters. Spaces at a soft break go.
  std::vector<std::string> wrap(std::string_view text, const Font& font, double maxWidth) const;
  // The text if it fits maxWidth, else as much of it as fits: followed by
  // "…" when truncating, cut off when clipping.
  std::string fit(std::string_view text, const Font& font, double maxWidth, bool ellipsis) const;

 private:
  SimTextMetrics();
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The size views use when the one given is not a size: 13.
double fontSize(const Font& font);

// Text made valid UTF-8: each byte that is not part of a well-formed
// character becomes U+FFFD.
std::string validUtf8(std::string_view text);

}  // namespace tl::sim
