#include "mqtt/mqtt_client_mosquitto.h"

#include <mosquitto.h>
#include <openssl/err.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Qt last: its "slots" keyword macro would clash with names in the headers above.
#include <QElapsedTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

namespace vireluz {

namespace {

constexpr int kServiceMs = 1000;      // while connecting: the deadline
constexpr int kIdleServiceMs = 5000;  // once connected: keep-alive pings (every keepalive_s)
constexpr int kFlushMs = 1000;        // what a clean disconnection may wait
const char* const kSystemCaPath = "/etc/ssl/certs";

void init_library() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

class MosquittoClient : public MqttClient {
 public:
  MosquittoClient() : ctx_(new QObject), service_(new QTimer(ctx_)) {
    init_library();
    QObject::connect(service_, &QTimer::timeout, ctx_, [this, t = std::weak_ptr<int>(token_)] {
      if (!t.expired()) service_tick();
    });
  }
  ~MosquittoClient() override {
    teardown();
    token_.reset();
    ctx_->deleteLater();  // never deleted from inside one of its own signals
  }

  void connect(const MqttConnectOptions& options) override {
    if (state_ != State::Idle) return;
    opts_ = options;
    state_ = State::Resolving;
    deadline_.start();
    service_->start(kServiceMs);
    const QString host = QString::fromStdString(opts_.host);
    if (host.isEmpty()) return fail(MqttFailureKind::kInvalidSettings, "serveur vide");
    if (QHostAddress(host).isNull()) {
      QHostInfo::lookupHost(host, ctx_, [this, c = current()](const QHostInfo& info) {
        if (!c.valid() || state_ != State::Resolving) return;
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
          return fail(MqttFailureKind::kUnknownHost, info.errorString().toStdString());
        start_connect();
      });
    } else {
      later([this] { start_connect(); });
    }
  }

  void disconnect() override {
    if (state_ == State::Connected && mosq_) {
      flush();
      mosquitto_disconnect(mosq_);
      QElapsedTimer t;
      t.start();
      while (mosquitto_socket(mosq_) >= 0 && t.elapsed() < kFlushMs)
        if (mosquitto_loop(mosq_, 50, 1) != MOSQ_ERR_SUCCESS) break;
    }
    teardown();
  }

  bool connected() const override { return state_ == State::Connected; }

  bool publish(const std::string& topic, const std::string& payload, bool retain, int qos) override {
    if (state_ != State::Connected) return false;
    const int rc = mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                                     payload.data(), qos, retain);
    update_notifiers();
    return rc == MOSQ_ERR_SUCCESS;
  }

  // Not sent yet by this adapter: the subscriptions are only kept.
  void subscribe(const std::string& topic, int) override { subscriptions_.push_back(topic); }

 private:
  enum class State { Idle, Resolving, Connecting, Connected };

  // The attempt a callback belongs to: callbacks of an attempt that ended,
  // or of a client that is gone, do nothing.
  struct Attempt {
    std::weak_ptr<int> token;
    int generation;
    bool valid() const {
      const auto p = token.lock();
      return p && *p == generation;
    }
  };
  Attempt current() const { return Attempt{token_, *token_}; }

  // Runs fn on the event loop, unless the attempt has ended by then.
  template <class F>
  void later(F fn) {
    QTimer::singleShot(0, ctx_, [this, c = current(), fn = std::move(fn)]() mutable {
      if (c.valid()) fn();
    });
  }

  void start_connect() {
    if (state_ != State::Resolving) return;
    state_ = State::Connecting;
    mosq_ = mosquitto_new(opts_.client_id.empty() ? nullptr : opts_.client_id.c_str(), true, this);
    if (!mosq_) return fail(MqttFailureKind::kInvalidSettings, std::strerror(errno));
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(
        mosq_, [](mosquitto*, void* self, int rc) { static_cast<MosquittoClient*>(self)->connack_rc_ = rc; });
    // The library tells the cause of a TLS failure only in its log.
    mosquitto_log_callback_set(mosq_, [](mosquitto*, void* self, int level, const char* text) {
      if (level == MOSQ_LOG_ERR && text) static_cast<MosquittoClient*>(self)->last_log_error_ = text;
    });
    if (!opts_.username.empty())
      mosquitto_username_pw_set(mosq_, opts_.username.c_str(),
                                opts_.password.empty() ? nullptr : opts_.password.c_str());
    if (!opts_.will_topic.empty())
      mosquitto_will_set(mosq_, opts_.will_topic.c_str(), static_cast<int>(opts_.will_payload.size()),
                         opts_.will_payload.data(), 1, true);
    if (opts_.tls) {
      int rc;
      if (!opts_.ca_file.empty()) {
        if (::access(opts_.ca_file.c_str(), R_OK) != 0)
          return fail(MqttFailureKind::kInvalidSettings, "fichier CA illisible : " + opts_.ca_file);
        rc = mosquitto_tls_set(mosq_, opts_.ca_file.c_str(), nullptr, nullptr, nullptr, nullptr);
      } else {
        mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        rc = mosquitto_tls_set(mosq_, nullptr, kSystemCaPath, nullptr, nullptr, nullptr);
      }
      if (rc != MOSQ_ERR_SUCCESS) return fail(MqttFailureKind::kInvalidSettings, mosquitto_strerror(rc));
    }
    ERR_clear_error();
    const int rc = mosquitto_connect_async(mosq_, opts_.host.c_str(), opts_.port, opts_.keepalive_s);
    if (rc != MOSQ_ERR_SUCCESS) return fail_from(rc);
    update_notifiers();
  }

