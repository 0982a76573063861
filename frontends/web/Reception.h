#pragma once
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace tl::web {

// Where a request stands after the bytes received so far.
struct Framing {
  enum class Kind {
    Incomplete,    // more is to come
    Complete,      // length bytes make the whole request
    HeadTooLarge,  // 431
    BodyTooLarge,  // 413
    Malformed,     // 400: no request line, a broken or repeated Content-Length
    Chunked,       // 411: a body of unknown length
  };
  Kind kind = Kind::Incomplete;
  size_t length = 0;
  bool expectsContinue = false;  // the client waits for "100 Continue" before its body
};

// Frames one HTTP/1.1 request: its head up to the empty line, then as many
// body bytes as Content-Length says. Nothing else of it is interpreted.
Framing frameRequest(std::string_view bytes, size_t maxHead, size_t maxBody);

// The door of the browser desktop's server. One thread takes every
// connection off the listening socket and reads its request whole before
// anyone else sees it, so clients that send slowly, or never finish, cost
// a buffer each and no thread:
// - each request must be complete within `deadline` of its connection
//   (408 after that), whatever pace its bytes come at;
// - at most `maxWaiting` connections wait for their request at a time; a
//   newcomer beyond that takes the place of the one waiting longest;
// - heads beyond `maxHead` and bodies beyond `maxBody` are answered (431,
//   413) without being read.
// A complete request goes to `deliver` with its socket, which then belongs
// to the receiver.
class Reception {
 public:
  struct Limits {
    size_t maxHead = 8 * 1024;
    size_t maxBody = 16 * 1024;
    size_t maxWaiting = 128;
    std::chrono::milliseconds deadline{5000};
  };
  using Deliver = std::function<void(int fd, std::string request)>;

  Reception(int listenFd, Limits limits, Deliver deliver);
  ~Reception();
  Reception(const Reception&) = delete;
  Reception& operator=(const Reception&) = delete;

  // Serves until stop(); the listening socket stays the caller's.
  void run();
  void stop();

 private:
  int listenFd_;
  Limits limits_;
  Deliver deliver_;
  int wake_;  // eventfd: stop() pokes it
};

// Writes a short complete answer with "Connection: close" and no body.
void answerAndClose(int fd, int status, const char* reason);

}  // namespace tl::web
