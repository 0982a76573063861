#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "platform/Value.h"

namespace tl::sim {

// `defaults` for the application's own domain, whose property list is
// plistPath; args as on a Mac's command line, where the domain after the
// verb may be left out:
//   read | read KEY | read-type KEY
//   write KEY VALUE | write KEY -string S | -int N | -integer N | -float X | -bool YES|NO|true|false
//   delete KEY | delete
// Output and messages read as on a Mac. Returns the exit status: 0 on
// success, 1 for a missing default or domain (any other domain is
// missing), bad usage or a failed write.
// It goes through SimDefaults, so a damaged file is kept, not replaced.
int runDefaultsTool(const std::string& plistPath, const std::vector<std::string>& args, std::ostream& out,
                    std::ostream& err);

// A value as `defaults read KEY` prints it (without the final line feed).
std::string describeDefaultsValue(const Value& value);

}  // namespace tl::sim
