#include "platform/sim/SimLaunchd.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/sim/PropertyList.h"
#include "platform/sim/SimFiles.h"
#include "platform/sim/SimSession.h"
#include "platform/sim/SimSystem.h"

extern char** environ;

namespace tl::sim {

namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------- property lists

// Larger than any job description or launchd's state; a huge file is neither.
constexpr size_t kMaxPlist = 16u << 20;

const Value* item(const Value::Dict& dict, std::string_view key) {
  for (const auto& entry : dict)
    if (entry.first == key) return &entry.second;
  return nullptr;
}

std::optional<std::string> stringOf(const Value* v) {
  if (auto* s = v ? std::get_if<std::string>(&v->v) : nullptr) return *s;
  return std::nullopt;
}

std::optional<std::vector<std::string>> stringsOf(const Value* v) {
  auto* a = v ? std::get_if<Value::Array>(&v->v) : nullptr;
  if (!a) return std::nullopt;
  std::vector<std::string> out;
  for (const Value& e : *a) {
    auto s = stringOf(&e);
    if (!s) return std::nullopt;
    out.push_back(*s);
  }
  return out;
}

bool readFile(const std::string& path, std::string& text) { return readPlainFile(path, text, kMaxPlist); }

// The root dictionary, or nullopt with the reason.
std::optional<Value::Dict> parse(const std::string& text, std::string& why) {
  auto v = readPropertyList(text, &why);
  if (v && std::holds_alternative<Value::Dict>(v->v)) return std::move(std::get<Value::Dict>(v->v));
  if (v) why = "the root is not a dictionary";
  return std::nullopt;
}

bool hasNul(const std::string& s) { return s.find('\0') != std::string::npos; }

}  // namespace

// ---------------------------------------------------------------- agents

bool readLaunchAgent(const std::string& path, LaunchAgent& agent, int& code, std::string& why) {
  std::string text;
  if (!readFile(path, text)) {
    code = errno == ENOENT || errno == ENOTDIR ? 2 : 5;
    why = path + ": " + std::strerror(errno ? errno : ENOENT);
    return false;
  }
  code = 5;
  std::string reason;
  auto parsed = parse(text, reason);
  if (!parsed) {
    why = path + ": not a property list with a dictionary at its root (" + reason + ")";
    return false;
  }
  const Value::Dict& root = *parsed;
  auto label = stringOf(item(root, "Label"));
  if (!label || label->empty()) {
    why = path + ": no Label";
    return false;
  }
  agent.label = *label;
  auto args = stringsOf(item(root, "ProgramArguments"));
  if (!args || args->empty() || (*args)[0].empty()) {
    why = path + ": no ProgramArguments";
    return false;
  }
  agent.arguments = *args;
  agent.program = stringOf(item(root, "Program")).value_or(agent.arguments[0]);
  if (auto* r = item(root, "RunAtLoad"); r && std::holds_alternative<bool>(r->v)) agent.runAtLoad = std::get<bool>(r->v);
  if (const Value* s = item(root, "LimitLoadToSessionType")) {
    auto one = stringOf(s);
    auto many = stringsOf(s);
    agent.forAqua = one ? *one == "Aqua" : many && std::count(many->begin(), many->end(), "Aqua") > 0;
  }
  if (auto* env = item(root, "EnvironmentVariables"); env && std::holds_alternative<Value::Dict>(env->v)) {
    for (const auto& [key, value] : std::get<Value::Dict>(env->v))
      if (auto v = stringOf(&value); v && !key.empty() && key.find('=') == std::string::npos)
        agent.environment.push_back({key, *v});
  }
  agent.workingDirectory = stringOf(item(root, "WorkingDirectory")).value_or("");
  agent.stdinPath = stringOf(item(root, "StandardInPath")).value_or("");
  agent.stdoutPath = stringOf(item(root, "StandardOutPath")).value_or("");
  agent.stderrPath = stringOf(item(root, "StandardErrorPath")).value_or("");
  // A program's arguments, environment and paths end at a NUL character:
  // a job holding one would run with something else than it says.
  bool nul = hasNul(agent.program) || hasNul(agent.workingDirectory) || hasNul(agent.stdinPath) ||
             hasNul(agent.stdoutPath) || hasNul(agent.stderrPath);
  for (const auto& a : agent.arguments) nul = nul || hasNul(a);
  for (const auto& [k, v] : agent.environment) nul = nul || hasNul(k) || hasNul(v);
  if (nul) {
    why = path + ": a program argument, path or environment variable holds a NUL character";
    return false;
  }
  return true;
}

