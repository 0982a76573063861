// The browser desktop's server side: what a request body may say, how a
// command acts on the simulated desktop and shows in the description the
// page draws, and the HTTP server answering this machine only.
#include <httplib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "Fixture.h"
#include "frontends/web/Input.h"
#include "frontends/web/Server.h"
#include "frontends/web/Session.h"
#include "frontends/web/State.h"

namespace tl::test {
namespace {

using nlohmann::json;
using web::Command;

TEST(WebInput, MalformedBodiesAreRefusedAndGoodOnesParseToTheirFields) {
  const char* refused[] = {
      "", "{", "[]", "null", "\"click\"", "{\"type\":\"click\",\"item\":", "{\"item\":\"arrow\"}",
      R"({"type":"teleport"})", R"({"type":42})", R"({"type":""})", R"({"type":"click"})",
      R"({"type":"click","item":42})", R"({"type":"click","item":""})", R"({"type":"click","item":["arrow"]})",
      "{\"type\":\"click\",\"item\":\"\xff\xfe\"}", R"({"type":"click","item":"arrow","modifiers":"ctrl"})",
      R"({"type":"click","item":"arrow","modifiers":["hyper"]})", R"({"type":"click","item":"arrow","modifiers":[1]})",
      R"({"type":"drag","item":"Dropbox","other":"separator"})", R"({"type":"drag","item":"A","other":"B","leftOf":1})",
      R"({"type":"key"})", R"({"type":"key","combo":"ctrl+opt+cmd+"})", R"({"type":"key","combo":"hyper+b"})",
      R"({"type":"key","combo":"ctrl+opt"})", R"({"type":"menu"})", R"({"type":"menu","close":false})",
      R"({"type":"menu","close":"yes"})", R"({"type":"menu","close":1})", R"({"type":"menu","choose":7})",
      R"({"type":"alert"})", R"({"type":"window","action":"explode","row":"显示分隔线"})",
      R"({"type":"window","action":"switch"})", R"({"type":"window","action":"slide","row":"收起延时"})",
      R"({"type":"window","action":"slide","row":"收起延时","value":"5"})",
      R"({"type":"window","action":"slide","row":"收起延时","value":1e999})",
      R"({"type":"window","action":"slide","row":"收起延时","value":NaN})",
      R"({"type":"window","action":"pick","row":"全局快捷键","value":3})", R"({"type":"fault","fault":"gremlins"})",
      R"({"type":"fault","fault":"next-item","kind":"no-wheel"})", R"({"type":"fault","fault":"all","kind":"no-button"})",
      R"({"type":"fault","fault":"symbol","name":"chevron.left"})", R"({"type":"fault","fault":"hotkey-taken","combo":"b+"})"};
  for (const char* body : refused) {
    web::Parsed p;
    ASSERT_NO_THROW(p = web::parseCommand(body)) << body;
    EXPECT_FALSE(p.command) << body;
    EXPECT_FALSE(p.error.empty()) << body;
  }
  EXPECT_FALSE(web::parseCommand(json{{"type", "click"}, {"item", std::string(600, 'x')}}.dump()).command);
  // A byte 0 ends the parser's input: what came before it is not the body.
  EXPECT_FALSE(web::parseCommand(std::string(R"({"type":"click","item":"arrow"})") + '\0' + "x").command);

  auto parse = [](const json& j) {
    auto p = web::parseCommand(j.dump());
    EXPECT_TRUE(p.command) << j.dump() << ": " << p.error;
    return p.command.value_or(Command{});
  };
  auto c = parse({{"type", "click"}, {"item", "arrow"}, {"modifiers", {"ctrl", "cmd"}}});
  EXPECT_EQ(c.kind, Command::Kind::Click);
  EXPECT_EQ(c.item, "arrow");
  EXPECT_EQ(c.modifiers, kEventModifierFlagControl | kEventModifierFlagCommand);
  c = parse({{"type", "key"}, {"combo", "ctrl+opt+cmd+b"}});
  EXPECT_EQ(c.keyCode, kVK_ANSI_B);
  EXPECT_EQ(c.carbonModifiers, static_cast<uint32_t>(controlKey | optionKey | cmdKey));
  EXPECT_EQ(parse({{"type", "menu"}, {"close", true}}).kind, Command::Kind::MenuClose);
  c = parse({{"type", "window"}, {"action", "slide"}, {"row", "收起延时"}, {"value", -3.5}});
  EXPECT_TRUE(c.kind == Command::Kind::WindowSlide && c.value == -3.5);  // the slider clamps it
  c = parse({{"type", "window"}, {"action", "move"}, {"x", 10}, {"y", -20.5}});
  EXPECT_TRUE(c.kind == Command::Kind::WindowMove && c.x == 10 && c.y == -20.5);
  c = parse({{"type", "fault"}, {"fault", "all"}, {"kind", "no-screen"}, {"on", true}});
  EXPECT_TRUE(c.kind == Command::Kind::Fault && c.other == "no-screen" && c.flag);
}

TEST(WebTail, CutsAtALineOrCharacterBoundaryAndSaysSo) {
  std::string dir = makeTempDir();
  auto write = [&](const std::string& text) {
    std::ofstream(dir + "/f", std::ios::binary) << text;
    return dir + "/f";
  };
  bool cut = true;
  EXPECT_EQ(web::tailOfFile(dir + "/missing", 100, &cut), "");
  EXPECT_FALSE(cut);
  std::string path = write("one\ntwo\nthree\n");
  EXPECT_EQ(web::tailOfFile(path, 100, &cut), "one\ntwo\nthree\n");
  EXPECT_FALSE(cut);
  EXPECT_EQ(web::tailOfFile(path, 8, &cut), "three\n");  // "o\n" is the end of a line
  EXPECT_TRUE(cut);
  EXPECT_EQ(web::tailOfFile(path, 10, &cut), "two\nthree\n");  // a whole line that fits stays
  EXPECT_TRUE(cut);
  EXPECT_EQ(web::tailOfFile(path, 0, &cut), "");
  EXPECT_TRUE(cut);
  EXPECT_EQ(web::tailOfFile(path, static_cast<size_t>(-1), &cut), "one\ntwo\nthree\n");
  EXPECT_FALSE(cut);
  // As lines keyed by where they start, for the page's patches.
  EXPECT_EQ(web::tailLines(path, 10, &cut), (json{{"0000000000000004", "two\n"}, {"0000000000000008", "three\n"}}));
  EXPECT_TRUE(cut);
  // One long line: no boundary to cut at, but never half a character.
  path = write("收起收起收起");
  for (size_t max = 1; max <= 18; ++max) {
    std::string tail = web::tailOfFile(path, max, &cut);
    EXPECT_EQ(tail, std::string("收起收起收起").substr(18 - max / 3 * 3)) << max;
    EXPECT_EQ(cut, max < 18) << max;
  }
  std::filesystem::remove_all(dir);
}

TEST(WebLoopback, OnlyThisMachineByNameOrAddress) {
  for (const char* host : {"127.0.0.1", "127.0.0.1:8765", "localhost", "LocalHost:1", "[::1]", "[::1]:65535"})
    EXPECT_TRUE(web::isLoopbackHost(host)) << host;
  for (const char* host : {"", ":8765", "127.0.0.1.evil.com", "127.0.0.1.evil.com:8765", "localhost.evil", "evil.localhost",
                           "[::1]x", "[::1", "[::1]:", "127.0.0.1:", "127.0.0.1:80:80", "127.0.0.1:8o", "127.0.0.1:1234567",
                           "evil.com@127.0.0.1", "127.0.0.1@evil.com", "user:pw@localhost", " localhost", "localhost ",
                           "127.0.0.2", "0.0.0.0", "[::2]", "127.0.0.1/x", "localhost\r\nX: y"})
    EXPECT_FALSE(web::isLoopbackHost(host)) << host;
  for (const char* origin : {"http://127.0.0.1:8765", "HTTP://localhost", "http://[::1]:80"})
    EXPECT_TRUE(web::isLoopbackOrigin(origin)) << origin;
  for (const char* origin : {"", "null", "http://", "127.0.0.1", "https://127.0.0.1", "http://127.0.0.1.evil.com",
                             "http://evil.com#127.0.0.1", "http://localhost@evil.com", "http://evil.com/http://localhost",
                             "file://", "ws://localhost"})
    EXPECT_FALSE(web::isLoopbackOrigin(origin)) << origin;
}

// The JSON control of a settings row, anywhere in a window's view tree.
const json* control(const json& node, const std::string& row) {
  if (node.value("row", "") == row) return &node;
  if (node.contains("children"))
    for (const auto& child : node["children"])
      if (auto* found = control(child, row)) return found;
  return nullptr;
}

const json& item(const json& state, const std::string& name) {
  for (const auto& i : state["items"])
    if (i["name"] == name) return i;
  static const json none;
  return none;
}

class WebDesktop : public Desktop {
 protected:
  json describe() {
    json j;
    desktop->onMain([&] { j = web::describeDesktop(*desktop, faults); });
    return j;
  }
  web::Outcome send(const json& body) {
    auto p = web::parseCommand(body.dump());
    EXPECT_TRUE(p.command) << body.dump() << ": " << p.error;
    return p.command ? web::applyCommand(*desktop, faults, *p.command) : web::Outcome{};
  }
  web::FaultBook faults;
};

TEST_F(WebDesktop, CommandsActOnTheDesktopAndTheDescriptionShowsWhatIsThere) {
  auto& d = launch();
  d.advance(0.7);
  json s = describe();
  EXPECT_EQ(s["alert"]["message"], "Tuckline 使用说明");
  ASSERT_TRUE(send({{"type", "alert"}, {"button", "知道了"}}).ok);

  ASSERT_TRUE(send({{"type", "drag"}, {"item", "Dropbox"}, {"other", "separator"}, {"leftOf", true}}).ok);
  ASSERT_TRUE(send({{"type", "click"}, {"item", "arrow"}}).ok);
  d.advance(0.3);
  s = describe();
  EXPECT_TRUE(s["alert"].is_null());
  EXPECT_TRUE(s["app"]["collapsed"]);
  EXPECT_EQ(item(s, "separator")["length"], 10000.0);
  EXPECT_EQ(item(s, "arrow")["image"]["symbol"], "chevron.left");
  EXPECT_FALSE(item(s, "Dropbox")["visible"]);
  EXPECT_TRUE(item(s, "Slack")["visible"]);
  bool logged = false;
  for (const auto& line : s["panel"]["log"]) logged = logged || line.get<std::string>().find("] 切换为收起\n") != std::string::npos;
  EXPECT_TRUE(logged);

  // Refused on the desktop: a reason, and nothing changed.
  const std::pair<json, std::string> wrong[] = {
      {json{{"type", "click"}, {"item", "Nowhere"}}, "cannot click Nowhere"},
      {json{{"type", "drag"}, {"item", "Clock"}, {"other", "Dropbox"}, {"leftOf", true}},
       "cannot drag Clock next to Dropbox"},
      {json{{"type", "menu"}, {"choose", "设置…"}}, "no such menu item: 设置…"},
      {json{{"type", "alert"}, {"button", "知道了"}}, "no alert button 知道了"},
      {json{{"type", "window"}, {"action", "switch"}, {"row", "显示分隔线"}}, "no such control in the open window"}};
  for (const auto& [body, why] : wrong) {
    auto out = send(body);
    EXPECT_FALSE(out.ok) << body.dump();
    EXPECT_EQ(out.message, why);
    EXPECT_EQ(describe(), s) << body.dump();
  }

  ASSERT_TRUE(send({{"type", "rightClick"}, {"item", "arrow"}}).ok);
  s = describe();
  EXPECT_EQ(s["menu"]["under"], "arrow");
  ASSERT_EQ(s["menu"]["items"].size(), 10u);
  EXPECT_EQ(s["menu"]["items"][0]["title"], "显示图标");
  EXPECT_EQ(s["menu"]["items"][6]["keyLabel"], "⌘,");
  EXPECT_EQ(s["menu"]["items"][9]["keyLabel"], "⌘Q");
  ASSERT_TRUE(send({{"type", "menu"}, {"choose", "cmd+,"}}).ok);
  s = describe();
  EXPECT_TRUE(s["menu"].is_null());
  ASSERT_EQ(s["windows"].size(), 1u);
  EXPECT_EQ(s["windows"][0]["title"], "Tuckline 设置");
  auto row = [&](const char* title) {
    const json* c = control(s["windows"][0]["view"], title);
    return c ? *c : json::object();
  };
  EXPECT_EQ(row("显示分隔线")["on"], true);
  ASSERT_TRUE(send({{"type", "window"}, {"action", "switch"}, {"row", "显示分隔线"}}).ok);
  ASSERT_TRUE(send({{"type", "window"}, {"action", "slide"}, {"row", "收起延时"}, {"value", 1e300}}).ok);
  s = describe();
  EXPECT_EQ(row("显示分隔线")["on"], false);
  EXPECT_EQ(row("收起延时")["value"], row("收起延时")["max"]);
  EXPECT_NE(s["panel"]["defaults"].get<std::string>().find("showSeparator = 0"), std::string::npos);

  // Faults the page threw show in its account and take effect.
  ASSERT_TRUE(send({{"type", "fault"}, {"fault", "symbol"}, {"name", "chevron.right"}, {"missing", true}}).ok);
  ASSERT_TRUE(send({{"type", "fault"}, {"fault", "hotkey-taken"}, {"combo", "ctrl+opt+cmd+h"}}).ok);
  ASSERT_TRUE(send({{"type", "fault"}, {"fault", "next-item"}, {"kind", "no-button"}}).ok);
  s = describe();
  EXPECT_EQ(s["panel"]["faults"]["missingSymbols"], json({"chevron.right"}));
  EXPECT_EQ(s["panel"]["faults"]["takenHotKeys"], json({"ctrl+opt+cmd+h"}));
  EXPECT_EQ(s["panel"]["faults"]["nextItem"], json({"no-button"}));
  // 复位 makes both items anew, the arrow first: it takes the queued fault.
  ASSERT_TRUE(send({{"type", "window"}, {"action", "button"}, {"title", "复位"}}).ok);
  s = describe();
  EXPECT_EQ(s["panel"]["faults"]["nextItem"], json::array());
  EXPECT_FALSE(item(s, "arrow")["button"]);
  EXPECT_TRUE(item(s, "separator")["button"]);
  ASSERT_TRUE(send({{"type", "window"}, {"action", "close"}}).ok);
  EXPECT_EQ(describe()["windows"], json::array());
}

// The items and the logs' lines, told as what changed, add up to the whole
// description: a log that grew is read on from its end (the lines its
// start passed dropped), one replaced or with a line still open is read
// anew.
TEST_F(WebDesktop, KeptPartsChangeByWhatChangedAndAddUpToTheWholeDescription) {
  auto& d = launch();
  d.advance(0.7);
  web::FileCache files;
  web::KeptParts kept;
  std::map<std::string, std::pair<uint64_t, json>> page;  // each part as a follower of the changes has it
  auto check = [&](const std::string& changedBy) {
    json state, whole;
    d.onMain([&] {
      state = web::describeDesktop(d, faults, &files, &kept);
      whole = web::describeDesktop(d, faults);
    });
    EXPECT_FALSE(state.contains("items"));
    for (const auto& [path, part] : kept.parts) {
      auto& [version, value] = page[path];
      bool follows = part->from != 0 && part->from == version;
      if (path == changedBy) {
        EXPECT_TRUE(follows) << path;
      }
      value = follows ? value.patch(part->ops) : part->value;
      version = part->version;
      EXPECT_EQ(value, whole[json::json_pointer(path)]) << path;
    }
  };
  check("");
  std::string record = "[2026-12-05 09:00:00] 切换为收起\n" + std::string(250, '-') + "\n";
  auto append = [&](const std::string& text) { std::ofstream(d.logPath(), std::ios::app) << text; };
  for (int i = 0; i < 300; ++i) append(record);
  check("");
  append(record);
  check("/panel/log");
  EXPECT_LT(page["/panel/log"].second.size(), 2 * 300u);  // lines past the start went
  ASSERT_TRUE(send({{"type", "click"}, {"item", "arrow"}}).ok);
  d.advance(0.3);
  check("/items");
  append("[2026-12-05 09:00:01] half a line");
  check("/panel/log");
  append(" and its end\n");
  check("");
  std::ofstream(d.logPath() + ".new") << record;
  std::filesystem::rename(d.logPath() + ".new", d.logPath());
  check("");
  EXPECT_EQ(page["/panel/log"].second.size(), 2u);
}

// Session and server wired as tuckline-web does, on a port of their own.
class WebServer : public Desktop {
 protected:
  struct Running {
    web::Session session;
    web::Server server{session};
    std::thread http;
    int port = -1;
    explicit Running(sim::SimDesktop::Config c, std::function<void(const sim::NoticeText&)> tell = {})
        : session(std::move(c)) {
      session.onNotice(std::move(tell));
      port = server.bind("127.0.0.1", 0);
      session.launch();
      if (port > 0) http = std::thread([this] { server.run(); });
    }
    ~Running() {
      session.close();
      server.stop();
      if (http.joinable()) http.join();
    }
  };
};

TEST_F(WebServer, AnswersOnlyItsOwnPageAndInputChangesTheState) {
  store("didShowIntro", Value(true));
  sim::SimDesktop::Config config;
  config.home = home;
  Running r(config);
  ASSERT_GT(r.port, 0);
  httplib::Client client("127.0.0.1", r.port);
  const std::string port = std::to_string(r.port), token = r.server.token();
  EXPECT_EQ(r.server.address(), "http://127.0.0.1:" + port + "/?token=" + token);
  EXPECT_EQ(token.size(), 32u);
  EXPECT_NE(token, web::Server(r.session).token());

  auto page = client.Get("/");  // also: the server is listening from here on
  ASSERT_TRUE(page);
  EXPECT_TRUE(page->status == 200 && page->body.find("<title>Tuckline") != std::string::npos);
  EXPECT_EQ(page->get_header_value("X-Frame-Options"), "DENY");
  // What the page sends: its token, and its own origin on changes.
  auto ours = [&](httplib::Headers headers) {
    for (const auto& [name, value] : httplib::Headers{{"X-Tuckline-Token", token}, {"Origin", "http://127.0.0.1:" + port}})
      if (!headers.count(name)) headers.emplace(name, value);
    return headers;
  };
  auto state = [&] {
    auto res = client.Get("/api/state", ours({}));
    EXPECT_TRUE(res && res->status == 200);
    return res ? json::parse(res->body, nullptr, false) : json();
  };
  auto post = [&](const std::string& body, httplib::Headers headers = {}) {
    auto res = client.Post("/api/input", ours(std::move(headers)), body, "application/json");
    return res ? res->status : -1;
  };
  json before = state();
  ASSERT_TRUE(before.is_object());
  EXPECT_FALSE(before["terminated"]);
  EXPECT_FALSE(before["app"]["collapsed"]);

  const std::string click = R"({"type":"click","item":"arrow"})";
  auto lookAlike = client.Get("/api/state", ours({{"Host", "127.0.0.1.evil.com:" + port}}));
  EXPECT_TRUE(lookAlike && lookAlike->status == 403 && lookAlike->body.find("\"items\"") == std::string::npos);
  auto without = client.Get("/api/state");
  EXPECT_TRUE(without && without->status == 401 && without->body.find("\"items\"") == std::string::npos);
  auto wrong = client.Get("/api/events?token=" + std::string(32, '0'));
  EXPECT_TRUE(wrong && wrong->status == 403 && json::parse(wrong->body)["error"] == "wrong-token");
  EXPECT_EQ(post(click, {{"X-Tuckline-Token", token.substr(1) + "x"}}), 403);
  EXPECT_EQ(post(click, {{"Host", "localhost.evil"}}), 403);
  EXPECT_EQ(post(click, {{"Origin", "http://localhost.evil:" + port}}), 403);
  EXPECT_EQ(post(click, {{"Origin", "http://127.0.0.1:" + std::to_string(r.port + 1)}}), 403);
  EXPECT_EQ(post(click, {{"Origin", "null"}}), 403);
  EXPECT_EQ(post(click, {{"Origin", ""}}), 403);
  EXPECT_EQ(post(R"({"type":"menu","close":"yes"})"), 400);
  // The limit itself is allowed; one byte more is not read at all.
  std::string padded = R"({"type":"click","item":"Nowhere"})";
  padded += std::string(web::Server::kMaxBody - padded.size(), ' ');
  EXPECT_EQ(post(padded), 409);
  EXPECT_EQ(post(padded + " "), 413);
  json after = state();
  EXPECT_EQ(after["items"], before["items"]);
  EXPECT_EQ(after["app"], before["app"]);

  // Clients that trickle their request, or never finish it, hold no worker:
  // more of them than there are workers, and more than may wait at once,
  // and the state still answers.
  std::vector<int> slow;
  for (int k = 0; k < 150; ++k) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(r.port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) send(fd, "GET /api/st", 11, MSG_NOSIGNAL);
    slow.push_back(fd);
  }
  EXPECT_TRUE(state()["app"].is_object());
  for (int fd : slow) close(fd);

