#include "frontends/web/Session.h"

#include <algorithm>

#include "app/Main.h"
#include "platform/sim/SimLaunchd.h"

namespace tl::web {

using nlohmann::json;

Session::Session(sim::SimDesktop::Config config) : config_(std::move(config)) {
  config_.time = sim::SimRunLoop::Time::Real;
  ticker_ = std::thread([this] { tick(); });
}

void Session::tick() {
  // The bar's clock shows minutes: the state is looked at again just after
  // each minute begins, so every page shows the new time.
  using namespace std::chrono;
  std::unique_lock lock(mu_);
  for (;;) {
    auto now = system_clock::now();
    auto into = duration_cast<milliseconds>(now.time_since_epoch()) % minutes(1);
    if (changed_.wait_until(lock, now - into + minutes(1) + milliseconds(20), [&] { return closed_; })) return;
    lock.unlock();
    snapshot(true);
    lock.lock();
  }
}

Session::~Session() { close(); }

std::shared_ptr<sim::SimDesktop> Session::current() {
  std::lock_guard lock(desktopMu_);
  return desktop_;
}

void Session::launch() {
  std::lock_guard input(inputMu_);
  startDesktop();
}

void Session::startDesktop() {
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
  auto desktop = std::make_shared<sim::SimDesktop>(config_);
  sim::SimDesktop* raw = desktop.get();
  // Called each time the app falls idle after work: changes are pushed from
  // here, never found by polling.
  desktop->loop().setIdleObserver([this, raw] { refresh(*raw); });
  {
    std::lock_guard lock(desktopMu_);
    desktop_ = desktop;
  }
  desktop->launch([] { return tucklineMain(); });
  watcher_ = std::thread([this, desktop] {
    desktop->join();
    // The main thread has ended: this thread is the desktop's only user now.
    publishEnded(*desktop);
    {
      std::lock_guard lock(mu_);
      ended_ = true;
    }
    changed_.notify_all();
  });
}

void Session::refresh(sim::SimDesktop& desktop) { publish(describeDesktop(desktop, faults_, &files_)); }

namespace {
// Texts from files may hold broken UTF-8; they are shown, not refused.
std::string text(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }
}  // namespace

void Session::publishEnded(sim::SimDesktop& desktop) {
  json last = describeDesktop(desktop, faults_, &files_);
  last["terminated"] = true;
  publish(std::move(last));
}

void Session::publish(json state) {
  // Only this thread changes last_: reading it unlocked here is safe.
  std::string patch;
  if (!last_.is_null()) {
    json ops = json::diff(last_, state);
    if (ops.empty()) return;
    patch = text(ops);
  }
  {
    std::lock_guard lock(mu_);
    last_ = std::move(state);
    json_.clear();
    ++version_;
    patches_.emplace_back(version_, std::move(patch));
    if (patches_.size() > kKeptPatches) patches_.pop_front();
  }
  changed_.notify_all();
}

const std::string& Session::fullLocked() {
  if (json_.empty() && last_.is_object())
    json_ = "{\"version\":" + std::to_string(version_) + "," + text(last_).substr(1);
  return json_;
}

Session::Snapshot Session::snapshot(bool fresh) {
  if (fresh)
    if (auto d = current()) d->onMain([this, raw = d.get()] { refresh(*raw); });
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
    int started = sim::simulateLogin(config_.home);
    snapshot(true);
    return {200, json{{"ok", true}, {"started", started}}.dump()};
  }
  Outcome outcome;
  if (c.kind == Command::Kind::Launch) {
    bool running = false;
    if (auto d = current()) running = !d->terminated();
    if (running) {
      outcome = {false, "Tuckline is running"};
    } else {
      startDesktop();
      current()->waitIdle();
      outcome = {true, {}};
    }
  } else if (auto desktop = current(); desktop && desktop->terminated() && c.kind == Command::Kind::Fault &&
                                         c.item != "next-item") {
    // A switch thrown while Tuckline is not running is there when it
    // launches again (a hot key another application took, say). Once the
    // watcher is done, nothing else touches the ended desktop.
    if (watcher_.joinable()) watcher_.join();
    bool ok = applyFault(*desktop, faults_, c);
    outcome = {ok, ok ? std::string() : "unknown fault"};
    publishEnded(*desktop);
  } else if (!desktop || desktop->terminated()) {
    outcome = {false, "Tuckline is not running"};
  } else {
    outcome = applyCommand(*desktop, faults_, c);
  }
  // An input that opened a menu or an alert has left the main thread in
  // the nested loop of it, where no idle observer has run yet: publish what
  // the screen shows now, so the page sees the menu as soon as it is there.
  snapshot(true);
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
  std::lock_guard serial(inputMu_);
  if (auto d = current(); d && !d->terminated()) d->requestTermination();
  if (watcher_.joinable()) watcher_.join();
  if (ticker_.joinable()) ticker_.join();
}

}  // namespace tl::web
