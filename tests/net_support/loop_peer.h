#pragma once
// A server on 127.0.0.1 run by the test's own event loop (a SimIoLoop, so
// that it answers at once and time limits run in simulated time): it
// accepts connections and hands what each one received to `on_data`, which
// answers with send(). Writes are queued and sent as the socket takes them.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "common/io_loop.h"

namespace vireluz::testing {

class LoopPeer {
 public:
  // on_data(connection, received so far): take what it needs off the front.
  using OnData = std::function<void(int conn, std::string& in)>;

  // backlog 0 with accept_connections false: connections beyond the first
  // never complete (their SYN is dropped), for a connection that hangs.
  explicit LoopPeer(IoLoop& loop, bool accept_connections = true, int backlog = 8) : loop_(loop) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd_, backlog);
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    if (accept_connections) accept_watch_ = loop_.watch(fd_, IoLoop::kRead, [this](int) { accept_all(); });
  }
  ~LoopPeer() {
    conns_.clear();
    accept_watch_.reset();
    close(fd_);
  }

  int port() const { return port_; }
  int accepted() const { return accepted_; }
  // Connections the client has not closed yet.
  int open() const {
    int n = 0;
    for (const auto& [id, c] : conns_) n += c->closed ? 0 : 1;
    return n;
  }
  std::string received(int conn) const {
    const auto it = conns_.find(conn);
    return it == conns_.end() ? std::string() : it->second->all;
  }

  void send(int conn, const std::string& bytes) {
    Conn& c = *conns_.at(conn);
    if (c.closed) return;
    c.out += bytes;
    flush(c);
  }

  std::function<void(int conn)> on_accept;
  OnData on_data;

 private:
  struct Conn {
    int fd = -1;
    std::string in, out, all;
    bool closed = false;
    std::unique_ptr<IoLoop::Watch> watch;
    ~Conn() {
      watch.reset();
      close(fd);
    }
  };

  void accept_all() {
    for (;;) {
      const int fd = accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK);
      if (fd < 0) return;
      const int id = ++accepted_;
      auto c = std::make_unique<Conn>();
      c->fd = fd;
      c->watch = loop_.watch(fd, IoLoop::kRead, [this, id](int ready) { on_ready(id, ready); });
      conns_[id] = std::move(c);
      if (on_accept) on_accept(id);
    }
  }

  void on_ready(int id, int ready) {
    Conn& c = *conns_.at(id);
    if (ready & IoLoop::kWrite) flush(c);
    if (!(ready & IoLoop::kRead) || c.closed) return;
    char buf[65536];
    const ssize_t n = recv(c.fd, buf, sizeof buf, 0);
    if (n <= 0) return shut(c);
    c.in.append(buf, static_cast<std::size_t>(n));
    c.all.append(buf, static_cast<std::size_t>(n));
    if (on_data) on_data(id, c.in);
  }

  void flush(Conn& c) {
    while (!c.out.empty()) {
      const ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
      if (n < 0) {
        if (errno != EAGAIN) return shut(c);
        break;
      }
      c.out.erase(0, static_cast<std::size_t>(n));
    }
    c.watch->set_events(IoLoop::kRead | (c.out.empty() ? 0 : IoLoop::kWrite));
  }

  void shut(Conn& c) {
    c.closed = true;
    c.out.clear();
    c.watch->set_events(0);
  }

  IoLoop& loop_;
  int fd_ = -1;
  int port_ = 0;
  int accepted_ = 0;
  std::unique_ptr<IoLoop::Watch> accept_watch_;
  std::map<int, std::unique_ptr<Conn>> conns_;
};

}  // namespace vireluz::testing
