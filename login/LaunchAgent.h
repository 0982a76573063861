#pragma once
#include <string>

namespace tl {

// The launch agent's property list: label and executable path are escaped
// for XML, so a path with "&" or "<" still gives a document launchd loads.
std::string launchAgentPlist(const std::string& label, const std::string& executablePath);

}  // namespace tl
