// The libmosquitto client against a real Mosquitto broker on 127.0.0.1,
// started by each test, on the Qt event loop.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "mqtt/mqtt_client_mosquitto.h"
#include "net_support/qt_net_loop.h"

extern char** environ;

namespace vireluz {
namespace {

namespace fs = std::filesystem;
using testing::QtNetLoop;

bool can_connect(int port) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(s);
  return ok;
}

int free_port() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  close(s);
  return ntohs(a.sin_port);
}

// Mosquitto listening on 127.0.0.1 only (127.0.0.2 refuses), anonymous.
class Broker {
 public:
  explicit Broker(QtNetLoop& loop) : loop_(loop), port_(free_port()) {
    conf_ = fs::path(VIRELUZ_BINARY_DIR) / ("mosquitto_" + std::to_string(getpid()) + ".conf");
    std::ofstream(conf_) << "listener " << port_ << " 127.0.0.1\nallow_anonymous true\npersistence false\n";
    start();
  }
  ~Broker() {
    stop();
    fs::remove(conf_);
  }
  void start() {
    const std::string conf = conf_.string();
    const char* argv[] = {"mosquitto", "-c", conf.c_str(), nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    ASSERT_EQ(posix_spawnp(&pid_, "mosquitto", &quiet, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&quiet);
    ASSERT_TRUE(loop_.run_until([&] { return can_connect(port_); }, 10000)) << "mosquitto does not listen";
  }
  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }
  int port() const { return port_; }

 private:
  QtNetLoop& loop_;
  int port_;
  fs::path conf_;
  pid_t pid_ = 0;
};

// The loop's port, with names looked up in a table of the test's own.
class NamedLoop : public IoLoop {
 public:
  NamedLoop(IoLoop& real, std::map<std::string, std::vector<std::string>> names)
      : real_(real), names_(std::move(names)) {}
  std::unique_ptr<Watch> watch(int fd, int events, std::function<void(int)> on_ready) override {
    return real_.watch(fd, events, std::move(on_ready));
  }
  std::unique_ptr<Alarm> alarm(std::function<void()> fn) override { return real_.alarm(std::move(fn)); }
  RequestHandle resolve(const std::string& host, ResolveDone done) override {
    looked_up.push_back(host);
    // The real loop answers a numeric address from the loop, as a lookup would.
    return real_.resolve("127.0.0.1",
                         [done, r = Resolved{names_.at(host), {}}](const Resolved&) { done(r); });
  }
  std::int64_t now_ms() const override { return real_.now_ms(); }
  std::vector<std::string> looked_up;

