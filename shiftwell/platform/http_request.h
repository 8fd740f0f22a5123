// One synchronous HTTP(S) request that returns the raw response body: any
// verb, a body, cookies, extra header lines with browser-like defaults, and
// the response headers, cookies and status on request. Any thread; up to
// twenty threads call it at once. Each thread keeps one client handle of its
// own, so a thread's consecutive requests to a host reuse their connection;
// a call is otherwise independent of every other.
#pragma once

#include <atomic>
#include <optional>
#include <string>

namespace shiftwell {

struct HttpRequestOptions {
  // 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT;
  // any other value is GET.
  int method = 0;
  std::string body_text;  // sent when body_bytes is empty
  std::string cookies;    // sent as the "Cookie" header when not empty
  // Output: the name=value pairs that the response's "Set-Cookie" lines set,
  // joined by "; ". Only lines spelt exactly "Set-Cookie" count, so a server
  // that sends "set-cookie" in lower case sets no cookie here.
  std::string* returned_cookies = nullptr;
  // Header lines separated by CR LF, "name: value" (blanks optional).
  std::string extra_headers;
  // Output: the final response's header lines, each "Name: value\r\n",
  // without the status line.
  std::string* returned_headers = nullptr;
  int* status = nullptr;  // output: the HTTP status, 0 when nothing answered
  bool no_redirects = false;
  std::string body_bytes;
  // Seconds per phase (connecting; silence while sending or receiving):
  // -1 the client's own limits (connect 60 s, silence 30 s); 0 or less 15 s.
  // A slow answer that keeps arriving is never cut.
  int timeout = 0;
  // When given, also sent as "X-Forwarded-For", "CLIENT_IP", "VIA" and
  // "REMOTE_ADDR".
  std::optional<std::string> client_address;
  // Certificates are verified unless this is set.
  bool ignore_certificate_errors = false;
  // A PEM file of trusted certificates; it replaces the system's bundle.
  std::optional<std::string> ca_file;
  // When it becomes true, a request in flight is aborted within about a
  // second and fails.
  const std::atomic<bool>* cancel = nullptr;
  // Output: why the transfer failed; empty after success.
  std::string* error = nullptr;
};

// Returns the response body bytes as sent (no decoding; no compression is
// asked for), whatever the status. On any failure (no connection, time-out,
// certificate refused, cancelled) returns an empty string and sets *error;
// the header and status outputs keep what had arrived.
std::string http_request(const std::string& url, const HttpRequestOptions& options = {});

// The verb that a method number stands for, after clamping.
const char* http_verb(int method);

struct HttpPhaseTimeouts {
  long connect_ms;     // name resolution and connection
  long silence_limit;  // seconds without a byte either way
};
HttpPhaseTimeouts http_phase_timeouts(int timeout);

// The request's header text: the extra headers followed by the default
// lines for what they lack. The lower-case tests and the exact-case
// client-address tests are plain substring searches on extra_headers.
std::string request_header_text(const std::string& url, const std::string& extra_headers, int method,
                                const std::optional<std::string>& client_address);

// The cookies set by the "Set-Cookie" lines of a header text, "a=1; b=2".
std::string cookies_from_headers(const std::string& headers);

}  // namespace shiftwell
