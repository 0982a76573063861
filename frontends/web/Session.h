#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "frontends/web/Input.h"
#include "frontends/web/ScreenShare.h"
#include "frontends/web/State.h"
#include "platform/sim/SimDesktop.h"

namespace tl::web {

// Tuckline as the person sees it on the page: the copy this server
// launched while it runs; otherwise whichever copy runs on the same home
// in another process (started by "Log in" through launchd, or from a
// console), reached through its screen socket (ScreenShare.h); otherwise
// the bar this server's copy left behind, with the way to launch it again.
// Any number of pages watch it.
//
// Threads. The desktop's main thread owns the desktop and the application:
// they are read and changed only there — in onMain closures and in the idle
// observer, which turns what is on the screen into the published snapshot.
// HTTP handler threads never touch either directly. They hand input to
// SimDesktop's methods (which post it to the main thread and wait for idle),
// ask for a fresh snapshot through onMain, and otherwise read the last
// published one. The one lock the main thread shares with them (mu_) only
// guards that snapshot and is never held while anything waits on the main
// thread, so neither side can stall the other. After the application has
// ended and its main thread is joined, the watcher thread reads the desktop
// once more for the final picture; nothing else runs on it then. The
// finder thread watches the home's screens while this server's copy is not
// running, attaches to another copy's, and publishes what that one sends;
// source_ orders it with the watcher and with input on the ended desktop.
// The files thread waits for the files the side panel shows to change,
// whoever writes them, and has the copy shown look again, as the ticker
// does each minute; it holds no lock while it waits.
class Session {
 public:
  explicit Session(sim::SimDesktop::Config config);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Starts the application (again, after it quit).
  void launch();

  struct Snapshot {
    uint64_t version = 0;
    std::string json;  // the state, with its version
  };
  // The state as published; with fresh, first looked at again on the main
  // thread (files written by other processes show up then).
  Snapshot snapshot(bool fresh);

  // Streams of change notifications. Only so many stay open: a browser tab
  // that went away unnoticed must not hold a server thread for good, so the
  // oldest stream is ended when a new one would exceed the limit.
  uint64_t openStream();
  void closeStream(uint64_t stream);
  enum class Wait { Changed, TimedOut, Ended };
  // What a stream sends when the state changed: to a page that has a
  // recent version, what changed since as one JSON Patch document (RFC
  // 6902) in {"from", "version", "patch"} (event "patch"); else the whole
  // state (event "state").
  struct Update {
    uint64_t version = 0;
    std::string event;
    std::string data;
  };
  // Until the version passes `seen`, the timeout runs out, or the stream is
  // ended (by the limit or by close()).
  Wait waitForChange(uint64_t stream, uint64_t seen, std::chrono::milliseconds timeout, Update& out);

  // One request body of POST /api/input; returns the HTTP status and a
  // JSON reply. Input for the copy goes to whichever copy is shown.
  std::pair<int, std::string> input(const std::string& body);

  // Blocks until this server's own copy has ended (it quit, or close()).
  void waitUntilEnded();

  // Quits the application and ends every stream.
  void close();

  // Where what a person must hear once goes besides the page (the
  // terminal): this server's notices and those of its own copy. Set before
  // launch().
  void onNotice(std::function<void(const sim::NoticeText&)> tell) { tell_ = std::move(tell); }
  // A notice of this session's, shown on the page from now on (the state's
  // "notices") and told once.
  // saidAtTerminal: already said there by whoever found it.
  void addNotice(sim::NoticeText notice, bool saidAtTerminal = false);

  static constexpr size_t kMaxStreams = 8;
  // Patches kept for streams that are behind; one further back gets the
  // whole state.
  static constexpr size_t kKeptPatches = 64;

 private:
  void refresh(sim::SimDesktop& desktop);         // main thread
  void publish(nlohmann::json state, const KeptParts* kept = nullptr);  // any thread; kept: main thread
  void lookAgain();                               // has the copy shown publish what it shows now
  void publishEnded(sim::SimDesktop& desktop);    // once its main thread is joined, with source_ held
  const std::string& fullLocked();                // with mu_ held
  std::shared_ptr<sim::SimDesktop> current();
  std::shared_ptr<ScreenLink> link();
  bool ownRunning();
  void startDesktop();                            // with inputMu_ held
  void tick();                                    // the ticker thread
  void find();                                    // the finder thread
  void lookForCopy();                             // the finder thread
  void wakeFinder();
  void watchFiles();                              // the files thread
  void gaveWay(sim::SimDesktop& desktop);         // its copy gave way at launch
  void dropGaveWay(int32_t ended);                // that notice no longer holds (0: whichever)

  sim::SimDesktop::Config config_;

  std::mutex inputMu_;  // one input at a time, in the order they came
  std::mutex desktopMu_;
  std::shared_ptr<sim::SimDesktop> desktop_;
  std::thread watcher_;  // joins the main thread when the app has ended
  FaultBook faults_;     // the current desktop's main thread, see State.h
  FileCache files_;      // likewise
  KeptParts kept_;       // likewise
  std::unique_ptr<ScreenHost> host_;  // this server's copy, shown to other servers' pages too

  // What is shown when this server's copy is not running.
  std::mutex source_;
  std::mutex linkMu_;
  std::shared_ptr<ScreenLink> link_;  // another process's copy, shown and driven
  int finderWake_[2] = {-1, -1};
  std::thread finder_;
  // The files the side panel shows, whoever writes them: a change wakes
  // the files thread, which has the copy shown look again.
  int filesWake_[2] = {-1, -1};
  std::thread filesWatcher_;

  std::function<void(const sim::NoticeText&)> tell_;
  std::vector<sim::NoticeText> notices_;  // this session's own, under mu_
  int32_t gaveWayTo_ = 0;                 // the copy its own gave way to, while the notice holds; under mu_
  std::string shownHow_;                  // what started the copy linked to; finder thread

  std::mutex mu_;
  std::condition_variable changed_;
  uint64_t version_ = 0;
  nlohmann::json last_;  // the last state published, without its version
  std::map<std::string, uint64_t> publishedParts_;  // the version of each kept part in last_
  std::string json_;     // last_ with its version as text, made when asked for
  std::deque<std::pair<uint64_t, std::string>> patches_;  // the patch to each version, oldest first
  bool closed_ = false;
  bool ended_ = false;  // the current desktop's application has ended
  uint64_t nextStream_ = 1;
  std::deque<uint64_t> streams_;  // open, oldest first
  std::condition_variable tickerWake_;  // a first stream opened, or closing
  std::thread ticker_;  // refreshes the state each minute for the clock while a page watches; last, so it starts after the rest
};

}  // namespace tl::web