  // One turn of the library: reads, writes, keep-alive; then what it means.
  void service() {
    if (!mosq_ || (state_ != State::Connecting && state_ != State::Connected)) return;
    const int rc = mosquitto_loop(mosq_, 0, 1);
    if (state_ == State::Connecting && connack_rc_ >= 0) {
      if (connack_rc_ != 0) {
        const int c = connack_rc_;
        const auto kind = (c == 4 || c == 5) ? MqttFailureKind::kAuthRefused : MqttFailureKind::kRefused;
        return fail(kind, mosquitto_connack_string(c));
      }
      state_ = State::Connected;
      service_->start(kIdleServiceMs);
      later([this] {
        if (state_ == State::Connected && on_connected) on_connected();
      });
    }
    if (rc != MOSQ_ERR_SUCCESS) return fail_from(rc);
    update_notifiers();
  }

  void service_tick() {
    if ((state_ == State::Resolving || state_ == State::Connecting) &&
        deadline_.elapsed() > opts_.connect_timeout_ms)
      return fail(MqttFailureKind::kTimeout, {});
    service();
  }

  void flush() {
    QElapsedTimer t;
    t.start();
    while (mosquitto_want_write(mosq_) && t.elapsed() < kFlushMs)
      if (mosquitto_loop(mosq_, 50, 1) != MOSQ_ERR_SUCCESS) break;
  }

  void drop_notifiers() {
    for (QSocketNotifier* n : {read_, write_}) {
      if (!n) continue;
      n->setEnabled(false);
      n->deleteLater();
    }
    read_ = write_ = nullptr;
    fd_ = -1;
  }

  void update_notifiers() {
    if (!mosq_) return;
    const int fd = mosquitto_socket(mosq_);
    if (fd != fd_) {
      drop_notifiers();
      fd_ = fd;
      if (fd_ >= 0) {
        read_ = new QSocketNotifier(fd_, QSocketNotifier::Read, ctx_);
        write_ = new QSocketNotifier(fd_, QSocketNotifier::Write, ctx_);
        for (QSocketNotifier* n : {read_, write_})
          QObject::connect(n, &QSocketNotifier::activated, ctx_, [this, c = current()] {
            if (c.valid()) service();
          });
      }
    }
    // Writable matters while the connection is being made and while bytes wait.
    if (write_) write_->setEnabled(state_ == State::Connecting || mosquitto_want_write(mosq_));
  }

  void fail_from(int rc) {
    const int err = errno;
    if (state_ == State::Connected) return fail(MqttFailureKind::kLost, mosquitto_strerror(rc));
    switch (rc) {
      case MOSQ_ERR_EAI:
        return fail(MqttFailureKind::kUnknownHost, {});
      case MOSQ_ERR_TLS: {
        // "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed": the last part.
        std::string why = last_log_error_;
        if (const auto colon = why.rfind(':'); colon != std::string::npos) why = why.substr(colon + 1);
        if (why.empty())
          if (const unsigned long e = ERR_get_error())
            if (const char* r = ERR_reason_error_string(e)) why = r;
        return fail(MqttFailureKind::kTls, why);
      }
      case MOSQ_ERR_ERRNO:
        return fail(MqttFailureKind::kUnreachable, std::strerror(err));
      case MOSQ_ERR_CONN_REFUSED:
      case MOSQ_ERR_AUTH:
        return fail(MqttFailureKind::kAuthRefused, mosquitto_strerror(rc));
      default:
        return fail(MqttFailureKind::kUnreachable, mosquitto_strerror(rc));
    }
  }

  // Ends the attempt or the connection and tells the owner, from the loop.
  void fail(MqttFailureKind kind, std::string detail) {
    teardown();
    later([this, f = MqttFailure{kind, std::move(detail)}] {
      if (on_failure) on_failure(f);
    });
  }

  void teardown() {
    ++*token_;  // callbacks of this attempt are void from now on
    service_->stop();
    drop_notifiers();
    if (mosq_) {
      mosquitto_destroy(mosq_);
      mosq_ = nullptr;
    }
    state_ = State::Idle;
    connack_rc_ = -1;
    last_log_error_.clear();
  }

  std::shared_ptr<int> token_ = std::make_shared<int>(0);
  QObject* ctx_;
  QTimer* service_;
  MqttConnectOptions opts_;
  State state_ = State::Idle;
  mosquitto* mosq_ = nullptr;
  QSocketNotifier* read_ = nullptr;
  QSocketNotifier* write_ = nullptr;
  int fd_ = -1;
  int connack_rc_ = -1;
  std::string last_log_error_;
  QElapsedTimer deadline_;
  std::vector<std::string> subscriptions_;
};

}  // namespace

std::unique_ptr<MqttClient> MosquittoClientFactory::create_client() {
  return std::make_unique<MosquittoClient>();
}

}  // namespace vireluz