  // From our own page, by either name.
  EXPECT_EQ(post(click, {{"Origin", "http://127.0.0.1:" + port}}), 200);
  after = state();
  EXPECT_TRUE(after["app"]["collapsed"]);
  EXPECT_GT(after["version"], before["version"]);
  EXPECT_EQ(post(click, {{"Host", "localhost:" + port}, {"Origin", "http://localhost:" + port}}), 200);
  EXPECT_FALSE(state()["app"]["collapsed"]);

  // Launch only when the application has quit; no input meanwhile.
  EXPECT_EQ(post(R"({"type":"launch"})"), 409);
  EXPECT_EQ(post(R"({"type":"rightClick","item":"arrow"})"), 200);
  EXPECT_EQ(post(R"({"type":"menu","choose":"cmd+q"})"), 200);
  r.session.waitUntilEnded();
  EXPECT_TRUE(state()["terminated"]);
  auto refused = client.Post("/api/input", ours({}), click, "application/json");
  ASSERT_TRUE(refused && refused->status == 409);
  EXPECT_EQ(json::parse(refused->body)["error"], "Tuckline is not running");
  EXPECT_EQ(post(R"({"type":"launch"})"), 200);
  after = state();
  EXPECT_FALSE(after["terminated"]);
  EXPECT_FALSE(item(after, "arrow").empty());
}

// A stream sends the whole state once, then JSON Patch documents; applied
// in order they give exactly the state the server has, and a click costs a
// small part of the whole even with a long log shown.
TEST_F(WebServer, StreamPatchesRebuildTheStateAndCarryOnlyTheChange) {
  store("didShowIntro", Value(true));
  std::string record = "[2026-12-05 09:00:00] 切换为收起\n  菜单栏高度=24.0\n" + std::string(200, '-') + "\n";
  std::ofstream log(home + "/Library/Logs/Tuckline.log");
  for (int i = 0; i < 400; ++i) log << record;
  log.close();
  sim::SimDesktop::Config config;
  config.home = home;
  Running r(config);
  uint64_t stream = r.session.openStream();
  web::Session::Update u;
  ASSERT_EQ(r.session.waitForChange(stream, 0, std::chrono::seconds(5), u), web::Session::Wait::Changed);
  ASSERT_EQ(u.event, "state");
  json page = json::parse(u.data);
  size_t whole = u.data.size(), largest = 0;
  // Takes every update there is; then the page must equal the server's state.
  auto follow = [&] {
    for (;;) {
      while (r.session.waitForChange(stream, page["version"], std::chrono::milliseconds(400), u) ==
             web::Session::Wait::Changed) {
        ASSERT_EQ(u.event, "patch");
        json update = json::parse(u.data);
        ASSERT_EQ(update["from"], page["version"]);
        page = page.patch(update["patch"]);
        page["version"] = update["version"];
        largest = std::max(largest, u.data.size());
      }
      auto full = r.session.snapshot(false);
      if (full.version == page["version"]) {
        EXPECT_EQ(page, json::parse(full.json));
        return;
      }
    }
  };
  for (const char* input : {R"({"type":"click","item":"arrow"})", R"({"type":"click","item":"arrow"})",
                            R"({"type":"drag","item":"Dropbox","other":"separator","leftOf":true})"}) {
    EXPECT_EQ(r.session.input(input).first, 200) << input;
    follow();
  }
  // Clicks, their log records and a drag: a few hundred bytes each (two
  // may come as one when the stream falls behind), not the whole again.
  EXPECT_GT(whole, 64u * 1024);
  EXPECT_LT(largest * 16, whole);
  for (const char* input : {R"({"type":"rightClick","item":"arrow"})", R"({"type":"menu","choose":"设置…"})",
                            R"({"type":"window","action":"move","x":100,"y":50})",
                            R"({"type":"window","action":"switch","row":"显示分隔线"})"}) {
    EXPECT_EQ(r.session.input(input).first, 200) << input;
    follow();
  }
  // The window went where it was dragged, its title bar below the menu bar.
  EXPECT_EQ(page["windows"][0]["frame"]["x"], 100);
  EXPECT_EQ(page["windows"][0]["frame"]["y"], 50);
  r.session.closeStream(stream);
}

// What the page is told besides the screen: which copy it shows, a damaged
// preferences file once (at the terminal too), and a record another writer
// appends to the log, at once and without any input.
TEST_F(WebServer, TellsWhatItShowsWhatWentWrongAndWhatOthersWrote) {
  const std::string plist = home + "/Library/Preferences/com.ferrowick.tuckline.plist";
  std::ofstream(plist) << "not a property list";
  sim::SimDesktop::Config config;
  config.home = home;
  std::vector<std::string> told;
  std::mutex toldMu;
  Running r(config, [&](const sim::NoticeText& n) {
    std::lock_guard lock(toldMu);
    told.push_back(n.text);
  });
  json state = json::parse(r.session.snapshot(true).json);
  EXPECT_EQ(state["shows"], json({{"pid", getpid()}, {"how", "this browser desktop's own copy"}}));
  ASSERT_EQ(state["notices"].size(), 1u) << state["notices"];
  EXPECT_EQ(state["notices"][0]["id"], "damaged-preferences:" + plist + ".corrupt");
  const std::string text = state["notices"][0]["text"];
  EXPECT_NE(text.find(plist + " could not be read; its bytes were kept in " + plist + ".corrupt"), std::string::npos);
  EXPECT_NE(text.find("back to their defaults until you change them"), std::string::npos);
  EXPECT_EQ(readFile(plist + ".corrupt"), "not a property list");
  {
    std::lock_guard lock(toldMu);
    EXPECT_EQ(told, std::vector<std::string>{text});
  }

  uint64_t stream = r.session.openStream();
  web::Session::Update u;
  ASSERT_EQ(r.session.waitForChange(stream, 0, std::chrono::seconds(5), u), web::Session::Wait::Changed);
  uint64_t seen = u.version;
  std::ofstream(home + "/Library/Logs/Tuckline.log", std::ios::app) << "[2026-12-06 12:00:00] 另一个进程写的\n";
  std::string patches;
  while (patches.find("另一个进程写的") == std::string::npos &&
         r.session.waitForChange(stream, seen, std::chrono::seconds(5), u) == web::Session::Wait::Changed) {
    patches += u.data;
    seen = u.version;
  }
  EXPECT_NE(patches.find("另一个进程写的"), std::string::npos);
  // Quit: nothing is shown, and the notice stays.
  EXPECT_EQ(r.session.input(R"({"type":"terminate"})").first, 200);
  r.session.waitUntilEnded();
  state = json::parse(r.session.snapshot(true).json);
  EXPECT_TRUE(state["shows"].is_null());
  EXPECT_EQ(state["notices"].size(), 1u);
  r.session.closeStream(stream);
}

}  // namespace
}  // namespace tl::test
