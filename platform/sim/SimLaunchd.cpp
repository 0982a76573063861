#include "platform/sim/SimLaunchd.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace tl::sim {

namespace {

namespace fs = std::filesystem;

struct Agent {
  std::string label;
  std::vector<std::string> program;
  bool runAtLoad = false;
  bool aqua = true;
};

std::string stateDir(const std::string& home) { return home + "/.simdesktop/launchd"; }
std::string loadedPath(const std::string& home, const std::string& label) {
  return stateDir(home) + "/" + label + ".loaded";
}

std::string stringOf(plist_t node) {
  char* s = nullptr;
  if (node && plist_get_node_type(node) == PLIST_STRING) plist_get_string_val(node, &s);
  std::string out = s ? s : "";
  free(s);
  return out;
}

bool readAgent(const std::string& path, Agent& agent, std::string& why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    why = "No such file or directory";
    return false;
  }
  std::stringstream buf;
  buf << in.rdbuf();
  std::string text = buf.str();
  plist_t root = nullptr;
  if (!text.empty()) plist_from_memory(text.data(), static_cast<uint32_t>(text.size()), &root);
  if (!root || plist_get_node_type(root) != PLIST_DICT) {
    if (root) plist_free(root);
    why = "Invalid property list";
    return false;
  }
  agent.label = stringOf(plist_dict_get_item(root, "Label"));
  if (plist_t args = plist_dict_get_item(root, "ProgramArguments"); args && plist_get_node_type(args) == PLIST_ARRAY)
    for (uint32_t i = 0; i < plist_array_get_size(args); ++i) agent.program.push_back(stringOf(plist_array_get_item(args, i)));
  if (plist_t r = plist_dict_get_item(root, "RunAtLoad"); r && plist_get_node_type(r) == PLIST_BOOLEAN) {
    uint8_t b = 0;
    plist_get_bool_val(r, &b);
    agent.runAtLoad = b;
  }
  if (plist_t s = plist_dict_get_item(root, "LimitLoadToSessionType")) agent.aqua = stringOf(s) == "Aqua";
  plist_free(root);
  if (agent.label.empty() || agent.program.empty() || agent.program[0].empty()) {
    why = "Invalid property list";
    return false;
  }
  return true;
}

// Started detached, in a session of its own, as launchd's child would be.
pid_t startJob(const std::string& home, const Agent& agent) {
  std::vector<std::string> args = agent.program;
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStore;
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind("TUCKLINE_", 0) != 0) envStore.push_back(*e);
  envStore.push_back("TUCKLINE_HOME=" + home);
  envStore.push_back("TUCKLINE_LAUNCHD=1");
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::error_code ec;
  fs::create_directories(stateDir(home), ec);
  std::string logFile = stateDir(home) + "/" + agent.label + ".log";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0].c_str(), &actions, &attr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  return pid;
}

void markLoaded(const std::string& home, const std::string& label, pid_t pid) {
  std::error_code ec;
  fs::create_directories(stateDir(home), ec);
  std::ofstream(loadedPath(home, label)) << pid << "\n";
}

bool bootstrap(const std::string& home, const std::string& path, std::ostream& err, int& status) {
  Agent agent;
  std::string why;
  if (!readAgent(path, agent, why)) {
    err << "Bootstrap failed: 5: Input/output error\n";
    status = 5;
    return false;
  }
  if (fs::exists(loadedPath(home, agent.label))) {
    err << "Bootstrap failed: 5: Input/output error\n";
    status = 5;
    return false;
  }
  markLoaded(home, agent.label, agent.runAtLoad ? startJob(home, agent) : -1);
  status = 0;
  return true;
}

}  // namespace

int launchctlMain(const std::string& home, const std::vector<std::string>& args, std::ostream& out,
                  std::ostream& err) {
  std::string domain = "gui/" + std::to_string(getuid());
  if (args.size() == 3 && args[0] == "bootstrap") {
    if (args[1] != domain) {
      err << "Bootstrap failed: 125: Domain does not support specified action\n";
      return 125;
    }
    int status = 0;
    bootstrap(home, args[2], err, status);
    return status;
  }
  if (args.size() == 2 && args[0] == "bootout") {
    if (args[1].rfind(domain + "/", 0) != 0) {
      err << "Boot-out failed: 125: Domain does not support specified action\n";
      return 125;
    }
    std::string label = args[1].substr(domain.size() + 1);
    std::string loaded = loadedPath(home, label);
    std::ifstream in(loaded);
    if (!in) {
      err << "Boot-out failed: 3: No such process\n";
      return 3;
    }
    long pid = -1;
    in >> pid;
    if (pid > 0) ::kill(static_cast<pid_t>(pid), SIGTERM);  // launchd stops the job it unloads
    fs::remove(loaded);
    return 0;
  }
  if (args.size() == 1 && args[0] == "list") {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(stateDir(home), ec))
      if (e.path().extension() == ".loaded") out << e.path().stem().string() << "\n";
    return 0;
  }
  err << "usage: launchctl bootstrap gui/<uid> <path> | bootout gui/<uid>/<label> | list\n";
  return 64;
}

int simulateLogin(const std::string& home) {
  // A new login starts with nothing loaded.
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(stateDir(home), ec))
    if (e.path().extension() == ".loaded") fs::remove(e.path(), ec);
  int started = 0;
  for (const auto& e : fs::directory_iterator(home + "/Library/LaunchAgents", ec)) {
    Agent agent;
    std::string why;
    if (e.path().extension() != ".plist" || !readAgent(e.path().string(), agent, why) || !agent.aqua) continue;
    pid_t pid = agent.runAtLoad ? startJob(home, agent) : -1;
    markLoaded(home, agent.label, pid);
    if (pid > 0) ++started;
  }
  return started;
}

}  // namespace tl::sim
