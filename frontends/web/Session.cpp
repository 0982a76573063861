#include "frontends/web/Session.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>

#include "app/Main.h"
#include "platform/sim/SimCopies.h"
#include "platform/sim/SimLaunchd.h"
#include "platform/sim/SimSystem.h"

namespace tl::web {

using nlohmann::json;

Session::Session(sim::SimDesktop::Config config) : config_(std::move(config)) {
  config_.time = sim::SimRunLoop::Time::Real;
  if (::pipe2(finderWake_, O_CLOEXEC | O_NONBLOCK) != 0) finderWake_[0] = finderWake_[1] = -1;
  if (::pipe2(filesWake_, O_CLOEXEC | O_NONBLOCK) != 0) filesWake_[0] = filesWake_[1] = -1;
  ticker_ = std::thread([this] { tick(); });
}

void Session::tick() {
  // The bar's clock shows minutes, and only a page sees it: while a stream
  // is open the state is looked at again just after each minute begins,
  // so every page shows the new time (the copy shown may be another
  // process's: it is asked to look again). With no page open this thread
  // sleeps until one opens, and nothing in the process wakes for a clock
  // nobody sees; the page that opens is brought up to date at once.
  using namespace std::chrono;
  std::unique_lock lock(mu_);
  for (;;) {
    tickerWake_.wait(lock, [&] { return closed_ || !streams_.empty(); });
    if (closed_) return;
    for (bool first = true; !closed_ && !streams_.empty(); first = false) {
      if (!first) {
        auto now = system_clock::now();
        auto into = duration_cast<milliseconds>(now.time_since_epoch()) % minutes(1);
        tickerWake_.wait_until(lock, now - into + minutes(1) + milliseconds(20), [&] { return closed_; });
        if (closed_) return;
      }
      lock.unlock();
      lookAgain();
      lock.lock();
    }
  }
}

Session::~Session() {
  close();
  for (int fd : finderWake_)
    if (fd >= 0) ::close(fd);
  for (int fd : filesWake_)
    if (fd >= 0) ::close(fd);
}

std::shared_ptr<sim::SimDesktop> Session::current() {
  std::lock_guard lock(desktopMu_);
  return desktop_;
}

std::shared_ptr<ScreenLink> Session::link() {
  std::lock_guard lock(linkMu_);
  return link_;
}

bool Session::ownRunning() {
  auto d = current();
  return d && !d->terminated();
}

void Session::launch() {
  {
    std::lock_guard input(inputMu_);
    startDesktop();
  }
  if (!finder_.joinable()) finder_ = std::thread([this] { find(); });
  if (!filesWatcher_.joinable()) filesWatcher_ = std::thread([this] { watchFiles(); });
}

namespace {
// Each folder the side panel shows a file of, and the file's name in it.
std::vector<std::pair<std::string, std::string>> shownFiles(const sim::SimDesktop::Config& config) {
  std::string plist = config.bundleID + ".plist";
  return {{config.home + "/Library/Logs", "Tuckline.log"},
          {config.home + "/.simdesktop", "system.log"},
          {config.home + "/Library/Preferences", plist},
          {config.home + "/Library/LaunchAgents", plist}};
}
}  // namespace

void Session::watchFiles() {
  // Whoever writes them (this server's copy, a console's, launchd's, the
  // defaults tool, an editor), a change to a file the page shows has the
  // copy shown look again at once: nothing polls. Folders that do not
  // exist yet are watched for from their parent.
  int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  auto files = shownFiles(config_);
  std::map<int, std::string> names;  // watch descriptor: the file name watched in it
  auto addWatches = [&] {
    for (const auto& [folder, name] : files) {
      int wd = ::inotify_add_watch(watch, folder.c_str(),
                                   IN_MODIFY | IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_ONLYDIR);
      if (wd >= 0) names[wd] = name;
    }
    for (const char* parent : {"", "/Library"})
      if (int wd = ::inotify_add_watch(watch, (config_.home + parent).c_str(), IN_CREATE | IN_MOVED_TO | IN_ONLYDIR); wd >= 0)
        names[wd] = {};  // a folder came: watch what it holds
  };
  if (watch >= 0) addWatches();
  alignas(inotify_event) char buf[8192];
  for (;;) {
    {
      std::lock_guard lock(mu_);
      if (closed_) break;
    }
    pollfd fds[2] = {{filesWake_[0], POLLIN, 0}, {watch, POLLIN, 0}};
    if (watch < 0 || (::poll(fds, 2, -1) < 0 && errno != EINTR)) break;
    if (fds[0].revents & POLLIN)
      while (::read(filesWake_[0], buf, sizeof buf) > 0) {
      }
    bool shown = false, folders = false;
    for (ssize_t n; (fds[1].revents & POLLIN) && (n = ::read(watch, buf, sizeof buf)) > 0;) {
      for (char* p = buf; p < buf + n;) {
        auto* e = reinterpret_cast<inotify_event*>(p);
        p += sizeof(inotify_event) + e->len;
        if (e->mask & IN_Q_OVERFLOW) shown = folders = true;
        auto it = names.find(e->wd);
        if (it == names.end()) continue;
        std::string name = e->len ? std::string(e->name) : std::string();
        if (it->second.empty()) folders = true;
        else if (name == it->second) shown = true;
      }
    }
    if (folders) {
      addWatches();
      shown = true;  // a file may have come with its folder
    }
    if (shown) lookAgain();
  }
  if (watch >= 0) ::close(watch);
}

void Session::wakeFinder() {
  char byte = 1;
  if (finderWake_[1] >= 0) [[maybe_unused]] auto n = ::write(finderWake_[1], &byte, 1);
}

void Session::startDesktop() {
  // The copy before goes first, and what shares its screen before it.
  host_.reset();
  if (watcher_.joinable()) watcher_.join();
  // A desktop takes the process's platform with it when it goes, so the
  // one before must be gone before the next one launches. Besides this
  // thread only handler threads hold it, each for one call on a desktop
  // that has ended and returns at once.
  std::weak_ptr<sim::SimDesktop> before;
  {
    std::lock_guard lock(desktopMu_);
    // The screen and the other applications stay as they were: the next
    // launch meets the same frontmost application and fault switches.
    if (desktop_) {
      std::string home = config_.home;
      config_ = desktop_->currentConfig();
      config_.home = home;
    }
    before = desktop_;
    desktop_.reset();
  }
  while (!before.expired()) std::this_thread::yield();
  {
    std::lock_guard lock(mu_);
    ended_ = false;
  }
  faults_ = FaultBook{};
  files_ = FileCache{};
  kept_ = KeptParts{};
  auto desktop = std::make_shared<sim::SimDesktop>(config_);
  sim::SimDesktop* raw = desktop.get();
  // Called each time the app falls idle after work: changes are pushed from
  // here, never found by polling.
  desktop->loop().addIdleObserver([this, raw] { refresh(*raw); });
  {
    std::lock_guard lock(desktopMu_);
    desktop_ = desktop;
  }
  if (tell_) desktop->addNoticeObserver(tell_);
  desktop->launch([] { return tucklineMain(); });
  // Launching ends with the check for a copy already running: this one
  // gave way to it if it has ended by now.
  if (desktop->terminated()) gaveWay(*desktop);
  else dropGaveWay(0);
  // Other browser desktops on this home show it too.
  host_ = std::make_unique<ScreenHost>(*desktop);
  // A screens folder that is not to be trusted leaves the page blind to the
  // other copies: the terminal has been told, and the page is told too.
  if (auto problem = screensFolderProblem(config_.home); !problem.empty())
    addNotice({"screens-folder", problem}, true);
  watcher_ = std::thread([this, desktop] {
    desktop->join();
    // The main thread has ended: this thread is the desktop's only user now,
    // unless another copy is shown by then.
    {
      std::lock_guard source(source_);
      if (!link()) publishEnded(*desktop);
    }
    {
      std::lock_guard lock(mu_);
      ended_ = true;
    }
    changed_.notify_all();
    // Another copy may be running: the page shows it if so.
    wakeFinder();
  });
}

void Session::gaveWay(sim::SimDesktop& desktop) {
  int32_t own = desktop.simProcessInfo().processIdentifier();
  auto copies = sim::runningCopies(config_.home, config_.bundleID, own);
  if (copies.empty()) return;  // that one quit meanwhile: the page offers to launch again
  {
    std::lock_guard lock(mu_);
    gaveWayTo_ = copies.front().pid;
  }
  addNotice(sim::gaveWayNotice(own, copies.front()));
}

void Session::dropGaveWay(int32_t ended) {
  // Said while it holds: until that copy ends, or this server's own runs.
  std::lock_guard lock(mu_);
  if (!gaveWayTo_ || (ended && ended != gaveWayTo_)) return;
  std::string suffix = ":" + std::to_string(gaveWayTo_);
  std::erase_if(notices_, [&](const auto& n) { return n.id.starts_with("gave-way:") && n.id.ends_with(suffix); });
  gaveWayTo_ = 0;
}

void Session::addNotice(sim::NoticeText notice, bool saidAtTerminal) {
  {
    std::lock_guard lock(mu_);
    for (const auto& n : notices_)
      if (n.id == notice.id) return;
    notices_.push_back(notice);
  }
  if (tell_ && !saidAtTerminal) tell_(notice);
  // On the page at once, whatever it shows.
  if (!ownRunning() && !link()) {
    json last;
    {
      std::lock_guard lock(mu_);
      last = last_;
    }
    if (last.is_object()) publish(std::move(last));
  } else {
    lookAgain();
  }
}

void Session::find() {
  // Woken by the screens folder changing (a copy came or went), by this
  // server's copy ending and by the copy shown sending something; idle
  // otherwise.
  int watch = makeScreensFolder(config_.home) ? ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC) : -1;
  if (watch >= 0 && ::inotify_add_watch(watch, screensFolder(config_.home).c_str(), IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM) < 0) {
    ::close(watch);
    watch = -1;
  }
  // Sockets that copies killed outright left behind are looked for at the
  // start and whenever the folder changed or the copy shown went.
  bool sweep = true;
  for (;;) {
    {
      std::lock_guard lock(mu_);
      if (closed_) break;
    }
    if (std::exchange(sweep, false)) removeStaleScreens(config_.home);
    lookForCopy();
    auto shown = link();
    pollfd fds[3] = {{finderWake_[0], POLLIN, 0}, {watch, POLLIN, 0}, {shown ? shown->fd() : -1, POLLIN, 0}};
    // Without inotify, a look each second.
    if (::poll(fds, 3, watch >= 0 ? -1 : 1000) < 0 && errno != EINTR) break;
    char buf[4096];
    if (fds[0].revents & POLLIN)
      while (::read(finderWake_[0], buf, sizeof buf) > 0) {
      }
    if (fds[1].revents & POLLIN) {
      sweep = true;
      while (::read(watch, buf, sizeof buf) > 0) {
      }
    }
    if (shown && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) {
      std::lock_guard source(source_);
      bool open = shown->receive([this, &shown](json state) {
        state["shows"] = {{"pid", shown->pid()}, {"how", shownHow_}};
        publish(std::move(state));
      });
      if (!open) {
        sweep = true;
        // That copy has ended: the bar it leaves, unless another runs.
        {
          std::lock_guard lock(linkMu_);
          link_.reset();
        }
        dropGaveWay(shown->pid());
        auto own = current();
        if (own && own->ended()) publishEnded(*own);
      }
    }
  }
  if (watch >= 0) ::close(watch);
  std::lock_guard lock(linkMu_);
  if (link_) link_->close();
  link_.reset();
}

