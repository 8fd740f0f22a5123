#include "shiftwell/platform/http_request.h"

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

#include "shiftwell/platform/text_split.h"

namespace shiftwell {
namespace {

constexpr const char* kVerbs[] = {"GET", "POST", "HEAD", "PUT", "OPTIONS", "DELETE", "TRACE", "CONNECT"};
constexpr int kGet = 0, kPost = 1, kHead = 2;
constexpr long kMaxRedirects = 10;
constexpr const char* kUserAgent =
    "Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/50.0.2661.87 "
    "Safari/537.36";

int clamp_method(int method) { return method < 0 || method > 7 ? kGet : method; }

std::string ascii_lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

bool same_name(std::string_view a, std::string_view b) { return ascii_lower(a) == ascii_lower(b); }

bool global_init_ok() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  return ok;
}

// One handle per thread: curl_easy_reset clears the options but keeps the
// handle's connection cache, so the thread's next request to the same host
// goes over the open connection.
class ThreadHandle {
 public:
  ~ThreadHandle() {
    if (handle_ != nullptr) curl_easy_cleanup(handle_);
  }
  CURL* fresh() {
    if (handle_ == nullptr)
      handle_ = curl_easy_init();
    else
      curl_easy_reset(handle_);
    return handle_;
  }

 private:
  CURL* handle_ = nullptr;
};

struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

bool append(Slist& list, const std::string& line) {
  curl_slist* grown = curl_slist_append(list.get(), line.c_str());
  if (grown == nullptr) return false;
  list.release();
  list.reset(grown);
  return true;
}

struct Transfer {
  std::string body;
  std::string headers;  // of the latest response only
  const std::atomic<bool>* cancel = nullptr;
  bool cancelled = false;
  // Silence watch: the clock runs from the moment a connection is up and
  // restarts whenever a byte goes either way.
  std::chrono::milliseconds silence_limit{0};
  bool connected = false;
  curl_off_t bytes_seen = 0;
  std::chrono::steady_clock::time_point last_activity;
  bool stalled = false;
};

size_t on_body(char* data, size_t size, size_t count, void* user) {
  static_cast<Transfer*>(user)->body.append(data, size * count);
  return size * count;
}

size_t on_header(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  std::string_view line(data, size * count);
  // Each response (interim, redirect, final) starts with its status line.
  if (line.substr(0, 5) == "HTTP/") {
    transfer->headers.clear();
    return line.size();
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (!line.empty()) {
    transfer->headers.append(line);
    transfer->headers.append("\r\n");
  }
  return size * count;
}

int on_connected(void* user, char*, char*, int, int) {
  auto* transfer = static_cast<Transfer*>(user);
  transfer->connected = true;
  transfer->last_activity = std::chrono::steady_clock::now();
  return CURL_PREREQFUNC_OK;
}

// Called often while bytes flow and about once a second while none do.
int on_progress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
  auto* transfer = static_cast<Transfer*>(user);
  if (transfer->cancel != nullptr && transfer->cancel->load(std::memory_order_relaxed)) {
    transfer->cancelled = true;
    return 1;
  }
  if (!transfer->connected) return 0;  // the connect limit covers this phase
  const auto now = std::chrono::steady_clock::now();
  if (received + sent != transfer->bytes_seen) {
    transfer->bytes_seen = received + sent;
    transfer->last_activity = now;
  } else if (now - transfer->last_activity >= transfer->silence_limit) {
    transfer->stalled = true;
    return 1;
  }
  return 0;
}

bool has_line_break(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// Builds the header list handed to curl: "Cookie" first, then the header
// lines. Headers that curl would add on its own (Accept, Content-Type for a
// body, Expect) are switched off unless given, so the server sees what the
// lines say and nothing more. Returns why it cannot, or "".
std::string build_header_list(Slist& list, const HttpRequestOptions& options,
                              const std::string& header_text) {
  static const std::string kNoMemory = "out of memory for the request headers";
  // A lone CR or LF would smuggle extra lines into the request.
  if (has_line_break(options.cookies)) return "the cookies contain a line break";
  if (!options.cookies.empty() && !append(list, "Cookie: " + options.cookies)) return kNoMemory;
  bool has_accept = false, has_content_type = false, has_expect = false;
  std::vector<std::string> lines;
  split_text(header_text, "\r\n", lines);
  for (const std::string& line : lines) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string_view name = trim_blanks(std::string_view(line).substr(0, colon));
    const std::string_view value = trim_blanks(std::string_view(line).substr(colon + 1));
    if (name.empty()) continue;
    if (has_line_break(line)) return "the header line \"" + std::string(name) + "\" contains a line break";
    has_accept |= same_name(name, "Accept");
    has_content_type |= same_name(name, "Content-Type");
    has_expect |= same_name(name, "Expect");
    // curl drops "Name:" without a value; "Name;" sends it with an empty one.
    const std::string entry = value.empty() ? std::string(name) + ";" : std::string(name) + ": " += value;
    if (!append(list, entry)) return kNoMemory;
  }
  const bool ok = (has_accept || append(list, "Accept:")) &&
                  (has_content_type || append(list, "Content-Type:")) &&
                  (has_expect || append(list, "Expect:"));
  return ok ? "" : kNoMemory;
}

void set_method_and_body(CURL* curl, int method, const std::string& body) {
  if (method == kHead) {
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    return;
  }
  // Like the request object, every verb but GET sends its body, an empty
  // one as "Content-Length: 0"; a GET sends one only when there is one.
  if (method != kGet || !body.empty()) {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
  }
  // POST stays curl's own so that a 303 after it turns into a GET.
  if (method != kPost && (method != kGet || !body.empty()))
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, kVerbs[method]);
}

