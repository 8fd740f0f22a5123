#include "shiftwell/platform/http_request.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <vector>

namespace shiftwell {
namespace {

using namespace std::chrono_literals;
using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

// Waits in the tests are bounds against hangs, never measurements.
constexpr auto kHangBound = 60s;

// Handlers wait on it; open() releases every wait begun before it, so the
// gate can serve one test after another.
class Gate {
 public:
  void open() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++generation_;
    }
    opened_.notify_all();
  }
  bool wait_for(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    const unsigned begun = generation_;
    return opened_.wait_for(lock, limit, [&] { return generation_ != begun; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  unsigned generation_ = 0;
};

// A latched signal: once set, every wait returns at once until reset.
class Event {
 public:
  void set() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      set_ = true;
    }
    changed_.notify_all();
  }
  void reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = false;
  }
  bool wait_for(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return set_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool set_ = false;
};

struct Seen {
  std::string method;
  std::string path;
  std::string body;
  httplib::Headers headers;  // as the client sent them
  int remote_port;
};

// A server on a free port of 127.0.0.1 that records every request and
// answers it with the current handler.
class LocalServer {
 public:
  explicit LocalServer(std::unique_ptr<httplib::Server> server, bool tls = false, time_t keep_alive_s = 1)
      : server_(std::move(server)), scheme_(tls ? "https" : "http") {
    server_->new_task_queue = [] { return new httplib::ThreadPool(32); };
    server_->set_keep_alive_max_count(1000);
    // Idle connections of the clients hold a server thread this long when
    // the server stops.
    server_->set_keep_alive_timeout(keep_alive_s);
    // Routes see the body; the library has none for TRACE and CONNECT, which
    // are answered before routing (they carry no body here).
    const auto route = [this](const httplib::Request& req, httplib::Response& res) { answer(req, res); };
    server_->Get(".*", route).Post(".*", route).Put(".*", route).Delete(".*", route).Options(".*", route);
    server_->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
      if (req.method != "TRACE" && req.method != "CONNECT")
        return httplib::Server::HandlerResponse::Unhandled;
      answer(req, res);
      return httplib::Server::HandlerResponse::Handled;
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    for (auto until = std::chrono::steady_clock::now() + kHangBound;
         !server_->is_running() && std::chrono::steady_clock::now() < until;)
      std::this_thread::sleep_for(1ms);
  }
  ~LocalServer() {
    gate.open();
    server_->stop();
    thread_.join();
  }
  bool started() const { return port_ > 0 && server_->is_running(); }
  std::string url(const std::string& path) const {
    return scheme_ + "://127.0.0.1:" + std::to_string(port_) + path;
  }
  // Back to the greeting handler with nothing seen; releases waiting handlers.
  void reset() {
    gate.open();
    arrived.reset();
    std::lock_guard<std::mutex> lock(mutex_);
    seen_.clear();
    handler_ = greeting;
  }
  void handle(Handler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    handler_ = std::move(handler);
  }
  std::vector<Seen> seen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }
  Seen last() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_.empty() ? Seen{} : seen_.back();
  }

  Gate gate;      // handlers may wait on it; opened at the end of a test
  Event arrived;  // handlers may set it to say a request has come in

 private:
  static void greeting(const httplib::Request& req, httplib::Response& res) {
    res.set_content("hello " + req.method, "text/plain");
  }
  void answer(const httplib::Request& req, httplib::Response& res) {
    Handler handler;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      seen_.push_back(Seen{req.method, req.path, req.body, client_headers(req), req.remote_port});
      handler = handler_;
    }
    handler(req, res);
  }

  // The server library adds these to what it received; take its additions
  // (the last of each name) away again.
  static httplib::Headers client_headers(const httplib::Request& req) {
    httplib::Headers headers = req.headers;
    for (const char* added : {"REMOTE_ADDR", "REMOTE_PORT", "LOCAL_ADDR", "LOCAL_PORT"}) {
      auto range = headers.equal_range(added);
      if (range.first == range.second) continue;
      auto last = range.first;
      for (auto it = range.first; it != range.second; ++it) last = it;
      headers.erase(last);
    }
    return headers;
  }

  std::unique_ptr<httplib::Server> server_;
  std::string scheme_;
  int port_ = -1;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<Seen> seen_;
  Handler handler_ = greeting;
};