void Session::lookForCopy() {
  std::lock_guard source(source_);
  auto own = current();
  if (own && !own->ended()) {
    // This server's copy is the one shown while it runs.
    std::lock_guard lock(linkMu_);
    if (link_) link_->close();
    link_.reset();
    return;
  }
  if (link()) return;
  // The copy that stays is the one launched first; the others give way.
  sim::SimWorkspace running(config_.home);
  for (const auto& app : running.runningApplicationsWithBundleIdentifier(config_.bundleID)) {
    if (app.processIdentifier == static_cast<int32_t>(::getpid())) continue;
    if (auto found = ScreenLink::connect(config_.home, app.processIdentifier)) {
      shownHow_ = sim::copyKind(app.processIdentifier);
      std::lock_guard lock(linkMu_);
      link_ = std::move(found);
      return;  // it sends what it shows at once
    }
  }
}

void Session::refresh(sim::SimDesktop& desktop) {
  json state = describeDesktop(desktop, faults_, &files_, &kept_);
  state["shows"] = {{"pid", desktop.simProcessInfo().processIdentifier()}, {"how", "this browser desktop's own copy"}};
  publish(std::move(state), &kept_);
}

namespace {
// Texts from files may hold broken UTF-8; they are shown, not refused.
std::string text(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

json take(json& from, const json::json_pointer& at) {
  if (!from.is_object() || !from.contains(at)) return nullptr;
  json part = std::move(from[at]);
  from[at.parent_pointer()].erase(at.back());
  return part;
}
}  // namespace

void Session::publishEnded(sim::SimDesktop& desktop) {
  json last = describeDesktop(desktop, faults_, &files_);
  last["terminated"] = true;
  last["shows"] = nullptr;
  publish(std::move(last));
}

void Session::publish(json state, const KeptParts* kept) {
  // last_ changes only under mu_, held throughout: a page asking for the
  // whole state never sees it with a part taken out, and publishers take
  // turns. Nothing here waits for another thread.
  std::lock_guard lock(mu_);
  // This session's notices come first, then those of the copy shown.
  json notices = json::array();
  for (const auto& n : notices_) notices.push_back({{"id", n.id}, {"text", n.text}});
  if (auto copy = state.find("notices"); copy != state.end() && copy->is_array())
    for (auto& n : *copy)
      if (std::none_of(notices.begin(), notices.end(), [&](const json& m) { return m["id"] == n.value("id", json()); }))
        notices.push_back(std::move(n));
  state["notices"] = std::move(notices);
  // The kept parts are out of both while the rest is compared; each is
  // then brought up to date by its own change when last_ has the version
  // that change leads from, else put in whole.
  std::vector<std::pair<json::json_pointer, json>> held;
  if (kept)
    for (const auto& [path, part] : kept->parts) held.emplace_back(json::json_pointer(path), take(last_, json::json_pointer(path)));
  else
    publishedParts_.clear();
  json ops = last_.is_null() ? json::array() : json::diff(last_, state);
  for (size_t i = 0; kept && i < held.size(); ++i) {
    const auto& [path, part] = kept->parts[i];
    json& was = held[i].second;
    uint64_t& known = publishedParts_[path];
    if (!was.is_null() && part->from != 0 && known == part->from) {
      was.patch_inplace(part->ops);
      for (json op : part->ops) {
        op["path"] = path + op["path"].get<std::string>();
        ops.push_back(std::move(op));
      }
    } else if (was.is_null() || known != part->version) {
      was = part->value;
      ops.push_back({{"op", "add"}, {"path", path}, {"value", was}});
    }
    known = part->version;
    state[held[i].first] = std::move(was);
  }
  bool first = last_.is_null();
  last_ = std::move(state);
  if (!first && ops.empty()) return;
  json_.clear();
  ++version_;
  patches_.emplace_back(version_, first ? std::string() : text(ops));
  if (patches_.size() > kKeptPatches) patches_.pop_front();
  changed_.notify_all();
}

const std::string& Session::fullLocked() {
  if (json_.empty() && last_.is_object())
    json_ = "{\"version\":" + std::to_string(version_) + "," + text(last_).substr(1);
  return json_;
}

void Session::lookAgain() {
  auto d = current();
  if (d && !d->terminated())
    d->onMain([this, raw = d.get()] { refresh(*raw); });
  else if (auto shown = link())
    shown->request({{"refresh", true}}, std::chrono::seconds(2));
}

Session::Snapshot Session::snapshot(bool fresh) {
  if (fresh) lookAgain();
  std::lock_guard lock(mu_);
  return {version_, fullLocked()};
}

uint64_t Session::openStream() {
  std::lock_guard lock(mu_);
  uint64_t id = nextStream_++;
  streams_.push_back(id);
  if (streams_.size() > kMaxStreams) {
    streams_.pop_front();
    changed_.notify_all();
  }
  if (streams_.size() == 1) tickerWake_.notify_all();
  return id;
}

void Session::closeStream(uint64_t stream) {
  std::lock_guard lock(mu_);
  streams_.erase(std::remove(streams_.begin(), streams_.end(), stream), streams_.end());
}

Session::Wait Session::waitForChange(uint64_t stream, uint64_t seen, std::chrono::milliseconds timeout,
                                     Update& out) {
  std::unique_lock lock(mu_);
  auto ended = [&] { return closed_ || std::find(streams_.begin(), streams_.end(), stream) == streams_.end(); };
  bool woke = changed_.wait_for(lock, timeout, [&] { return ended() || version_ > seen; });
  if (ended()) return Wait::Ended;
  if (!woke) return Wait::TimedOut;
  out.version = version_;
  // Every patch after `seen` still kept: one document of all their
  // operations, applied in order.
  auto first = std::find_if(patches_.begin(), patches_.end(), [&](const auto& p) { return p.first == seen + 1; });
  bool complete = seen > 0 && first != patches_.end() &&
                  std::none_of(first, patches_.end(), [](const auto& p) { return p.second.empty(); });
  if (!complete) {
    out.event = "state";
    out.data = fullLocked();
    return Wait::Changed;
  }
  std::string ops;
  for (auto p = first; p != patches_.end(); ++p) {
    if (p->second.size() <= 2) continue;  // "[]"
    if (!ops.empty()) ops += ',';
    ops.append(p->second, 1, p->second.size() - 2);
  }
  out.event = "patch";
  out.data = "{\"from\":" + std::to_string(seen) + ",\"version\":" + std::to_string(version_) + ",\"patch\":[" + ops + "]}";
  return Wait::Changed;
}

namespace {
std::pair<int, std::string> answer(const Outcome& outcome) {
  json reply = {{"ok", outcome.ok}};
  if (!outcome.ok) reply["error"] = outcome.message;
  // A well-formed input that the desktop could not carry out (an item that
  // is not there, a menu that is not open) changes nothing either.
  return {outcome.ok ? 200 : 409, reply.dump(-1, ' ', false, json::error_handler_t::replace)};
}
}  // namespace

std::pair<int, std::string> Session::input(const std::string& body) {
  Parsed parsed = parseCommand(body);
  if (!parsed.command) return {400, json{{"ok", false}, {"error", parsed.error}}.dump()};
  const Command& c = *parsed.command;
  std::lock_guard serial(inputMu_);
  {
    std::lock_guard lock(mu_);
    if (closed_) return {503, json{{"ok", false}, {"error", "the browser desktop is shutting down"}}.dump()};
  }
  if (c.kind == Command::Kind::Login) {
    // What runs afterwards, not only what was started: a copy launchd
    // started while another runs gives way to it at once.
    auto outcome = sim::settleLogin(config_.home, config_.bundleID, sim::simulateLogin(config_.home),
                                    "this browser desktop");
    json jobs = json::array();
    size_t running = 0;
    for (const auto& j : outcome.jobs) {
      jobs.push_back({{"label", j.job.label}, {"pid", j.job.pid}, {"runs", j.runs}, {"gaveWayTo", j.gaveWayTo}});
      running += j.runs && !j.gaveWayTo;
    }
    // A copy that stayed shows on this page within moments, found by the
    // finder as it offers its screen.
    lookAgain();
    return {200, json{{"ok", true}, {"started", running}, {"jobs", std::move(jobs)}, {"text", outcome.text}}.dump(
                     -1, ' ', false, json::error_handler_t::replace)};
  }
  Outcome outcome;
  auto shown = ownRunning() ? nullptr : link();
  if (c.kind == Command::Kind::Launch) {
    if (ownRunning() || shown) {
      outcome = {false, "Tuckline is running"};
    } else {
      startDesktop();
      current()->waitIdle();
      outcome = {true, {}};
    }
  } else if (shown) {
    // Another process's copy is the one on the screen: the input is its.
    auto reply = shown->request({{"input", body}}, std::chrono::seconds(10));
    if (reply) return *reply;
    outcome = {false, "Tuckline is not running"};
  } else if (auto desktop = current(); desktop && desktop->terminated() && c.kind == Command::Kind::Fault &&
                                         c.item != "next-item") {
    // A switch thrown while Tuckline is not running is there when it
    // launches again (a hot key another application took, say). Once the
    // watcher is done, nothing else touches the ended desktop.
    if (watcher_.joinable()) watcher_.join();
    std::lock_guard source(source_);
    bool ok = applyFault(*desktop, faults_, c);
    outcome = {ok, ok ? std::string() : "unknown fault"};
    if (!link()) publishEnded(*desktop);
  } else if (!desktop || desktop->terminated()) {
    outcome = {false, "Tuckline is not running"};
  } else {
    outcome = applyCommand(*desktop, faults_, c);
  }
  // An input that opened a menu or an alert has left the main thread in
  // the nested loop of it, where no idle observer has run yet: publish what
  // the screen shows now, so the page sees the menu as soon as it is there.
  lookAgain();
  return answer(outcome);
}

void Session::waitUntilEnded() {
  std::unique_lock lock(mu_);
  changed_.wait(lock, [&] { return ended_ || closed_; });
}

void Session::close() {
  {
    std::lock_guard lock(mu_);
    if (closed_) return;
    closed_ = true;
  }
  changed_.notify_all();
  tickerWake_.notify_all();
  wakeFinder();
  if (finder_.joinable()) finder_.join();
  if (filesWake_[1] >= 0) [[maybe_unused]] auto n = ::write(filesWake_[1], "x", 1);
  if (filesWatcher_.joinable()) filesWatcher_.join();
  std::lock_guard serial(inputMu_);
  if (auto d = current(); d && !d->terminated()) d->requestTermination();
  if (watcher_.joinable()) watcher_.join();
  host_.reset();
  if (ticker_.joinable()) ticker_.join();
}

}  // namespace tl::web
