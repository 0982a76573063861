#pragma once

namespace tl {

// Process entry of the application: sets up the delegate and runs the event
// loop of platform(). Returns 0 if the loop ever returns.
int tucklineMain();

}  // namespace tl