namespace {

// ---------------------------------------------------------------- processes

struct Record {
  std::string plistPath;
  std::vector<std::string> arguments;
  uint64_t pid = 0, startTime = 0;
  std::string session;  // the login session it was started in; empty: none
};

bool alive(const Record& r) { return stillRunning(static_cast<int32_t>(r.pid), r.startTime); }

std::string findProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  // launchd's own search path for jobs.
  for (const char* dir : {"/usr/local/bin", "/usr/bin", "/bin", "/usr/sbin", "/sbin"}) {
    std::string candidate = std::string(dir) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

// Opened above the standard descriptors, so the job's dup2 never meets them.
// Only the user may read what a job prints: the browser desktop's address,
// with its secret, goes there.
int openHigh(const std::string& path, int flags) {
  int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, 0600);
  if (fd < 0) fd = ::open("/dev/null", (flags & O_ACCMODE) | O_CLOEXEC);
  if (fd >= 0 && fd < 3) {
    int high = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    fd = high;
  }
  return fd;
}

ssize_t readFull(int fd, void* buf, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::read(fd, static_cast<char*>(buf) + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

void appendLine(const std::string& path, const std::string& line) {
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  std::string text = line + "\n";
  if (::write(fd, text.data(), text.size()) < 0) {
    // Nobody to tell.
  }
  ::close(fd);
}

struct Started {
  pid_t pid = 0;
  uint64_t startTime = 0;
};

// Starts the job as launchd does: not a child of whoever asked (a double
// fork leaves it to init), a session of its own, a clean signal state, no
// descriptors but its three, its folder "/" unless it names one.
Started startJob(const std::string& home, const LaunchAgent& agent) {
  Started started;
  std::string logPath = launchdFolder(home) + "/" + safeFileName(agent.label) + ".log";
  std::string exe = findProgram(agent.program);
  if (exe.empty() || ::access(exe.c_str(), X_OK) != 0) {
    appendLine(agent.stderrPath.empty() ? logPath : agent.stderrPath,
               "launchd: " + agent.label + ": cannot run " + agent.program + ": " +
                   std::strerror(exe.empty() ? ENOENT : errno));
    return started;
  }
  std::vector<std::string> args = agent.arguments;
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::map<std::string, std::string> env;
  for (char** e = environ; e && *e; ++e) {
    std::string entry = *e;
    size_t eq = entry.find('=');
    if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& [k, v] : agent.environment) env[k] = v;
  env["TUCKLINE_HOME"] = home;
  env["TUCKLINE_LAUNCHD"] = "1";
  std::vector<std::string> envStore;
  for (const auto& [k, v] : env) envStore.push_back(k + "=" + v);
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string cwd = agent.workingDirectory.empty() ? "/" : agent.workingDirectory;

  int in = openHigh(agent.stdinPath.empty() ? "/dev/null" : agent.stdinPath, O_RDONLY);
  int out = openHigh(agent.stdoutPath.empty() ? logPath : agent.stdoutPath, O_WRONLY | O_CREAT | O_APPEND);
  int err = openHigh(agent.stderrPath.empty() ? logPath : agent.stderrPath, O_WRONLY | O_CREAT | O_APPEND);
  int pidPipe[2] = {-1, -1}, execPipe[2] = {-1, -1};
  bool piped = ::pipe2(pidPipe, O_CLOEXEC) == 0 && ::pipe2(execPipe, O_CLOEXEC) == 0;
  pid_t middle = piped && in >= 0 && out >= 0 && err >= 0 ? ::fork() : -1;
  if (middle == 0) {
    // Only async-signal-safe calls from here on: the caller may have threads.
    pid_t job = ::fork();
    if (job == 0) {
      ::close(pidPipe[1]);
      ::setsid();
      ::dup2(in, STDIN_FILENO);
      ::dup2(out, STDOUT_FILENO);
      ::dup2(err, STDERR_FILENO);
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      struct sigaction byDefault {};
      byDefault.sa_handler = SIG_DFL;
      for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &byDefault, nullptr);
      ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
      if (::chdir(cwd.c_str()) != 0 && ::chdir("/") != 0) {
        // Runs where it stands.
      }
      ::execve(exe.c_str(), argv.data(), envp.data());
      int e = errno;
      if (::write(execPipe[1], &e, sizeof e) < 0) {
      }
      ::_exit(127);
    }
    if (::write(pidPipe[1], &job, sizeof job) < 0) {
    }
    ::_exit(0);
  }
  for (int fd : {pidPipe[1], execPipe[1], in, out, err})
    if (fd >= 0) ::close(fd);
  if (middle > 0) {
    while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_t job = -1;
    int execErrno = 0;
    if (readFull(pidPipe[0], &job, sizeof job) == sizeof job && job > 0) {
      if (readFull(execPipe[0], &execErrno, sizeof execErrno) == sizeof execErrno) {
        appendLine(agent.stderrPath.empty() ? logPath : agent.stderrPath,
                   "launchd: " + agent.label + ": cannot run " + exe + ": " + std::strerror(execErrno));
      } else {
        started.pid = job;
        if (auto st = processStat(job)) started.startTime = st->startTicks;
      }
    }
  }
  for (int fd : {pidPipe[0], execPipe[0]})
    if (fd >= 0) ::close(fd);
  return started;
}

// ---------------------------------------------------------------- state

using State = std::map<std::string, Record>;

std::string statePath(const std::string& home) { return launchdFolder(home) + "/jobs.plist"; }

// The one owner of the state: whoever holds this lock.
ExclusiveLock stateLock(const std::string& home) {
  std::error_code ec;
  fs::create_directories(launchdFolder(home), ec);
  return ExclusiveLock(launchdFolder(home) + "/.lock");
}

// The state as saved, or nothing loaded when there is none. A state file
// that cannot be read is kept aside rather than overwritten (damaged is
// set): launchd forgets its jobs, the bytes stay.
State loadState(const std::string& home, bool* damaged = nullptr) {
  State state;
  std::string text, why;
  if (!readFile(statePath(home), text)) {
    if (damaged) *damaged = errno != ENOENT;
    return state;
  }
  // Anything but what saveState writes counts as damaged: rewriting it
  // would drop what could not be understood.
  auto root = parse(text, why);
  auto count = [](const Value* v) {
    auto* i = v ? std::get_if<int64_t>(&v->v) : nullptr;
    return i && *i >= 0 ? std::optional<uint64_t>(static_cast<uint64_t>(*i)) : std::nullopt;
  };
  for (const auto& [label, job] : root ? *root : Value::Dict{}) {
    auto* fields = std::get_if<Value::Dict>(&job.v);
    auto path = fields ? stringOf(item(*fields, "Path")) : std::nullopt;
    auto args = fields ? stringsOf(item(*fields, "ProgramArguments")) : std::nullopt;
    auto pid = fields ? count(item(*fields, "PID")) : std::nullopt;
    auto start = fields ? count(item(*fields, "StartTime")) : std::nullopt;
    // Jobs saved before sessions were recorded have no Session.
    const Value* sessionValue = fields ? item(*fields, "Session") : nullptr;
    auto session = stringOf(sessionValue);
    if (!path || !args || !pid || !start || (sessionValue && !session) ||
        fields->size() != (sessionValue ? 5u : 4u)) {
      root.reset();
      break;
    }
    state[label] = Record{*path, *args, *pid, *start, session.value_or("")};
  }
  if (damaged) *damaged = !root;
  if (!root) state.clear();
  return state;
}

bool saveState(const std::string& home, const State& state, bool damaged) {
  Value::Dict root;
  for (const auto& [label, r] : state) {
    Value::Array args(r.arguments.begin(), r.arguments.end());
    Value::Dict fields{{"Path", Value(r.plistPath)},
                       {"ProgramArguments", Value(std::move(args))},
                       {"PID", Value(static_cast<int64_t>(r.pid))},
                       {"StartTime", Value(static_cast<int64_t>(r.startTime))}};
    if (!r.session.empty()) fields.emplace_back("Session", Value(r.session));
    root.emplace_back(label, Value(std::move(fields)));
  }
  auto text = writePropertyList(Value(std::move(root)));
  if (!text) return false;
  std::string path = statePath(home);
  for (int n = 0; damaged && n < 100; ++n) {
    std::string aside = path + ".corrupt" + (n ? "." + std::to_string(n) : "");
    if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0 || errno != EEXIST)
      break;
  }
  SimFileManager files(home);
  return files.writeAtomically(path, *text, nullptr);
}

LaunchdJob describe(const std::string& label, const Record& r) {
  LaunchdJob job;
  job.label = label;
  job.plistPath = r.plistPath;
  job.programArguments = r.arguments;
  job.pid = static_cast<int32_t>(r.pid);
  job.running = alive(r);
  return job;
}

// A session is over when its process has ended, however it ended: logged
// out in order, or killed outright with no chance to log out. Whoever
// next holds the state unloads the jobs of such a session as logging out
// does, and of the session named (one logging out now): the processes of
// those still running are asked to end.
std::vector<Record> unloadSessions(State& state, const std::string& loggingOut) {
  std::vector<Record> ending;
  std::erase_if(state, [&](const auto& entry) {
    const std::string& session = entry.second.session;
    if (session.empty() || (session != loggingOut && sessionRunning(session))) return false;
    if (alive(entry.second)) {
      ::kill(static_cast<pid_t>(entry.second.pid), SIGTERM);
      ending.push_back(entry.second);
    }
    return true;
  });
  return ending;
}

// Waits for them, as a Mac's logout does, but not for ever: a job still
// there after two seconds is ended outright. Never with the state locked.
std::vector<int32_t> awaitEnd(const std::vector<Record>& ending) {
  std::vector<int32_t> pids;
  for (int i = 0; i < 200 && std::any_of(ending.begin(), ending.end(), alive); ++i) ::usleep(10000);
  for (const auto& r : ending) {
    if (alive(r)) ::kill(static_cast<pid_t>(r.pid), SIGKILL);
    pids.push_back(static_cast<int32_t>(r.pid));
  }
  return pids;
}

// Declared before the lock, so that it waits once the lock is released.
struct Ending {
  std::vector<Record> records;
  ~Ending() { awaitEnd(records); }
};

// Loads the agent, starting it if it runs at load. False if the label is
// taken already.
bool load(const std::string& home, State& state, const std::string& path, const LaunchAgent& agent, bool* started) {
  if (state.count(agent.label)) return false;
  Record r;
  std::error_code ec;
  r.plistPath = fs::absolute(path, ec).lexically_normal().string();
  r.arguments = agent.arguments;
  if (agent.runAtLoad) {
    Started s = startJob(home, agent);
    r.pid = static_cast<uint64_t>(s.pid);
    r.startTime = s.startTime;
    r.session = currentSession();
    if (started) *started = s.pid > 0;
  }
  state[agent.label] = r;
  return true;
}

// ---------------------------------------------------------------- launchctl

const char* kUsage =
    "usage: launchctl bootstrap gui/<uid> <plist>...\n"
    "       launchctl bootout gui/<uid>/<label> | bootout gui/<uid> <plist>...\n"
    "       launchctl print gui/<uid>[/<label>]\n"
    "       launchctl list\n";

std::string ownDomain() { return "gui/" + std::to_string(::getuid()); }

// Checks "gui/<uid>" (and the "/<label>" after it when a service is meant);
// 0, or the exit status after the message.
int checkTarget(const std::string& target, const std::string& verb, bool service, std::string& label,
                std::ostream& err) {
  bool isDigits = false;
  std::string uid, rest;
  if (target.rfind("gui/", 0) == 0) {
    std::string after = target.substr(4);
    size_t slash = after.find('/');
    uid = after.substr(0, slash);
    rest = slash == std::string::npos ? "" : after.substr(slash + 1);
    isDigits = !uid.empty() && uid.size() < 11 && std::all_of(uid.begin(), uid.end(), [](unsigned char c) { return c >= '0' && c <= '9'; });
  }
  if (!isDigits || (service ? rest.empty() : target.find('/', 4) != std::string::npos)) {
    err << "Unrecognized target specifier.\n" << kUsage;
    return 64;
  }
  if ("gui/" + uid != ownDomain()) {
    err << verb << " failed: 1: Operation not permitted\n";
    return 1;
  }
  label = rest;
  return 0;
}

int bootstrap(const std::string& home, const std::vector<std::string>& paths, std::ostream& err) {
  Ending ending;
  auto lock = stateLock(home);
  if (!lock.held()) {
    err << "Bootstrap failed: 5: Input/output error\n";
    return 5;
  }
  bool damaged = false;
  State state = loadState(home, &damaged);
  ending.records = unloadSessions(state, "");
  int status = 0;
  for (const auto& path : paths) {
    LaunchAgent agent;
    int code = 0;
    std::string why;
    if (!readLaunchAgent(path, agent, code, why)) {
      err << why << "\n" << "Bootstrap failed: " << code << ": " << std::strerror(code) << "\n";
      status = code;
      continue;
    }
    if (!agent.forAqua) {
      err << path << ": not meant for the graphical session (LimitLoadToSessionType)\n"
          << "Bootstrap failed: 5: Input/output error\n";
      status = 5;
      continue;
    }
    if (!load(home, state, path, agent, nullptr)) {
      err << "Bootstrap failed: 5: Input/output error\n";
      status = 5;
    }
  }
  if (!saveState(home, state, damaged)) {
    err << "Bootstrap failed: 5: Input/output error\n";
    status = 5;
  }
  return status;
}

int bootout(const std::string& home, const std::vector<std::string>& labels, std::ostream& err) {
  Ending ending;
  auto lock = stateLock(home);
  if (!lock.held()) {
    err << "Boot-out failed: 5: Input/output error\n";
    return 5;
  }
  bool damaged = false;
  State state = loadState(home, &damaged);
  ending.records = unloadSessions(state, "");
  int status = 0;
  for (const auto& label : labels) {
    auto it = state.find(label);
    if (it == state.end()) {
      err << "Boot-out failed: 3: No such process\n";
      status = 3;
      continue;
    }
    // launchd stops the job it unloads; a pid that now names some other
    // process is left alone.
    if (alive(it->second)) ::kill(static_cast<pid_t>(it->second.pid), SIGTERM);
    state.erase(it);
  }
  if (!saveState(home, state, damaged)) {
    err << "Boot-out failed: 5: Input/output error\n";
    status = 5;
  }
  return status;
}

void printJob(const std::string& domain, const LaunchdJob& job, std::ostream& out) {
  out << domain << "/" << job.label << " = {\n"
      << "\tpath = " << job.plistPath << "\n"
      << "\tstate = " << (job.running ? "running" : "not running") << "\n"
      << "\tprogram = " << (job.programArguments.empty() ? "" : job.programArguments[0]) << "\n"
      << "\targuments = {\n";
  for (const auto& a : job.programArguments) out << "\t\t" << a << "\n";
  out << "\t}\n";
  if (job.running) out << "\tpid = " << job.pid << "\n";
  out << "}\n";
}

}  // namespace

