// Other local users and slow clients against a running browser desktop
// (bench/web-server.sh starts one): how many of a set of hostile requests
// are refused, and how fast the state answers the page while 100 clients
// trickle their requests a byte a second.
//
// Usage: tuckline_web_clients ADDRESS [SECONDS]
//   ADDRESS as tuckline-web printed it: http://127.0.0.1:PORT/?token=…
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int port = 0;
std::string token;

int connectTo() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

// Sends the request whole and returns the status of the answer, or -1 when
// none came within the timeout.
int exchange(const std::string& request, int timeoutMs = 3000) {
  int fd = connectTo();
  if (fd < 0) return -1;
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string answer;
  auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (answer.find("\r\n") == std::string::npos) {
    int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count());
    pollfd p{fd, POLLIN, 0};
    if (left <= 0 || poll(&p, 1, left) <= 0) break;
    char buf[4096];
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    answer.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  // Past any "100 Continue".
  size_t at = 0;
  while (answer.compare(at, 12, "HTTP/1.1 100") == 0) {
    size_t end = answer.find("\r\n\r\n", at);
    if (end == std::string::npos) return -1;
    at = end + 4;
  }
  return answer.compare(at, 9, "HTTP/1.1 ") == 0 ? std::atoi(answer.c_str() + at + 9) : -1;
}

std::string request(const std::string& method, const std::string& target, const std::string& headers,
                    const std::string& body = "") {
  std::string r = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n" + headers;
  if (method == "POST") r += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
  return r + "\r\n" + body;
}

std::string ownOrigin() { return "Origin: http://127.0.0.1:" + std::to_string(port) + "\r\n"; }
std::string ownToken() { return "X-Tuckline-Token: " + token + "\r\n"; }

void hostileRequests() {
  const std::string click = R"({"type":"click","item":"arrow"})", login = R"({"type":"login"})";
  const std::string wrong(token.size(), token[0] == 'a' ? 'b' : 'a');
  struct Case {
    const char* what;
    std::string request;
  };
  const Case cases[] = {
      {"state without the token", request("GET", "/api/state", "")},
      {"event stream without the token", request("GET", "/api/events", "")},
      {"state with a wrong token", request("GET", "/api/state", "X-Tuckline-Token: " + wrong + "\r\n")},
      {"event stream with a wrong token", request("GET", "/api/events?token=" + wrong, "")},
      {"state with the token in another case", request("GET", "/api/state", "X-Tuckline-Token: " + std::string(token.size(), 'A') + "\r\n")},
      {"click without the token", request("POST", "/api/input", ownOrigin(), click)},
      {"login without the token", request("POST", "/api/input", ownOrigin(), login)},
      {"click with a wrong token", request("POST", "/api/input", ownOrigin() + "X-Tuckline-Token: " + wrong + "\r\n", click)},
      {"click from another site", request("POST", "/api/input", ownToken() + "Origin: http://evil.example\r\n", click)},
      {"click from another port", request("POST", "/api/input", ownToken() + "Origin: http://127.0.0.1:" + std::to_string(port + 1) + "\r\n", click)},
      {"click from localhost on another port", request("POST", "/api/input", ownToken() + "Origin: http://localhost:1\r\n", click)},
      {"click over https", request("POST", "/api/input", ownToken() + "Origin: https://127.0.0.1:" + std::to_string(port) + "\r\n", click)},
      {"click with Origin null", request("POST", "/api/input", ownToken() + "Origin: null\r\n", click)},
      {"click without an Origin", request("POST", "/api/input", ownToken(), click)},
      {"click from a renamed site (DNS rebinding)",
       "POST /api/input HTTP/1.1\r\nHost: evil.example:" + std::to_string(port) + "\r\n" + ownToken() + ownOrigin() +
           "Content-Type: application/json\r\nContent-Length: " + std::to_string(click.size()) + "\r\n\r\n" + click},
      {"click as a form", "POST /api/input HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n" + ownToken() +
                              ownOrigin() + "Content-Type: text/plain\r\nContent-Length: " + std::to_string(click.size()) +
                              "\r\n\r\n" + click},
      {"a body beyond the limit", request("POST", "/api/input", ownToken() + ownOrigin(), std::string(17 * 1024, ' '))},
      {"a head beyond the limit", request("GET", "/api/state", ownToken() + "X-Pad: " + std::string(9000, 'x') + "\r\n")},
      {"a body in chunks", "POST /api/input HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n" + ownToken() +
                               ownOrigin() + "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n"},
      {"two different lengths", "POST /api/input HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n" + ownToken() +
                                    ownOrigin() + "Content-Length: 2\r\nContent-Length: 40\r\n\r\n{}"},
  };
  int refused = 0, tried = 0;
  for (const auto& c : cases) {
    int status = exchange(c.request);
    ++tried;
    bool no = status >= 400;
    refused += no;
    std::printf("  %-44s %s (%d)\n", c.what, no ? "refused" : "ACCEPTED", status);
  }
  int ok = exchange(request("GET", "/api/state", ownToken()));
  std::printf("hostile requests refused: %d of %d; the page's own request: %d\n", refused, tried, ok);
}

