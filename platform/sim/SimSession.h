#pragma once
#include <functional>
#include <string>

namespace tl::sim {

// The login session of the simulated Mac. A front end a person starts (a
// console, the browser desktop) is a login session: what launchd starts
// within it, at "login" or when the application loads its agent, belongs
// to it and ends with it, as logging out of a Mac ends the user's agents.
// The session travels in the environment to every process started within
// it (TUCKLINE_SESSION, "PID:START" of the session's process), and
// launchd's stand-in records it beside each job it starts.

// This process begins a login session of its own. Before threads start.
void beginSession();
// The session this process belongs to; empty when none (a launchctl run
// from a plain shell, say).
std::string currentSession();
// Whether the session is still on: the very process that began it runs
// (not another one given its pid since). False for anything that names no
// session.
bool sessionRunning(const std::string& session);
// A job's side: calls ended, on a thread of its own, once the session it
// was started in is over, also when that process was killed outright.
// Does nothing outside a session.
void watchSession(std::function<void()> ended);

}  // namespace tl::sim
