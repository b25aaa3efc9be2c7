#pragma once
// The network peers of the long run, on 127.0.0.1: the SMTP server of the mail
// tests (tests/alerts/smtp/smtp_peer.py, one N.json per mail received) and the
// HTTP server of the upload tests (tests/upload/http/record_server.py, one
// JSON line per request). Each runs as a child process for the life of the
// object.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace vireluz::testing {

class PythonPeer {
 public:
  // Starts `python script args...`; `port_file` is where the script writes its
  // port once it listens (waited for up to 20 s).
  PythonPeer(const std::string& python, std::vector<std::string> args, const std::string& port_file);
  ~PythonPeer();
  PythonPeer(const PythonPeer&) = delete;
  PythonPeer& operator=(const PythonPeer&) = delete;
  int port() const { return port_; }

 private:
  int pid_ = -1;
  int port_ = 0;
};

class SmtpPeer {
 public:
  explicit SmtpPeer(const std::string& dir);
  int port() const { return peer_.port(); }
  // The mails received so far, in order of arrival (the peer's records).
  std::vector<nlohmann::json> mails() const;

 private:
  std::string dir_;
  PythonPeer peer_;
};

class HttpPeer {
 public:
  // Answers every request with status 200 and `body`.
  HttpPeer(const std::string& dir, const std::string& body);
  int port() const { return peer_.port(); }
  // Every request received: method, target, header_lines, body_hex.
  std::vector<nlohmann::json> requests() const;

 private:
  std::string log_;
  PythonPeer peer_;
};

}  // namespace vireluz::testing