void slowClients(int seconds) {
  constexpr int kSlow = 100;
  std::atomic<bool> done{false};
  std::atomic<int> connections{0}, cutOff{0};
  // Each slow client sends a request a byte a second; when the server lets
  // it go it comes back at once.
  std::thread trickle([&] {
    const std::string text = request("GET", "/api/state", ownToken());
    std::vector<int> fds(kSlow, -1);
    std::vector<size_t> sent(kSlow, 0);
    while (!done) {
      for (int k = 0; k < kSlow; ++k) {
        if (fds[k] < 0) {
          fds[k] = connectTo();
          sent[k] = 0;
          ++connections;
        }
        if (fds[k] < 0) continue;
        char c = text[sent[k] % text.size()];
        if (send(fds[k], &c, 1, MSG_NOSIGNAL) != 1) {
          close(fds[k]);
          fds[k] = -1;
          ++cutOff;
          continue;
        }
        ++sent[k];
        pollfd p{fds[k], POLLIN, 0};
        if (poll(&p, 1, 0) > 0) {  // answered (408) or closed: again
          close(fds[k]);
          fds[k] = -1;
          ++cutOff;
        }
      }
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    for (int fd : fds)
      if (fd >= 0) close(fd);
  });
  std::this_thread::sleep_for(std::chrono::seconds(2));  // all of them connected and trickling
  std::vector<double> ms;
  int unanswered = 0;
  const std::string state = request("GET", "/api/state", ownToken());
  auto end = Clock::now() + std::chrono::seconds(seconds);
  while (Clock::now() < end) {
    auto t0 = Clock::now();
    int status = exchange(state, 5000);
    double took = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    if (status == 200) ms.push_back(took);
    else ++unanswered;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  done = true;
  trickle.join();
  std::sort(ms.begin(), ms.end());
  auto at = [&](double q) { return ms.empty() ? -1.0 : ms[std::min(ms.size() - 1, static_cast<size_t>(q * ms.size()))]; };
  std::printf("with %d slow clients (%d connections, %d let go by the server): %zu state requests answered, %d not;\n"
              "  answer time median %.2f ms, 99th percentile %.2f ms, worst %.2f ms\n",
              kSlow, connections.load(), cutOff.load(), ms.size(), unanswered, at(0.5), at(0.99), ms.empty() ? -1.0 : ms.back());
}

}  // namespace

int main(int argc, char** argv) {
  std::string address = argc > 1 ? argv[1] : "";
  const std::string prefix = "http://127.0.0.1:";
  if (address.rfind(prefix, 0) != 0) {
    std::fprintf(stderr, "usage: %s http://127.0.0.1:PORT/?token=TOKEN [SECONDS]\n", argv[0]);
    return 2;
  }
  port = std::atoi(address.c_str() + prefix.size());
  // A server without tokens (an older build) is measured all the same.
  if (size_t mark = address.find("?token="); mark != std::string::npos) token = address.substr(mark + 7);
  else token = std::string(32, '0');
  hostileRequests();
  slowClients(argc > 2 ? std::atoi(argv[2]) : 15);
  return 0;
}