 private:
  IoLoop& real_;
  std::map<std::string, std::vector<std::string>> names_;
};

struct Events {
  int connected = 0;
  std::vector<MqttFailure> failures;
  std::vector<std::pair<std::string, std::string>> messages;
};

std::unique_ptr<MqttClient> watched(MqttClientFactory& f, Events& e) {
  auto c = f.create_client();
  c->on_connected = [&e] { ++e.connected; };
  c->on_failure = [&e](const MqttFailure& x) { e.failures.push_back(x); };
  c->on_message = [&e](const std::string& t, const std::string& p) { e.messages.emplace_back(t, p); };
  return c;
}

MqttConnectOptions options(int port, const std::string& id) {
  MqttConnectOptions o;
  o.host = "127.0.0.1";
  o.port = port;
  o.client_id = id;
  return o;
}

TEST(MosquittoClient, SubscriptionsComeBackAfterEachReconnection) {
  QtNetLoop loop;
  Broker broker(loop);
  MosquittoClientFactory clients(loop.io);
  Events ev, pub_ev;
  auto listener = watched(clients, ev);
  auto publisher = watched(clients, pub_ev);
  listener->subscribe("homeassistant/status", 1);
  listener->connect(options(broker.port(), "listener"));
  publisher->connect(options(broker.port(), "publisher"));
  ASSERT_TRUE(loop.run_until([&] { return ev.connected == 1 && pub_ev.connected == 1; }, 10000));
  const std::string payload("on\0line", 7);  // bytes, not text
  // The subscription may reach the broker just after CONNACK: publish until heard.
  ASSERT_TRUE(loop.run_until([&] {
    publisher->publish("homeassistant/status", payload, false, 0);
    return !ev.messages.empty();
  }));
  EXPECT_EQ(ev.messages.front(), std::make_pair(std::string("homeassistant/status"), payload));

  broker.stop();
  ASSERT_TRUE(loop.run_until([&] { return !ev.failures.empty() && !pub_ev.failures.empty(); }, 10000));
  EXPECT_EQ(ev.failures.front().kind, MqttFailureKind::kLost);
  EXPECT_FALSE(listener->connected());
  broker.start();
  ev.messages.clear();
  listener->connect(options(broker.port(), "listener"));
  publisher->connect(options(broker.port(), "publisher"));
  ASSERT_TRUE(loop.run_until([&] { return ev.connected == 2 && pub_ev.connected == 2; }, 10000));
  // Dropped from inside its own callback: nothing runs on it afterwards.
  listener->on_message = [&](const std::string& t, const std::string& p) {
    ev.messages.emplace_back(t, p);
    listener.reset();
  };
  ASSERT_TRUE(loop.run_until([&] {
    publisher->publish("homeassistant/status", "online", false, 0);
    return !ev.messages.empty();
  }));
  EXPECT_EQ(ev.messages.front().second, "online");
  loop.run_for(200);
  EXPECT_EQ(ev.messages.size(), 1u);
}

// disconnect() does not wait: what was published and DISCONNECT are handed
// to the socket at once, so the broker keeps the last will to itself.
TEST(MosquittoClient, DisconnectWritesWhatWaitsAndSpendsNoLastWill) {
  QtNetLoop loop;
  Broker broker(loop);
  MosquittoClientFactory clients(loop.io);
  Events obs_ev, ev;
  auto observer = watched(clients, obs_ev);
  observer->subscribe("vireluz/#", 1);
  observer->connect(options(broker.port(), "observer"));
  ASSERT_TRUE(loop.run_until([&] { return obs_ev.connected == 1; }));
  auto client = watched(clients, ev);
  MqttConnectOptions o = options(broker.port(), "leaving");
  o.will_topic = "vireluz/will";
  o.will_payload = "offline";
  client->connect(o);
  ASSERT_TRUE(loop.run_until([&] { return ev.connected == 1; }));
  loop.run_for(300);  // the observer's subscription is in place by then
  for (int i = 0; i < 50; ++i) client->publish("vireluz/state", std::to_string(i), false, 1);
  client->disconnect();
  client.reset();
  loop.run_until([&] { return obs_ev.messages.size() >= 50; }, 3000);
  loop.run_for(500);
  ASSERT_EQ(obs_ev.messages.size(), 50u);
  EXPECT_EQ(obs_ev.messages.back(), std::make_pair(std::string("vireluz/state"), std::string("49")));
  EXPECT_TRUE(ev.failures.empty());
}

// The broker's name is looked up by the loop, once per attempt; libmosquitto
// gets the addresses, the next one when one refuses.
TEST(MosquittoClient, TriesTheNextAddressWhenOneRefuses) {
  QtNetLoop loop;
  Broker broker(loop);
  NamedLoop named(loop.io, {{"broker.test", {"127.0.0.2", "127.0.0.1"}}, {"nothing.test", {"127.0.0.2"}}});
  MosquittoClientFactory clients(named);
  Events ev;
  auto client = watched(clients, ev);
  MqttConnectOptions o = options(broker.port(), "named");
  o.host = "broker.test";
  client->connect(o);
  ASSERT_TRUE(loop.run_until([&] { return ev.connected == 1 || !ev.failures.empty(); }, 10000));
  EXPECT_TRUE(client->connected());
  client->disconnect();
  o.host = "nothing.test";
  client->connect(o);
  ASSERT_TRUE(loop.run_until([&] { return !ev.failures.empty(); }, 10000));
  EXPECT_EQ(ev.failures.front().kind, MqttFailureKind::kUnreachable);
  EXPECT_EQ(ev.failures.front().detail, "aucun serveur n'écoute sur ce port");
  EXPECT_EQ(named.looked_up, (std::vector<std::string>{"broker.test", "nothing.test"}));
}

}  // namespace
}  // namespace vireluz