std::vector<std::string> values_of(const httplib::Headers& headers, const std::string& name) {
  std::vector<std::string> values;
  auto range = headers.equal_range(name);
  for (auto it = range.first; it != range.second; ++it) values.push_back(it->second);
  return values;
}

// One server per suite: a stopping server waits out the keep-alive time of
// every connection that a client still holds open.
class HttpRequestTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { shared = new LocalServer(std::make_unique<httplib::Server>()); }
  static void TearDownTestSuite() {
    delete shared;
    shared = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(server.started()); }
  void TearDown() override { server.reset(); }

  static LocalServer* shared;
  LocalServer& server = *shared;
};
LocalServer* HttpRequestTest::shared = nullptr;

// --- What the server receives: the default header table -----------------

constexpr const char* kUserAgent =
    "Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/50.0.2661.87 "
    "Safari/537.36";

struct HeaderCase {
  const char* name;
  int method;
  std::string extra_headers;
  std::optional<std::string> client_address;
  std::string cookies;
  // name -> every value received, in order; "{url}" stands for the URL.
  std::map<std::string, std::vector<std::string>> expected;
  std::vector<std::string> absent;
};

const std::vector<HeaderCase>& header_cases() {
  static const std::vector<HeaderCase> cases = {
      {"TokenLineGetsAllDefaults",
       0,
       "user-token:abc123",
       {},
       "",
       {{"user-token", {"abc123"}},
        {"Accept", {"*/*"}},
        {"Referer", {"{url}"}},
        {"Accept-Language", {"zh-cn"}},
        {"User-Agent", {kUserAgent}}},
       {"Content-Type", "Cookie", "X-Forwarded-For", "CLIENT_IP", "VIA", "REMOTE_ADDR", "Expect"}},
      {"AcceptLanguageSuppressesAcceptToo",
       0,
       "Accept-Language: en",
       {},
       "",
       {{"Accept-Language", {"en"}}, {"Referer", {"{url}"}}, {"User-Agent", {kUserAgent}}},
       {"Accept"}},
      {"PostGetsContentType",
       1,
       "",
       {},
       "",
       {{"Content-Type", {"application/x-www-form-urlencoded"}}, {"Accept", {"*/*"}}},
       {}},
      {"GivenContentTypeAnyCaseWins",
       1,
       "content-type: text/plain",
       {},
       "",
       {{"Content-Type", {"text/plain"}}},
       {}},
      {"PutGetsNoContentType", 3, "", {}, "", {}, {"Content-Type"}},
      {"GivenHeadersWinOverDefaults",
       0,
       "Accept: text/html\r\nReferer: http://elsewhere/\r\nUser-Agent: mine",
       {},
       "",
       {{"Accept", {"text/html"}},
        {"Referer", {"http://elsewhere/"}},
        {"User-Agent", {"mine"}},
        {"Accept-Language", {"zh-cn"}}},
       {}},
      {"WordInsideAnotherNameSuppresses",
       0,
       "X-User-Agent-Note: 1",
       {},
       "",
       {{"X-User-Agent-Note", {"1"}}, {"Accept", {"*/*"}}},
       {"User-Agent"}},
      {"ClientAddressHeaders",
       0,
       "",
       std::string("10.1.2.3"),
       "",
       {{"X-Forwarded-For", {"10.1.2.3"}},
        {"CLIENT_IP", {"10.1.2.3"}},
        {"VIA", {"10.1.2.3"}},
        {"REMOTE_ADDR", {"10.1.2.3"}}},
       {}},
      // The client-address tests are exact-case: "via" does not count as "VIA".
      {"ClientAddressTestsAreExactCase",
       0,
       "VIA: proxy\r\nx-forwarded-for: 1.1.1.1",
       std::string("10.1.2.3"),
       "",
       {{"VIA", {"proxy"}}, {"X-Forwarded-For", {"1.1.1.1", "10.1.2.3"}}, {"CLIENT_IP", {"10.1.2.3"}}},
       {}},
      {"LinesAreTrimmedAndBadLinesSkipped",
       0,
       "  X-Spaced  :   v w  \r\nno colon here\r\n: nameless\r\n\r\nX-Empty:\r\nX-Colons: a:b",
       {},
       "",
       {{"X-Spaced", {"v w"}}, {"X-Colons", {"a:b"}}},
       {"no colon here"}},
      {"CookiesSentAsCookieHeader", 0, "", {}, "k=v; m=n", {{"Cookie", {"k=v; m=n"}}}, {}},
  };
  return cases;
}

