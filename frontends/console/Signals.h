#pragma once
#include <cstddef>
#include <optional>
#include <string>

namespace tl::console {

// Quitting. The signals that ask a program to quit (SIGTERM from launchctl
// bootout or kill, SIGINT, SIGHUP) are taken by one thread of their own,
// which only notes the request and wakes whoever waits here: the program's
// own thread then ends the application and the process, so nothing is
// used by a thread that could outlive it. Whatever else ends a program
// (its login session ending, the application quitting) wakes the same
// waiter.
namespace quit {

// Blocks the signals in the calling thread and every thread it starts
// afterwards, and starts the thread that takes them. Once per process,
// before other threads start. Should the orderly end not come within a few
// seconds of a request (something stuck), the process ends anyway; a
// second signal ends it at once.
void install();
// A termination request came (a signal, or request()).
bool requested();
// Asks for termination from inside the program, as a signal would.
void request();
// Wakes the waiter without asking for anything: look again.
void wake();
// Readable after a wake or a request; the waiter drains it.
int fd();
void drain();
// Waits up to `seconds`; false if a termination request came first.
bool sleep(double seconds);

}  // namespace quit

// Lines from a descriptor (a pipe, a terminal, a file), read so that a
// quit or a wake-up is seen while it waits: stop() is asked each time.
class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}
  // The next line without its line end; nullopt at the end of the input,
  // or once stop() holds.
  template <class Stop>
  std::optional<std::string> next(Stop stop) {
    for (;;) {
      if (auto line = take()) return line;
      if (eof_ || stop()) return flushLast();
      if (!fill()) return flushLast();
    }
  }
  // How many lines that are not blank or comments are left unread: all of
  // them from a file, what has arrived so far from a pipe or a terminal.
  size_t countRemaining();

 private:
  std::optional<std::string> take();
  std::optional<std::string> flushLast();
  bool fill();  // false on an error

  int fd_;
  std::string buffer_;
  bool eof_ = false;
};

}  // namespace tl::console
