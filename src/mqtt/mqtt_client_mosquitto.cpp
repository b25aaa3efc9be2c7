#include "mqtt/mqtt_client_mosquitto.h"

#include <mosquitto.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <list>
#include <string>
#include <vector>

namespace vireluz {

namespace {

using Kind = MqttFailureKind;

std::string tcp_problem(int err) {
  if (err == ECONNREFUSED) return "aucun serveur n'écoute sur ce port";
  if (err == ENETUNREACH || err == EHOSTUNREACH) return "machine injoignable sur le réseau";
  return std::string("connexion TCP impossible (") + std::strerror(err) + ")";
}

std::string certificate_problem(long verify, const std::string& host) {
  switch (verify) {
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return "établi pour un autre nom que « " + host + " »";
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return "expiré";
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
      return "signé par une autorité inconnue : vérifiez le fichier CA";
  }
  return std::string("refusé (") + X509_verify_cert_error_string(verify) + ")";
}

}  // namespace

// Connections ended cleanly: their sockets stay open, writing side shut, until
// the broker has read everything and closed its side (at most 2 s), its last
// answers read and dropped. A socket closed while answers still come resets
// the connection, and the broker loses what it had not read yet.
class MosquittoClientFactory::Closing {
 public:
  explicit Closing(IoLoop& loop) : loop_(loop) {}
  void add(int fd) {
    if (fd < 0) return;
    shutdown(fd, SHUT_WR);
    const auto it = entries_.emplace(entries_.end(), fd);
    it->watch = loop_.watch(fd, IoLoop::kRead, [this, it](int) {
      char buf[512];
      const ssize_t n = recv(it->fd, buf, sizeof buf, MSG_DONTWAIT);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) entries_.erase(it);
    });
    it->alarm = loop_.alarm([this, it] { entries_.erase(it); });
    it->alarm->start(2000);
  }

 private:
  struct Entry {
    explicit Entry(int f) : fd(f) {}
    ~Entry() {
      watch.reset();
      ::close(fd);
    }
    int fd;
    std::unique_ptr<IoLoop::Watch> watch;
    std::unique_ptr<IoLoop::Alarm> alarm;
  };
  IoLoop& loop_;
  std::list<Entry> entries_;
};

namespace {

MqttFailure connack_failure(int code) {
  static const char* const kWhy[] = {"", "version 3.1.1 du protocole non acceptée",
                                     "identifiant de client refusé", "service MQTT indisponible"};
  if (code == 4 || code == 5) return {Kind::kAuthRefused, {}};
  return {Kind::kRefused, code < 4 ? std::string(kWhy[code]) : "code " + std::to_string(code)};
}

class MosquittoClient final : public MqttClient {
 public:
  MosquittoClient(IoLoop& loop, MosquittoClientFactory::Closing& closing)
      : loop_(loop),
        closing_(closing),
        deadline_(loop.alarm([this] {
          fail({Kind::kTimeout, kStep[static_cast<int>(phase_)]});
        })),
        keep_alive_(loop.alarm([this] { keep_alive(); })),
        notify_(loop.alarm([this] { deliver(); })) {
    static const int init = mosquitto_lib_init();
    (void)init;
  }
  ~MosquittoClient() override { close(); }

  void connect(const MqttConnectOptions& options) override {
    if (phase_ != Phase::kIdle) return;
    opts_ = options;
    phase_ = Phase::kResolving;
    deadline_->start(opts_.connect_timeout_ms);
    if (opts_.host.empty()) return fail({Kind::kInvalidSettings, "serveur vide"});
    tls_.reset();
    if (opts_.tls && !make_tls()) return;
    lookup_ = loop_.resolve(opts_.host, [this](const IoLoop::Resolved& r) {
      if (r.addresses.empty()) return fail({Kind::kUnknownHost, r.error});
      addresses_ = r.addresses;
      next_ = 0;
      open_next();
    });
  }

  // DISCONNECT goes after what waits, as far as the socket takes it now. The
  // library closes its socket once DISCONNECT is written: a copy is kept open.
  void disconnect() override {
    if (phase_ == Phase::kConnected) {
      const int fd = dup(mosquitto_socket(mosq_.get()));
      mosquitto_disconnect(mosq_.get());
      closing_.add(fd);
    }
    close();
  }