class RequestHeaders : public HttpRequestTest, public testing::WithParamInterface<HeaderCase> {};

TEST_P(RequestHeaders, ServerReceivesThem) {
  const HeaderCase& c = GetParam();
  const std::string url = server.url("/headers?x=1");
  HttpRequestOptions options;
  options.method = c.method;
  options.extra_headers = c.extra_headers;
  options.client_address = c.client_address;
  options.cookies = c.cookies;
  std::string error;
  options.error = &error;
  EXPECT_FALSE(http_request(url, options).empty()) << error;
  const Seen seen = server.last();
  for (const auto& [name, values] : c.expected) {
    std::vector<std::string> want = values;
    for (std::string& value : want)
      if (value == "{url}") value = url;
    EXPECT_EQ(values_of(seen.headers, name), want) << name;
  }
  for (const std::string& name : c.absent) EXPECT_EQ(seen.headers.count(name), 0u) << name;
}

INSTANTIATE_TEST_SUITE_P(Table, RequestHeaders, testing::ValuesIn(header_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RequestHeaderText, AppendsDefaultsInTheirOrderAndTestsOnlyTheGivenText) {
  // A URL that happens to contain "user-agent" or "VIA" still gets the
  // User-Agent and VIA defaults: only the caller's lines are searched.
  const std::string url = "http://h/?q=user-agent&r=VIA";
  EXPECT_EQ(request_header_text(url, "user-token:t", 1, std::string("9.9.9.9")),
            "user-token:t\r\nAccept: */*\r\nReferer: " + url +
                "\r\nAccept-Language: zh-cn\r\nUser-Agent: " + kUserAgent +
                "\r\nContent-Type: application/x-www-form-urlencoded"
                "\r\nX-Forwarded-For: 9.9.9.9\r\nCLIENT_IP: 9.9.9.9\r\nVIA: 9.9.9.9\r\nREMOTE_ADDR: 9.9.9.9");
}

// --- Methods and bodies ----------------------------------------------------

struct MethodCase {
  int method;
  std::string body_text;
  std::string body_bytes;
  const char* verb;
  std::string body_received;
};

class Methods : public HttpRequestTest, public testing::WithParamInterface<MethodCase> {};

TEST_P(Methods, ReachTheServerAsTheirVerb) {
  const MethodCase& c = GetParam();
  HttpRequestOptions options;
  options.method = c.method;
  options.body_text = c.body_text;
  options.body_bytes = c.body_bytes;
  int status = 0;
  options.status = &status;
  std::string error;
  options.error = &error;
  const std::string body = http_request(server.url("/m"), options);
  EXPECT_EQ(error, "");
  EXPECT_EQ(status, 200);
  EXPECT_EQ(http_verb(c.method), std::string(c.verb));
  const Seen seen = server.last();
  EXPECT_EQ(seen.method, c.verb);
  EXPECT_EQ(seen.body, c.body_received);
  EXPECT_EQ(seen.headers.count("Expect"), 0u);
  EXPECT_EQ(body, std::string(c.verb) == "HEAD" ? "" : "hello " + std::string(c.verb));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Methods,
    testing::Values(MethodCase{0, "", "", "GET", ""}, MethodCase{1, "", "", "POST", ""},
                    MethodCase{2, "", "", "HEAD", ""}, MethodCase{3, "", "", "PUT", ""},
                    MethodCase{4, "", "", "OPTIONS", ""}, MethodCase{5, "", "", "DELETE", ""},
                    MethodCase{6, "", "", "TRACE", ""}, MethodCase{7, "", "", "CONNECT", ""},
                    MethodCase{8, "", "", "GET", ""}, MethodCase{9, "", "", "GET", ""},
                    MethodCase{-1, "", "", "GET", ""}, MethodCase{1, "a=1&b=2", "", "POST", "a=1&b=2"},
                    MethodCase{1, "text", std::string("\0\x01\xff", 3), "POST", std::string("\0\x01\xff", 3)},
                    MethodCase{1, std::string(5000, 'x'), "", "POST", std::string(5000, 'x')},
                    MethodCase{3, "put body", "", "PUT", "put body"},
                    MethodCase{5, "delete body", "", "DELETE", "delete body"}));

// --- Response: headers, cookies, status, body ------------------------------

TEST_F(HttpRequestTest, ReturnsHeadersCookiesStatusAndRawBody) {
  const std::string raw("\x1f\x8b\0binary\r\n", 11);
  server.handle([&](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    res.set_header("Set-Cookie", "a=1; path=/");
    res.set_header("Set-Cookie", "b=2");
    res.set_header("X-One", "1");
    res.set_content(raw, "application/octet-stream");
  });
  std::string headers, cookies, error = "stale";
  int status = 0;
  HttpRequestOptions options;
  options.returned_headers = &headers;
  options.returned_cookies = &cookies;
  options.status = &status;
  options.error = &error;
  EXPECT_EQ(http_request(server.url("/c"), options), raw);
  EXPECT_EQ(status, 404);  // not an error: the body comes back
  EXPECT_EQ(error, "");
  EXPECT_EQ(cookies, "a=1; b=2");
  EXPECT_NE(headers.find("X-One: 1\r\n"), std::string::npos) << headers;
  EXPECT_NE(headers.find("Set-Cookie: a=1; path=/\r\n"), std::string::npos) << headers;
  EXPECT_EQ(headers.find("HTTP/"), std::string::npos) << headers;
  EXPECT_EQ(headers.find("\r\n\r\n"), std::string::npos) << headers;
  EXPECT_EQ(headers.substr(headers.size() - 2), "\r\n");
}

TEST_F(HttpRequestTest, CookiesAloneCanBeAskedFor) {
  server.handle([](const httplib::Request&, httplib::Response& res) {
    res.set_header("Set-Cookie", "sid=xyz; HttpOnly");
    res.set_content("ok", "text/plain");
  });
  std::string cookies;
  HttpRequestOptions options;
  options.returned_cookies = &cookies;
  EXPECT_EQ(http_request(server.url("/"), options), "ok");
  EXPECT_EQ(cookies, "sid=xyz");
}

struct CookieCase {
  std::string headers;
  std::string cookies;
};

class CookiesFromHeaders : public testing::TestWithParam<CookieCase> {};

TEST_P(CookiesFromHeaders, FollowTheSetCookieLines) {
  EXPECT_EQ(cookies_from_headers(GetParam().headers), GetParam().cookies);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CookiesFromHeaders,
    testing::Values(CookieCase{"Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n", "a=1; b=2"},
                    CookieCase{"Content-Type: text/html\r\n", ""}, CookieCase{"", ""},
                    CookieCase{"set-cookie: a=1\r\nSet-Cookie:  c=3  ;x\r\n", "c=3"},  // exact case only
                    CookieCase{"Set-Cookie: a=1; b=2; path=/\r\n", "a=1"},
                    CookieCase{"Set-Cookie: a=\r\n", "a="}));

TEST_F(HttpRequestTest, RedirectsAreFollowedUnlessSwitchedOff) {
  server.handle([](const httplib::Request& req, httplib::Response& res) {
    if (req.path == "/from") {
      res.set_redirect("/to");
      res.set_header("X-Step", "first");
      res.set_content("moved", "text/plain");
    } else {
      res.set_header("X-Step", "final");
      res.set_content("landed", "text/plain");
    }
  });
  for (bool no_redirects : {false, true}) {
    SCOPED_TRACE(no_redirects);
    int status = 0;
    std::string headers;
    HttpRequestOptions options;
    options.no_redirects = no_redirects;
    options.status = &status;
    options.returned_headers = &headers;
    const std::string body = http_request(server.url("/from"), options);
    EXPECT_EQ(body, no_redirects ? "moved" : "landed");
    EXPECT_EQ(status, no_redirects ? 302 : 200);
    // The headers are those of the last response only.
    EXPECT_NE(headers.find(no_redirects ? "X-Step: first" : "X-Step: final"), std::string::npos) << headers;
    EXPECT_EQ(headers.find(no_redirects ? "X-Step: final" : "X-Step: first"), std::string::npos) << headers;
  }
}

TEST(HttpRequestFailure, NothingListeningGivesEmptyBodyStatusZeroAndError) {
  std::string url;
  {  // a port that was served a moment ago and has nobody listening now
    LocalServer gone(std::make_unique<httplib::Server>());
    ASSERT_TRUE(gone.started());
    url = gone.url("/");
  }
  int status = -1;
  std::string error, headers = "stale", cookies = "stale";
  HttpRequestOptions options;
  options.status = &status;
  options.error = &error;
  options.returned_headers = &headers;
  options.returned_cookies = &cookies;
  EXPECT_EQ(http_request(url, options), "");
  EXPECT_EQ(status, 0);
  EXPECT_NE(error, "");
  EXPECT_EQ(headers, "");
  EXPECT_EQ(cookies, "");
}

TEST_F(HttpRequestTest, LineBreakInsideAHeaderLineIsRefusedUnsent) {
  for (const auto& [extra, cookies] : {std::pair<std::string, std::string>{"user-token:abc\nX-Evil: 1", ""},
                                       {"user-token:abc\r", ""},
                                       {"", "a=1\r\nX-Evil: 1"}}) {
    std::string error;
    HttpRequestOptions options;
    options.extra_headers = extra;
    options.cookies = cookies;
    options.error = &error;
    EXPECT_EQ(http_request(server.url("/"), options), "");
    EXPECT_NE(error, "");
  }
  EXPECT_TRUE(server.seen().empty());
}

TEST(HttpRequestFailure, BadUrlIsAnErrorNotABody) {
  std::string error;
  HttpRequestOptions options;
  options.error = &error;
  EXPECT_EQ(http_request("not a url", options), "");
  EXPECT_NE(error, "");
  EXPECT_EQ(http_request("file:///etc/hostname", options), "");  // only HTTP and HTTPS
  EXPECT_NE(error, "");
}

// --- Timeouts --------------------------------------------------------------

struct TimeoutCase {
  int timeout;
  long connect_ms;
  long silence_limit;
};

class PhaseTimeouts : public testing::TestWithParam<TimeoutCase> {};

TEST_P(PhaseTimeouts, FollowTheRule) {
  const HttpPhaseTimeouts limits = http_phase_timeouts(GetParam().timeout);
  EXPECT_EQ(limits.connect_ms, GetParam().connect_ms);
  EXPECT_EQ(limits.silence_limit, GetParam().silence_limit);
}

INSTANTIATE_TEST_SUITE_P(Table, PhaseTimeouts,
                         testing::Values(TimeoutCase{-1, 60000, 30}, TimeoutCase{0, 15000, 15},
                                         TimeoutCase{-2, 15000, 15}, TimeoutCase{-100, 15000, 15},
                                         TimeoutCase{1, 1000, 1}, TimeoutCase{30, 30000, 30}));

TEST_F(HttpRequestTest, SilentServerIsGivenUpAfterTheTimeout) {
  // The handler answers after 5 s at the latest; a 1 s limit must not wait
  // for that.
  server.handle([this](const httplib::Request&, httplib::Response& res) {
    server.gate.wait_for(5s);
    res.set_content("late", "text/plain");
  });
  int status = -1;
  std::string error;
  HttpRequestOptions options;
  options.timeout = 1;
  options.status = &status;
  options.error = &error;
  EXPECT_EQ(http_request(server.url("/slow"), options), "");
  EXPECT_EQ(status, 0);
  EXPECT_NE(error, "");
}

TEST_F(HttpRequestTest, SlowButSteadyAnswerIsNotCut) {
  // Six pieces 0.4 s apart: longer than the 1 s limit in all, never silent
  // for that long.
  server.handle([](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("text/plain", [](size_t offset, httplib::DataSink& sink) {
      if (offset >= 6) {
        sink.done();
        return true;
      }
      std::this_thread::sleep_for(400ms);
      sink.write("x", 1);
      return true;
    });
  });
  std::string error;
  HttpRequestOptions options;
  options.timeout = 1;
  options.error = &error;
  EXPECT_EQ(http_request(server.url("/trickle"), options), "xxxxxx") << error;
}

TEST_F(HttpRequestTest, TimeoutMinusOneKeepsTheClientsOwnLimits) {
  server.handle([this](const httplib::Request&, httplib::Response& res) {
    server.gate.wait_for(2s);
    res.set_content("patient", "text/plain");
  });
  std::string error;
  HttpRequestOptions options;
  options.timeout = -1;
  options.error = &error;
  EXPECT_EQ(http_request(server.url("/wait"), options), "patient") << error;
}

// --- Cancelling ------------------------------------------------------------

TEST_F(HttpRequestTest, CancelAbortsARequestInFlight) {
  server.handle([this](const httplib::Request&, httplib::Response& res) {
    server.arrived.set();
    server.gate.wait_for(kHangBound);
    res.set_content("too late", "text/plain");
  });
  std::atomic<bool> cancel{false};
  std::thread canceller([&] {
    server.arrived.wait_for(kHangBound);
    cancel = true;
  });
  std::string error;
  HttpRequestOptions options;
  options.timeout = -1;  // a 30 s silence limit: it must not be what ends the request
  options.cancel = &cancel;
  options.error = &error;
  EXPECT_EQ(http_request(server.url("/hang"), options), "");
  canceller.join();
  EXPECT_EQ(error, "cancelled");
}

TEST_F(HttpRequestTest, CancelAlreadySetSendsNothing) {
  const std::atomic<bool> cancel{true};
  std::string error;
  HttpRequestOptions options;
  options.cancel = &cancel;
  options.error = &error;
  EXPECT_EQ(http_request(server.url("/"), options), "");
  EXPECT_EQ(error, "cancelled");
  EXPECT_TRUE(server.seen().empty());
}

TEST_F(HttpRequestTest, CancelFlagLeftFalseChangesNothing) {
  const std::atomic<bool> cancel{false};
  HttpRequestOptions options;
  options.cancel = &cancel;
  EXPECT_EQ(http_request(server.url("/"), options), "hello GET");
}

// --- Connection reuse and threads -----------------------------------------

std::size_t distinct_ports(const std::vector<Seen>& seen) {
  std::set<int> ports;
  for (const Seen& s : seen) ports.insert(s.remote_port);
  return ports.size();
}

TEST_F(HttpRequestTest, OneThreadsRequestsShareOneConnection) {
  for (int i = 0; i < 20; ++i) {
    HttpRequestOptions options;
    options.method = i % 2;  // options differ from call to call
    options.extra_headers = "X-Index: " + std::to_string(i);
    ASSERT_EQ(http_request(server.url("/r" + std::to_string(i)), options),
              std::string("hello ") + http_verb(i % 2));
  }
  const std::vector<Seen> seen = server.seen();
  ASSERT_EQ(seen.size(), 20u);
  EXPECT_EQ(distinct_ports(seen), 1u);
  EXPECT_EQ(values_of(seen[7].headers, "X-Index"), std::vector<std::string>{"7"});
}

TEST(HttpRequestConcurrency, TwentyThreadsGetTheirOwnAnswers) {
  constexpr int kThreads = 20, kRequests = 10;
  LocalServer server(std::make_unique<httplib::Server>(), false, 10);
  ASSERT_TRUE(server.started());
  server.handle([](const httplib::Request& req, httplib::Response& res) {
    res.set_content("answer " + req.path + " " + req.get_header_value("X-Who"), "text/plain");
  });
  std::vector<int> wrong(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRequests; ++i) {
        const std::string path = "/t" + std::to_string(t) + "/" + std::to_string(i);
        HttpRequestOptions options;
        options.extra_headers = "X-Who: " + std::to_string(t);
        int status = 0;
        options.status = &status;
        if (http_request(server.url(path), options) != "answer " + path + " " + std::to_string(t) ||
            status != 200)
          ++wrong[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(kThreads, 0));
  const std::vector<Seen> seen = server.seen();
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kRequests));
  EXPECT_LE(distinct_ports(seen), static_cast<std::size_t>(kThreads));  // each thread kept its connection
}

