#include "tools/velora-sim/velora_sim.h"

#include <httplib.h>
#include <openssl/pem.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include "tools/velora-sim/platform_api.h"
#include "tools/velora-sim/request_log.h"
#include "tools/velora-sim/tls_certificate.h"

namespace velora_sim {

void SimOptions::set_fault_share(const std::string& kind, double share) {
  std::erase_if(faults, [&](const FaultSetting& s) { return s.name == kind; });
  faults.push_back({kind, share, std::nullopt});
}

namespace {

// httplib's SSLServer takes parsed objects; it keeps its own references.
std::unique_ptr<httplib::Server> make_tls_server(const TlsCredentials& tls, std::string& error) {
  BIO* cert_bio = BIO_new_mem_buf(tls.certificate_pem.data(), static_cast<int>(tls.certificate_pem.size()));
  BIO* key_bio = BIO_new_mem_buf(tls.private_key_pem.data(), static_cast<int>(tls.private_key_pem.size()));
  X509* cert = cert_bio ? PEM_read_bio_X509(cert_bio, nullptr, nullptr, nullptr) : nullptr;
  EVP_PKEY* key = key_bio ? PEM_read_bio_PrivateKey(key_bio, nullptr, nullptr, nullptr) : nullptr;
  std::unique_ptr<httplib::Server> server;
  if (cert && key) {
    auto tls_server = std::make_unique<httplib::SSLServer>(cert, key);
    if (tls_server->is_valid()) server = std::move(tls_server);
  }
  if (!server) error = "cannot set up TLS with the generated certificate";
  X509_free(cert);
  EVP_PKEY_free(key);
  BIO_free(cert_bio);
  BIO_free(key_bio);
  return server;
}

}  // namespace

struct VeloraSim::Impl {
  Impl(std::shared_ptr<const Dataset> d, SimOptions o)
      : dataset(std::move(d)),
        options(std::move(o)),
        api(*dataset, options.token.empty() ? dataset->token() : options.token) {}

  void handle(const httplib::Request& req, httplib::Response& res);
  // Sleeps up to ms; returns early when the server stops.
  void pause(int ms);

  std::shared_ptr<const Dataset> dataset;
  SimOptions options;
  PlatformApi api;
  FaultPlan faults;
  CounterBoard counters;
  RequestLog log;
  TlsCredentials tls;
  std::unique_ptr<httplib::Server> server;
  std::thread listener;
  int port = 0;
  std::atomic<std::uint64_t> request_number{0};
  std::atomic<bool> listen_returned{false};

  std::mutex stop_mutex;
  std::condition_variable stop_signal;
  bool stopping = false;
};

void VeloraSim::Impl::pause(int ms) {
  if (ms <= 0) return;
  std::unique_lock<std::mutex> lock(stop_mutex);
  stop_signal.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping; });
}

void VeloraSim::Impl::handle(const httplib::Request& req, httplib::Response& res) {
  ApiRequest request;
  request.method = req.method;
  request.path = req.path;
  request.params = req.params;
  if (req.has_header("user-token")) request.token = req.get_header_value("user-token");
  ApiAnswer answer = api.answer(request);

  Reply reply;
  reply.status = answer.http_status;
  reply.body = std::move(answer.body);
  const auto draw = faults.draw(request_number.fetch_add(1));
  if (draw) draw->kind->apply(reply, draw->dice, draw->arg);
  const std::string fault = draw ? std::string(draw->kind->name) : std::string();

  counters.record(answer.endpoint, answer.page, req.remote_addr, req.remote_port, fault, reply.status);
  if (log.is_open()) {
    log.write({req.method, req.target, std::string(endpoint_name(answer.endpoint)), request.token.has_value(),
               reply.status, reply.cut_after.value_or(reply.body.size()), req.remote_port, fault});
  }
  pause(options.latency_ms + reply.delay_ms);

  res.status = reply.status;
  if (reply.cut_after) {
    const std::size_t cut = std::min(*reply.cut_after, reply.body.size());
    auto body = std::make_shared<std::string>(std::move(reply.body));
    // Returning false after the cut makes the server drop the connection mid-body.
    res.set_content_provider(body->size(), reply.content_type,
                             [body, cut](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                               if (offset >= cut) return false;
                               sink.write(body->data() + offset, std::min(length, cut - offset));
                               return true;
                             });
  } else {
    res.set_content(reply.body, reply.content_type);
  }
}