  bool connected() const override { return phase_ == Phase::kConnected; }

  bool publish(const std::string& topic, const std::string& payload, bool retain, int qos) override {
    if (phase_ != Phase::kConnected) return false;
    const int rc = mosquitto_publish(mosq_.get(), nullptr, topic.c_str(), static_cast<int>(payload.size()),
                                     payload.data(), qos, retain);
    watch_events();
    return rc == MOSQ_ERR_SUCCESS;
  }

  void subscribe(const std::string& topic, int qos) override {
    std::erase_if(subscriptions_, [&](const auto& s) { return s.first == topic; });
    subscriptions_.emplace_back(topic, qos);
    if (phase_ != Phase::kConnected) return;
    mosquitto_subscribe(mosq_.get(), nullptr, topic.c_str(), qos);
    watch_events();
  }

 private:
  // kTcp: the TCP connection is being made; kMqtt: CONNECT sent or queued,
  // CONNACK awaited. kStep: what did not end in time.
  enum class Phase { kIdle, kResolving, kTcp, kTls, kMqtt, kConnected };
  static constexpr const char* kStep[] = {"",
                                          "résolution du nom du serveur trop longue",
                                          "connexion TCP non établie",
                                          "négociation TLS inachevée",
                                          "pas de réponse à la demande de connexion",
                                          ""};