std::string launchdFolder(const std::string& home) { return home + "/.simdesktop/launchd"; }

std::vector<LaunchdJob> launchdJobs(const std::string& home) {
  Ending ending;
  State state;
  {
    auto lock = stateLock(home);
    bool damaged = false;
    state = loadState(home, &damaged);
    size_t before = state.size();
    ending.records = unloadSessions(state, "");
    if (state.size() != before) saveState(home, state, damaged);
  }
  std::vector<LaunchdJob> jobs;
  for (const auto& [label, r] : state) jobs.push_back(describe(label, r));
  return jobs;
}

std::optional<LaunchdJob> launchdJob(const std::string& home, const std::string& label) {
  for (auto& job : launchdJobs(home))
    if (job.label == label) return job;
  return std::nullopt;
}

int launchctlMain(const std::string& home, const std::vector<std::string>& args, std::ostream& out,
                  std::ostream& err) {
  const std::string verb = args.empty() ? "" : args[0];
  std::string label;
  if (verb == "bootstrap") {
    if (args.size() < 3) {
      err << kUsage;
      return 64;
    }
    if (int bad = checkTarget(args[1], "Bootstrap", false, label, err)) return bad;
    return bootstrap(home, std::vector<std::string>(args.begin() + 2, args.end()), err);
  }
  if (verb == "bootout") {
    if (args.size() < 2) {
      err << kUsage;
      return 64;
    }
    bool byFile = args.size() > 2;
    if (int bad = checkTarget(args[1], "Boot-out", !byFile, label, err)) return bad;
    std::vector<std::string> labels;
    if (!byFile) labels.push_back(label);
    for (size_t i = 2; i < args.size(); ++i) {
      LaunchAgent agent;
      int code = 0;
      std::string why;
      if (!readLaunchAgent(args[i], agent, code, why)) {
        err << why << "\n" << "Boot-out failed: " << code << ": " << std::strerror(code) << "\n";
        return code;
      }
      labels.push_back(agent.label);
    }
    return bootout(home, labels, err);
  }
  if (verb == "print" && args.size() == 2) {
    std::string target = args[1];
    bool service = target.find('/', 4) != std::string::npos;
    if (int bad = checkTarget(target, "Print", service, label, err)) return bad;
    auto jobs = launchdJobs(home);
    if (!service) {
      out << ownDomain() << " = {\n\tservices = {\n";
      for (const auto& job : jobs) out << "\t\t" << (job.running ? job.pid : 0) << "\t" << job.label << "\n";
      out << "\t}\n}\n";
      return 0;
    }
    for (const auto& job : jobs) {
      if (job.label != label) continue;
      printJob(ownDomain(), job, out);
      return 0;
    }
    err << "Could not find service \"" << label << "\" in domain for user gui: " << ::getuid() << "\n";
    return 113;
  }
  if (verb == "list" && args.size() == 1) {
    out << "PID\tStatus\tLabel\n";
    for (const auto& job : launchdJobs(home))
      out << (job.running ? std::to_string(job.pid) : "-") << "\t-\t" << job.label << "\n";
    return 0;
  }
  if (verb == "help" || verb == "-h" || verb == "--help") {
    out << kUsage;
    return 0;
  }
  err << kUsage;
  return 64;
}

