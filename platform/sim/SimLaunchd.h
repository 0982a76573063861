#pragma once
#include <ostream>
#include <string>
#include <vector>

namespace tl::sim {

// The per-user launchd of the simulated desktop. Its state (which agents
// are loaded, the pid of each running job) lives under
// <home>/.simdesktop/launchd/, so the launchctl program and the desktop
// share it across processes.
int launchctlMain(const std::string& home, const std::vector<std::string>& args, std::ostream& out,
                  std::ostream& err);

// A fresh login: every agent in <home>/Library/LaunchAgents that asks to run
// at load in the graphical session is loaded and started. Returns how many
// were started.
int simulateLogin(const std::string& home);

}  // namespace tl::sim