void set_error(const HttpRequestOptions& options, const std::string& text) {
  if (options.error != nullptr) *options.error = text;
}

}  // namespace

const char* http_verb(int method) { return kVerbs[clamp_method(method)]; }

HttpPhaseTimeouts http_phase_timeouts(int timeout) {
  // What the Windows request object uses when left alone: connect 60 s,
  // send and receive 30 s each.
  if (timeout == -1) return {60000, 30};
  const long seconds = timeout <= 0 ? 15 : timeout;
  return {seconds * 1000, seconds};
}

std::string request_header_text(const std::string& url, const std::string& extra_headers, int method,
                                const std::optional<std::string>& client_address) {
  const std::string lower = ascii_lower(extra_headers);
  const auto lacks = [&lower](const char* word) { return lower.find(word) == std::string::npos; };
  std::string text = extra_headers;
  if (lacks("accept")) text += "\r\nAccept: */*";
  if (lacks("referer")) text += "\r\nReferer: " + url;
  if (lacks("accept-language")) text += "\r\nAccept-Language: zh-cn";
  if (lacks("user-agent")) text += std::string("\r\nUser-Agent: ") + kUserAgent;
  if (clamp_method(method) == kPost && lacks("content-type"))
    text += "\r\nContent-Type: application/x-www-form-urlencoded";
  if (client_address) {
    for (const char* name : {"X-Forwarded-For", "CLIENT_IP", "VIA", "REMOTE_ADDR"})
      if (extra_headers.find(name) == std::string::npos)
        text += "\r\n" + std::string(name) + ": " + *client_address;
  }
  return text;
}

std::string cookies_from_headers(const std::string& headers) {
  static constexpr std::string_view kPrefix = "Set-Cookie:";
  std::string cookies;
  std::vector<std::string> lines;
  split_text(headers, "\r\n", lines);
  for (const std::string& line : lines) {
    if (line.find("Set-Cookie") == std::string::npos) continue;
    std::string piece;
    if (line.find(';') == std::string::npos) {
      piece = line;
      const std::size_t at = piece.find(kPrefix);
      if (at != std::string::npos) piece.erase(at, kPrefix.size());
      piece = std::string(trim_blanks(piece));
    } else {
      piece = std::string(trim_blanks(text_between(line, kPrefix, ";")));
    }
    cookies += piece;
    cookies += "; ";
  }
  if (cookies.size() >= 2) cookies.resize(cookies.size() - 2);
  return cookies;
}

std::string http_request(const std::string& url, const HttpRequestOptions& options) {
  set_error(options, "");
  if (options.cancel != nullptr && options.cancel->load()) {
    set_error(options, "cancelled");
    return {};
  }
  thread_local ThreadHandle thread_handle;
  CURL* curl = global_init_ok() ? thread_handle.fresh() : nullptr;
  if (curl == nullptr) {
    set_error(options, "the HTTP client cannot be created");
    return {};
  }

  const int method = clamp_method(options.method);
  Slist header_list;
  const std::string bad_headers = build_header_list(
      header_list, options, request_header_text(url, options.extra_headers, method, options.client_address));
  if (!bad_headers.empty()) {
    set_error(options, bad_headers);
    return {};
  }
  Transfer transfer;
  char error_text[CURL_ERROR_SIZE] = "";

  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error_text);
  // The request object speaks HTTP/1.1 and keeps the servers' header
  // spelling; HTTP/2 would hand back lower-case names.
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  // Direct connections only: the program reads no environment settings.
  curl_easy_setopt(curl, CURLOPT_PROXY, "");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, header_list.get());
  set_method_and_body(curl, method, options.body_bytes.empty() ? options.body_text : options.body_bytes);

  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, options.no_redirects ? 0L : 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);

  // The object's limits are per phase, not for the whole transfer: a large
  // answer that keeps arriving must not be cut, a silent server must be.
  // curl's own low-speed limit cannot serve: it averages whole-second
  // samples in integers, so a trickle of a byte every 0.4 s fails a
  // 1 byte/s limit. The progress callback watches for silence instead.
  const HttpPhaseTimeouts limits = http_phase_timeouts(options.timeout);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, limits.connect_ms);
  transfer.silence_limit = std::chrono::seconds(limits.silence_limit);
  transfer.cancel = options.cancel;
  curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, on_connected);
  curl_easy_setopt(curl, CURLOPT_PREREQDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, on_progress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);

  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, options.ignore_certificate_errors ? 0L : 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, options.ignore_certificate_errors ? 0L : 2L);
  if (options.ca_file) curl_easy_setopt(curl, CURLOPT_CAINFO, options.ca_file->c_str());

  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, on_body);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, on_header);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);

  const CURLcode result = curl_easy_perform(curl);

  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  // The handle outlives this call; it must not point at our stack.
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);

  if (options.returned_headers != nullptr) *options.returned_headers = transfer.headers;
  if (options.returned_cookies != nullptr) *options.returned_cookies = cookies_from_headers(transfer.headers);
  if (options.status != nullptr) *options.status = static_cast<int>(status);
  if (result != CURLE_OK) {
    if (transfer.cancelled)
      set_error(options, "cancelled");
    else if (transfer.stalled)
      set_error(options,
                "timed out: nothing sent or received for " + std::to_string(limits.silence_limit) + " s");
    else
      set_error(options, error_text[0] != '\0' ? error_text : curl_easy_strerror(result));
    return {};
  }
  return std::move(transfer.body);
}

}  // namespace shiftwell