std::vector<LaunchdJob> simulateLogin(const std::string& home) {
  std::vector<LaunchdJob> started;
  Ending ending;
  auto lock = stateLock(home);
  if (!lock.held()) return started;
  bool damaged = false;
  State state = loadState(home, &damaged);
  ending.records = unloadSessions(state, "");
  // What ran in the last session and has ended is not loaded in this one;
  // what still runs stays as it is.
  std::erase_if(state, [](const auto& entry) { return !alive(entry.second); });
  std::vector<std::string> plists;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(home + "/Library/LaunchAgents", ec))
    if (entry.path().extension() == ".plist") plists.push_back(entry.path().string());
  std::sort(plists.begin(), plists.end());
  for (const auto& path : plists) {
    LaunchAgent agent;
    int code = 0;
    std::string why;
    if (!readLaunchAgent(path, agent, code, why) || !agent.forAqua) continue;
    bool ran = false;
    if (load(home, state, path, agent, &ran) && ran) started.push_back(describe(agent.label, state[agent.label]));
  }
  saveState(home, state, damaged);
  return started;
}

std::vector<int32_t> logout(const std::string& home, const std::string& session) {
  std::vector<Record> ending;
  if (session.empty()) return {};
  {
    auto lock = stateLock(home);
    if (!lock.held()) return {};
    bool damaged = false;
    State state = loadState(home, &damaged);
    if (damaged) return {};  // nothing of it can be told apart: left as it is
    size_t before = state.size();
    ending = unloadSessions(state, session);
    if (state.size() != before) saveState(home, state, false);
  }
  return awaitEnd(ending);
}

}  // namespace tl::sim
