#pragma once
#include "platform/Views.h"
#include "platform/sim/SimViewTree.h"

namespace tl::sim {

// Lays the tree out in `bounds` (window content coordinates), then has
// every custom view drawn once, now that the frames are final: a drawing
// may change its view. Text is measured by SimTextMetrics.
void layOut(SimNode& root, Rect bounds);

}  // namespace tl::sim
