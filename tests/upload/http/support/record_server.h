#pragma once
// Runs record_server.py on 127.0.0.1 for the duration of a test and reads back
// the requests it recorded.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace vireluz::testing {

struct RecordedRequest {
  std::string method, target, version;
  std::vector<std::string> header_lines;
  std::string body;
  // The value of the first header with this name (case-insensitive), or
  // "<absent>".
  std::string header(const std::string& name) const;
};

class RecordServer {
 public:
  // mode: "normal" (records and answers status/body) or "hang" (never answers).
  RecordServer(int status, const std::string& body, const std::string& mode = "normal");
  ~RecordServer();
  RecordServer(const RecordServer&) = delete;
  RecordServer& operator=(const RecordServer&) = delete;

  int port() const { return port_; }
  std::vector<RecordedRequest> requests() const;

 private:
  std::string dir_;
  int pid_ = -1;
  int port_ = 0;
};

// A port on 127.0.0.1 where nothing listens.
int unused_port();

}  // namespace vireluz::testing
