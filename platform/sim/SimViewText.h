#pragma once
#include <string>

#include "platform/sim/SimWindow.h"

namespace tl::sim {

// A window drawn as text, one line each, top to bottom:
//   window: <title>
//   <header>                        a semibold or medium label on its own
//     <title> — <detail>  [control] a row: parts two spaces apart, the
//                                   labels of a column joined by " — "
//     ──────────────────            a divider, one "─" per 12 pt of width
//     <line>                        other labels, line by line as laid out
// Controls: [开] / [关] for a switch, [slider 5.0 (1–30)], [pop-up: ⌃⌥⌘ B ▾]
// ([pop-up: ▾] with nothing selected), [button 复位]. Labels too narrow
// for their text show what fits, ending in "…" when they truncate.
std::string renderText(const SimWindow& window);

}  // namespace tl::sim
