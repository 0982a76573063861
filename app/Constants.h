#pragma once
#include <string>

namespace tl {

inline const std::string kAppDisplayName = "Tuckline";
inline const std::string kBundleID = "com.ferrowick.tuckline";
inline const std::string kLaunchAgentLabel = "com.ferrowick.tuckline";
inline constexpr double kSeparatorExpandedWidth = 16.0;
// Far wider than any screen: everything left of the separator is pushed out.
inline constexpr double kSeparatorCollapsedWidth = 10000.0;

}  // namespace tl