  // The TLS context of an attempt: the certificate must chain to the CA file
  // (or to the system's authorities) and bear the configured name, which is
  // also the one sent in the handshake (libmosquitto would send the address).
  bool make_tls() {
    tls_.reset(SSL_CTX_new(TLS_client_method()));
    SSL_CTX* ctx = tls_.get();
    if (!ctx || !(opts_.ca_file.empty() ? SSL_CTX_set_default_verify_dir(ctx)
                                        : SSL_CTX_load_verify_file(ctx, opts_.ca_file.c_str()))) {
      fail({Kind::kInvalidSettings, "fichier CA « " + opts_.ca_file + " » illisible ou sans certificat"});
      return false;
    }
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    // The verdict is noted here: libmosquitto may free the SSL object before
    // it is asked for.
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, [](int ok, X509_STORE_CTX* store) {
      if (!ok)
        self_of(static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx())))
            ->verify_error_ = X509_STORE_CTX_get_error(store);
      return ok;
    });
    X509_VERIFY_PARAM* param = SSL_CTX_get0_param(ctx);
    const bool numeric = X509_VERIFY_PARAM_set1_ip_asc(param, opts_.host.c_str()) == 1;
    if (!numeric) X509_VERIFY_PARAM_set1_host(param, opts_.host.c_str(), 0);
    server_name_ = numeric ? "" : opts_.host;  // an address is never sent as a name
    SSL_CTX_set_app_data(ctx, this);
    SSL_CTX_set_info_callback(ctx, [](const SSL* ssl, int where, int) {
      if (where & SSL_CB_HANDSHAKE_START)
        SSL_set_tlsext_host_name(const_cast<SSL*>(ssl), or_null(self_of(ssl)->server_name_));
    });
    // Whether the broker answered in TLS at all: a handshake message or an alert.
    SSL_CTX_set_msg_callback(ctx, [](int sent, int, int type, const void*, size_t, SSL* ssl, void*) {
      if (!sent && (type == SSL3_RT_HANDSHAKE || type == SSL3_RT_ALERT)) self_of(ssl)->heard_tls_ = true;
    });
    return true;
  }
  static MosquittoClient* self_of(const SSL* ssl) {
    return static_cast<MosquittoClient*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
  }
  static const char* or_null(const std::string& name) { return name.empty() ? nullptr : name.c_str(); }

  // A libmosquitto client for the next address; a TCP failure moves on to the
  // address after it.
  void open_next() {
    watch_.reset();
    mosq_.reset(mosquitto_new(opts_.client_id.empty() ? nullptr : opts_.client_id.c_str(), true, this));
    mosquitto* m = mosq_.get();
    if (!m) return fail({Kind::kInvalidSettings, "mémoire insuffisante"});
    mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_int_option(m, MOSQ_OPT_SEND_MAXIMUM, 0);  // every message on the wire at once
    mosquitto_connect_callback_set(
        m, [](mosquitto*, void* self, int rc) { static_cast<MosquittoClient*>(self)->connack_ = rc; });
    mosquitto_message_callback_set(m, [](mosquitto*, void* self, const mosquitto_message* msg) {
      static_cast<MosquittoClient*>(self)->received(*msg);
    });
    if (!opts_.username.empty())
      mosquitto_username_pw_set(m, opts_.username.c_str(), or_null(opts_.password));
    if (!opts_.will_topic.empty())
      mosquitto_will_set(m, opts_.will_topic.c_str(), static_cast<int>(opts_.will_payload.size()),
                         opts_.will_payload.data(), 1, true);
    if (tls_) {
      mosquitto_int_option(m, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);
      mosquitto_void_option(m, MOSQ_OPT_SSL_CTX, tls_.get());
      // Why a handshake failed is only in the library's log:
      // "OpenSSL Error[0]: error:0A00010B:SSL routines::wrong version number".
      mosquitto_log_callback_set(m, [](mosquitto*, void* self, int level, const char* text) {
        if (level == MOSQ_LOG_ERR && std::strncmp(text, "OpenSSL", 7) == 0)
          static_cast<MosquittoClient*>(self)->tls_error_ = std::strrchr(text, ':') + 1;
      });
    }
    heard_tls_ = false;
    verify_error_ = X509_V_OK;
    tls_error_.clear();
    connack_ = -1;
    errno = 0;
    const int rc = mosquitto_connect_async(m, addresses_[next_++].c_str(), opts_.port, opts_.keepalive_s);
    if (rc == MOSQ_ERR_ERRNO) return next_or_fail({Kind::kUnreachable, tcp_problem(errno)});
    if (rc == MOSQ_ERR_TLS) return fail(tls_failure());
    if (rc != MOSQ_ERR_SUCCESS)
      return fail(
          {Kind::kUnreachable, std::string("erreur de libmosquitto (") + mosquitto_strerror(rc) + ")"});
    phase_ = Phase::kTcp;
    watch_ = loop_.watch(mosquitto_socket(m), IoLoop::kWrite, [this](int ready) { on_ready(ready); });
  }

  void next_or_fail(MqttFailure why) {
    if (next_ < addresses_.size()) return open_next();
    fail(std::move(why));
  }

  void on_ready(int ready) {
    mosquitto* m = mosq_.get();
    const int fd = mosquitto_socket(m);
    if (phase_ == Phase::kTcp) {
      int err = 0;
      socklen_t len = sizeof err;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
      // Reset: the connection was made (the first bytes sent with it) and closed by the broker.
      if (err == ECONNRESET) return fail(tls_ ? tls_failure() : MqttFailure{Kind::kClosed, {}});
      if (err != 0) return next_or_fail({Kind::kUnreachable, tcp_problem(err)});
      phase_ = tls_ ? Phase::kTls : Phase::kMqtt;
    }
    int rc = MOSQ_ERR_SUCCESS;
    char c;
    if (phase_ == Phase::kTls) {
      rc = mosquitto_loop_read(m, 1);  // a step of the handshake
      if (rc == MOSQ_ERR_SUCCESS && SSL_is_init_finished(ssl())) {
        phase_ = Phase::kMqtt;
        mosquitto_log_callback_set(m, nullptr);
      } else if (rc == MOSQ_ERR_SUCCESS && recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT) == 0) {
        rc = MOSQ_ERR_TLS;  // closed by the broker during the handshake
      }
    } else {
      if (ready & IoLoop::kRead) rc = mosquitto_loop_read(m, 1);
      if (rc == MOSQ_ERR_SUCCESS && (ready & IoLoop::kWrite) && mosquitto_socket(m) >= 0)
        rc = mosquitto_loop_write(m, 1);
    }
    settle(rc);
  }

  // Pings at least every keepalive_s; a broker silent for as long is gone.
  void keep_alive() {
    keep_alive_->start(std::clamp(opts_.keepalive_s * 500, 1000, 5000));
    settle(mosquitto_loop_misc(mosq_.get()));
  }

  // What a turn of the library means: CONNACK, a failure, or only what the
  // socket must be watched for next.
  void settle(int rc) {
    if (phase_ == Phase::kMqtt && connack_ > 0) return fail(connack_failure(connack_));
    if (phase_ == Phase::kMqtt && connack_ == 0) {
      phase_ = Phase::kConnected;
      deadline_->stop();
      keep_alive_->start(0);
      for (const auto& [topic, qos] : subscriptions_)
        mosquitto_subscribe(mosq_.get(), nullptr, topic.c_str(), qos);
      queue([this] {
        if (on_connected) on_connected();
      });
    } else if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(mosq_.get()) < 0) {
      if (phase_ == Phase::kTls) return fail(tls_failure());
      if (phase_ == Phase::kMqtt) return fail({Kind::kClosed, {}});
      return fail({Kind::kLost, rc == MOSQ_ERR_KEEPALIVE ? "plus de réponse du serveur" : ""});
    }
    watch_events();
  }

  // Readable always; writable only while the library has bytes to write.
  void watch_events() {
    const bool write = phase_ == Phase::kTls ? SSL_want_write(ssl()) : mosquitto_want_write(mosq_.get());
    const int events = IoLoop::kRead | (write ? IoLoop::kWrite : 0);
    if (watch_->events() != events) watch_->set_events(events);
  }

  SSL* ssl() const { return static_cast<SSL*>(mosquitto_ssl_get(mosq_.get())); }

  MqttFailure tls_failure() const {
    if (verify_error_ != X509_V_OK)
      return {Kind::kCertificate, certificate_problem(verify_error_, opts_.host)};
    return heard_tls_ ? MqttFailure{Kind::kTls, tls_error_} : MqttFailure{Kind::kTlsNotOffered, {}};
  }

  void received(const mosquitto_message& msg) {
    const auto* bytes = static_cast<const char*>(msg.payload);
    queue([this, topic = std::string(msg.topic),
           payload = std::string(bytes, bytes + std::max(msg.payloadlen, 0))] {
      if (on_message) on_message(topic, payload);
    });
  }

  void fail(MqttFailure f) {
    close();
    queue([this, f = std::move(f)] {
      if (on_failure) on_failure(f);
    });
  }

  void close() {
    lookup_.reset();
    watch_.reset();  // before libmosquitto closes the socket
    mosq_.reset();
    deadline_->stop();
    keep_alive_->stop();
    events_.clear();
    phase_ = Phase::kIdle;
  }

  // Callbacks run from the loop, never from inside libmosquitto or a call of
  // the owner, who may destroy the client from any of them.
  void queue(std::function<void()> fn) {
    events_.push_back(std::move(fn));
    if (!notify_->pending()) notify_->start(0);
  }
  void deliver() {
    const std::weak_ptr<char> alive = alive_;
    while (!alive.expired() && !events_.empty()) {
      const auto fn = std::move(events_.front());
      events_.pop_front();
      fn();
    }
  }

  IoLoop& loop_;
  MosquittoClientFactory::Closing& closing_;
  MqttConnectOptions opts_;
  Phase phase_ = Phase::kIdle;
  RequestHandle lookup_;
  std::vector<std::string> addresses_;
  std::size_t next_ = 0;
  std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> tls_{nullptr, &SSL_CTX_free};
  std::string server_name_, tls_error_;
  bool heard_tls_ = false;
  long verify_error_ = X509_V_OK;
  std::unique_ptr<mosquitto, decltype(&mosquitto_destroy)> mosq_{nullptr, &mosquitto_destroy};
  int connack_ = -1;
  std::unique_ptr<IoLoop::Watch> watch_;
  std::vector<std::pair<std::string, int>> subscriptions_;
  std::deque<std::function<void()>> events_;
  std::shared_ptr<char> alive_ = std::make_shared<char>();
  std::unique_ptr<IoLoop::Alarm> deadline_, keep_alive_, notify_;
};

}  // namespace

MosquittoClientFactory::MosquittoClientFactory(IoLoop& loop)
    : loop_(loop), closing_(std::make_unique<Closing>(loop)) {}
MosquittoClientFactory::~MosquittoClientFactory() = default;

std::unique_ptr<MqttClient> MosquittoClientFactory::create_client() {
  return std::make_unique<MosquittoClient>(loop_, *closing_);
}

}  // namespace vireluz
