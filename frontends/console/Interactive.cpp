#include "frontends/console/Interactive.h"

#include "frontends/console/Signals.h"

#include <fcntl.h>
#include <histedit.h>
#include <langinfo.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <cwchar>
#include <iostream>
#include <mutex>
#include <thread>

namespace tl::console {

namespace {

// The terminal's thread is woken through the quit signals' pipe: by the
// desktop's main thread when the picture changed, by the thread that saw
// the application end, and by the quit signals themselves.
void wake() { quit::wake(); }

// The key that line editing never gets from a person: the terminal's own
// reader hands it over when a new picture is waiting, and its binding draws
// the picture above the line being typed.
constexpr wchar_t kRedrawKey = 0x1D;  // ^]

class Terminal {
 public:
  Terminal(sim::SimDesktop& desktop, Console& console) : desktop_(desktop), console_(console) {}

  void run(const std::string& home) {
    // Line editing reads characters in the locale's encoding; the titles
    // typed here are UTF-8 whatever the environment says.
    if (!std::setlocale(LC_CTYPE, "") || std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
      std::setlocale(LC_CTYPE, "C.UTF-8");

    EditLine* el = el_init("tuckline", stdin, stdout, stderr);
    History* history = history_init();
    if (!el || !history) {
      if (el) el_end(el);
      if (history) history_end(history);
      std::cerr << "tuckline: this terminal cannot be used for line editing\n";
      return;
    }
    HistEvent event;
    ::history(history, &event, H_SETSIZE, 1000);
    ::history(history, &event, H_SETUNIQUE, 1);
    el_set(el, EL_CLIENTDATA, this);
    el_set(el, EL_EDITOR, "emacs");
    el_set(el, EL_SIGNAL, 0);  // the quit signals are taken by their own thread
    el_set(el, EL_HIST, ::history, history);
    el_set(el, EL_PROMPT, +[](EditLine*) -> char* { return const_cast<char*>("> "); });
    // Wide names: the narrow call copies them and never frees the copies.
    el_wset(el, EL_ADDFN, L"tl-draw", L"draw what changed on the desktop", +[](EditLine* e, wint_t) -> unsigned char {
      return of(e).drawPending() ? CC_REDISPLAY : CC_NORM;
    });
    el_set(el, EL_BIND, "^]", "tl-draw", nullptr);
    el_set(el, EL_GETCFN, +[](EditLine* e, wchar_t* c) { return of(e).nextCharacter(c); });
    el_source(el, nullptr);  // the person's ~/.editrc, as other programs using libedit read it

    std::cout << "Tuckline on the simulated desktop (home " << home << "). Type help for commands.\n";
    desktop_.loop().addIdleObserver([this] { observe(); });
    // What the screen shows now, once: later pictures come when it changes.
    desktop_.onMain([this] { observe(); });
    std::thread joiner([this] {
      desktop_.join();
      ended_ = true;
      wake();
    });

    int count = 0;
    while (!over()) {
      const char* line = el_gets(el, &count);
      if (!line || count <= 0) break;  // Ctrl-D, or over
      std::string text(line, static_cast<size_t>(count));
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
      if (text.find_first_not_of(" \t") != std::string::npos) ::history(history, &event, H_ENTER, text.c_str());
      if (!console_.execute(text)) break;
      std::cout.flush();
    }
    el_end(el);  // gives the terminal its settings back
    history_end(history);
    std::cout << "\n" << std::flush;

    if (!desktop_.terminated()) desktop_.requestTermination();
    joiner.join();
    // What stays on the screen: the bar without Tuckline's items.
    std::cout << "Tuckline has quit.\n" << desktop_.renderBar() << "\n" << std::flush;
  }

 private:
  static Terminal& of(EditLine* el) {
    void* self = nullptr;
    el_get(el, EL_CLIENTDATA, &self);
    return *static_cast<Terminal*>(self);
  }

  bool over() const { return quit::requested() || ended_ || desktop_.terminated(); }

  // Line editing's reader: the next character typed, or the redraw key when
  // a picture is waiting; -1 once the session is over.
  int nextCharacter(wchar_t* c) {
    for (;;) {
      if (over()) return -1;
      {
        std::lock_guard lock(mu_);
        if (!pending_.empty()) {
          *c = kRedrawKey;
          return 1;
        }
      }
      pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {quit::fd(), POLLIN, 0}};
      if (poll(fds, 2, -1) < 0 && errno != EINTR) return -1;
      if (fds[1].revents & POLLIN) quit::drain();
      if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char byte = 0;
      ssize_t n = read(STDIN_FILENO, &byte, 1);
      if (n == 0) return 0;  // end of input
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        return -1;
      }
      size_t r = std::mbrtowc(c, &byte, 1, &decoding_);
      if (r == static_cast<size_t>(-2)) continue;  // the rest of the character is still to come
      if (r == static_cast<size_t>(-1)) {
        decoding_ = {};
        *c = L'\uFFFD';
      } else if (r == 0) {
        *c = 0;
      }
      return 1;
    }
  }

  // The desktop's main thread, whenever it has fallen idle after work.
  void observe() {
    std::string picture =
        desktop_.renderBar() + "\n" + desktop_.renderMenu() + desktop_.renderAlert() + desktop_.renderWindows();
    {
      std::lock_guard lock(mu_);
      if (picture == lastSeen_) return;
      lastSeen_ = picture;
      pending_ = std::move(picture);
    }
    wake();
  }

  // Prints the waiting picture over the prompt's line; line editing then
  // draws the prompt and what is typed so far under it.
  bool drawPending() {
    std::string picture;
    {
      std::lock_guard lock(mu_);
      picture.swap(pending_);
    }
    if (picture.empty()) return false;
    std::cout << "\r\033[K" << picture << std::flush;
    return true;
  }

  sim::SimDesktop& desktop_;
  Console& console_;
  std::mutex mu_;
  std::string lastSeen_, pending_;
  std::mbstate_t decoding_{};
  std::atomic<bool> ended_{false};
};

}  // namespace

void runInteractive(sim::SimDesktop& desktop, Console& console, const std::string& home) {
  Terminal(desktop, console).run(home);
}

}  // namespace tl::console