VeloraSim::VeloraSim(std::shared_ptr<const Dataset> dataset, SimOptions options)
    : impl_(std::make_unique<Impl>(std::move(dataset), std::move(options))) {}

VeloraSim::~VeloraSim() { stop(); }

bool VeloraSim::start(std::string& error) {
  Impl& s = *impl_;
  if (s.server) {
    error = "already started";
    return false;
  }
  if (!FaultPlan::make(s.options.faults, s.options.fault_seed, s.faults, error)) return false;
  if (!s.options.request_log.empty() && !s.log.open(s.options.request_log, error)) return false;

  if (s.options.https) {
    if (!make_self_signed_certificate(s.tls, error)) return false;
    if (!s.options.cert_out.empty()) {
      std::ofstream out(s.options.cert_out, std::ios::binary | std::ios::trunc);
      out << s.tls.certificate_pem;
      out.close();
      if (!out) {
        error = "cannot write the certificate to " + s.options.cert_out;
        return false;
      }
    }
    s.server = make_tls_server(s.tls, error);
    if (!s.server) return false;
  } else {
    s.server = std::make_unique<httplib::Server>();
  }

  httplib::Server& server = *s.server;
  const auto threads = static_cast<std::size_t>(std::max(1, s.options.threads));
  server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  server.set_keep_alive_max_count(1000);
  server.set_keep_alive_timeout(std::max(1, s.options.keep_alive_seconds));
  // Without it a reused connection waits on delayed ACKs (~40 ms) between
  // the header and body writes of every answer.
  server.set_tcp_nodelay(true);
  server.set_pre_routing_handler([&s](const httplib::Request& req, httplib::Response& res) {
    s.handle(req, res);
    return httplib::Server::HandlerResponse::Handled;
  });

  const int port = s.options.port == 0
                       ? server.bind_to_any_port(s.options.host)
                       : (server.bind_to_port(s.options.host, s.options.port) ? s.options.port : -1);
  if (port <= 0) {
    error = "cannot bind " + s.options.host + ":" + std::to_string(s.options.port);
    s.server.reset();
    return false;
  }
  s.port = port;
  s.listener = std::thread([&s, &server] {
    server.listen_after_bind();
    s.listen_returned = true;
  });
  // stop() only reaches a server that already runs; wait for it so that an early stop() cannot be lost.
  while (!server.is_running() && !s.listen_returned)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (!server.is_running()) {
    error = "the server did not start listening";
    stop();
    return false;
  }
  return true;
}

void VeloraSim::stop() {
  Impl& s = *impl_;
  {
    std::lock_guard<std::mutex> lock(s.stop_mutex);
    s.stopping = true;
  }
  s.stop_signal.notify_all();
  if (s.server) s.server->stop();
  if (s.listener.joinable()) s.listener.join();
}

int VeloraSim::port() const { return impl_->port; }

std::string VeloraSim::base_url() const {
  return std::string(impl_->options.https ? "https://" : "http://") + impl_->options.host + ":" +
         std::to_string(impl_->port);
}

const std::string& VeloraSim::certificate_pem() const { return impl_->tls.certificate_pem; }
const std::string& VeloraSim::token() const { return impl_->api.token(); }
const Dataset& VeloraSim::dataset() const { return *impl_->dataset; }
const SimOptions& VeloraSim::options() const { return impl_->options; }
SimCounters VeloraSim::counters() const { return impl_->counters.snapshot(); }
void VeloraSim::reset_counters() { impl_->counters.reset(); }

}  // namespace velora_sim