// --- HTTPS -----------------------------------------------------------------

// A self-signed certificate for 127.0.0.1, made once for the suite.
class SelfSigned {
 public:
  SelfSigned() {
    key_ = EVP_EC_gen("P-256");
    cert_ = X509_new();
    X509_set_version(cert_, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert_), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert_), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert_), 24 * 3600);
    X509_set_pubkey(cert_, key_);
    X509_NAME* name = X509_get_subject_name(cert_);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"),
                               -1, -1, 0);
    X509_set_issuer_name(cert_, name);
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert_, cert_, nullptr, nullptr, 0);
    for (auto [nid, value] : {std::pair{NID_subject_alt_name, "IP:127.0.0.1"},
                              std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
      X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
      X509_add_ext(cert_, ext, -1);
      X509_EXTENSION_free(ext);
    }
    X509_sign(cert_, key_, EVP_sha256());

    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, cert_);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    std::random_device random;
    pem_path_ = (std::filesystem::temp_directory_path() /
                 ("shiftwell_http_test_" + std::to_string(random()) + ".pem"))
                    .string();
    std::ofstream(pem_path_, std::ios::binary).write(data, size);
    BIO_free(bio);
  }
  ~SelfSigned() {
    std::filesystem::remove(pem_path_);
    X509_free(cert_);
    EVP_PKEY_free(key_);
  }
  X509* cert() const { return cert_; }
  EVP_PKEY* key() const { return key_; }
  const std::string& pem_path() const { return pem_path_; }

 private:
  EVP_PKEY* key_ = nullptr;
  X509* cert_ = nullptr;
  std::string pem_path_;
};

class HttpsTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    certificate = new SelfSigned;
    shared =
        new LocalServer(std::make_unique<httplib::SSLServer>(certificate->cert(), certificate->key()), true);
  }
  static void TearDownTestSuite() {
    delete shared;
    shared = nullptr;
    delete certificate;
    certificate = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(server.started()); }
  void TearDown() override { server.reset(); }

  static SelfSigned* certificate;
  static LocalServer* shared;
  LocalServer& server = *shared;
};
LocalServer* HttpsTest::shared = nullptr;
SelfSigned* HttpsTest::certificate = nullptr;

TEST_F(HttpsTest, UntrustedCertificateIsRefusedByDefault) {
  std::string error;
  int status = -1;
  HttpRequestOptions options;
  options.extra_headers = "user-token:secret";
  options.error = &error;
  options.status = &status;
  EXPECT_EQ(http_request(server.url("/"), options), "");
  EXPECT_NE(error, "");
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(server.seen().empty());  // the token never left the client
}

TEST_F(HttpsTest, UntrustedCertificateIsAcceptedWhenErrorsAreIgnored) {
  std::string error;
  HttpRequestOptions options;
  options.ignore_certificate_errors = true;
  options.error = &error;
  EXPECT_EQ(http_request(server.url("/"), options), "hello GET") << error;
}

TEST_F(HttpsTest, CertificateFromCaFileIsTrusted) {
  std::string error;
  HttpRequestOptions options;
  options.ca_file = certificate->pem_path();
  options.error = &error;
  EXPECT_EQ(http_request(server.url("/"), options), "hello GET") << error;
}

}  // namespace
}  // namespace shiftwell
