#pragma once
// The MQTT client port: one connection to a broker, opened and watched on the
// program's event loop. The publisher decides what to send and when to retry;
// the adapter only connects, publishes and reports what happened.
#include <functional>
#include <memory>
#include <string>

namespace vireluz {

struct MqttConnectOptions {
  std::string host;
  int port = 1883;
  std::string username;  // empty: no login
  std::string password;
  bool tls = false;
  std::string ca_file;  // with TLS; empty: the system's certificate store
  std::string client_id;
  // Last will, sent by the broker when the connection dies without a clean
  // disconnect (crash, pulled cable). Empty topic: none.
  std::string will_topic;
  std::string will_payload;
  int keepalive_s = 30;
  int connect_timeout_ms = 10000;  // a connection attempt never takes longer
};

enum class MqttFailureKind {
  kInvalidSettings,  // the options cannot be used (CA file unreadable, empty host...)
  kUnknownHost,      // the broker's name does not resolve
  kUnreachable,      // no TCP connection (refused, no route)
  kTimeout,          // no answer within connect_timeout_ms
  kTlsNotOffered,    // TLS asked, but the broker does not answer in TLS on this port
  kCertificate,      // the broker's certificate was refused
  kTls,              // another failure of the TLS handshake
  kClosed,           // the broker closed the connection without accepting it
  kAuthRefused,      // bad user name or password, or not authorised
  kRefused,          // another refusal of the broker (protocol, client id)
  kLost,             // an established connection was lost
};

struct MqttFailure {
  MqttFailureKind kind = MqttFailureKind::kUnreachable;
  // What went wrong, in French (UTF-8), may be empty; a library's own words,
  // when kept, stand in parentheses after the French.
  std::string detail;
};

class MqttClient {
 public:
  virtual ~MqttClient() = default;
  // Starts one connection attempt and returns at once; the outcome comes
  // through on_connected or on_failure, on the event loop. Does nothing while
  // an attempt or a connection is under way.
  virtual void connect(const MqttConnectOptions& options) = 0;
  // Queues DISCONNECT after what waits, writes what the socket takes at once
  // and closes, without waiting: once the broker has read DISCONNECT it does
  // not send the last will. No callback follows.
  virtual void disconnect() = 0;
  virtual bool connected() const = 0;
  // Queues one message; false when not connected (nothing is kept).
  virtual bool publish(const std::string& topic, const std::string& payload, bool retain, int qos) = 0;
  // Subscribes to a topic (or filter) on the current connection, if any, and
  // on every later one: the client sends it again after each reconnection.
  // What the broker delivers on it comes through on_message.
  virtual void subscribe(const std::string& topic, int qos) = 0;

  std::function<void()> on_connected;
  // A failed attempt, or the loss of an established connection. No retry is
  // made by the client itself.
  std::function<void(const MqttFailure&)> on_failure;
  // A message received on a subscribed topic; the payload is raw bytes.
  std::function<void(const std::string& topic, const std::string& payload)> on_message;
};

class MqttClientFactory {
 public:
  virtual ~MqttClientFactory() = default;
  virtual std::unique_ptr<MqttClient> create_client() = 0;
};

}  // namespace vireluz
