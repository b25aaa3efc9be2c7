#include "support/record_server.h"

#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace vireluz::testing {

namespace {

std::string from_hex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::string RecordedRequest::header(const std::string& name) const {
  for (const auto& line : header_lines) {
    const auto colon = line.find(':');
    if (colon != std::string::npos && lower(line.substr(0, colon)) == lower(name)) {
      std::string v = line.substr(colon + 1);
      while (!v.empty() && v.front() == ' ') v.erase(0, 1);
      return v;
    }
  }
  return "<absent>";
}

RecordServer::RecordServer(int status, const std::string& body, const std::string& mode) {
  char tmpl[] = "/tmp/vireluz_http_XXXXXX";
  if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp");
  dir_ = tmpl;
  const std::string script = std::string(VIRELUZ_SOURCE_DIR) + "/tests/upload/http/record_server.py";
  const std::string port_file = dir_ + "/port";
  const std::string status_text = std::to_string(status);
  std::vector<std::string> args{
      "python3",  script,      "--port-file", port_file, "--log",  dir_ + "/log.jsonl",
      "--status", status_text, "--body",      body,      "--mode", mode};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, "python3", nullptr, nullptr, argv.data(), environ) != 0)
    throw std::runtime_error("cannot start python3");
  pid_ = pid;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream f(port_file);
    if (f >> port_) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  throw std::runtime_error("record_server.py did not start");
}

RecordServer::~RecordServer() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    int st = 0;
    waitpid(pid_, &st, 0);
  }
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

std::vector<RecordedRequest> RecordServer::requests() const {
  std::vector<RecordedRequest> out;
  std::ifstream f(dir_ + "/log.jsonl");
  std::string line;
  while (std::getline(f, line)) {
    const auto j = nlohmann::json::parse(line);
    RecordedRequest r;
    r.method = j.at("method");
    r.target = j.at("target");
    r.version = j.at("version");
    r.header_lines = j.at("header_lines").get<std::vector<std::string>>();
    r.body = from_hex(j.at("body_hex"));
    out.push_back(std::move(r));
  }
  return out;
}

int unused_port() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  socklen_t len = sizeof a;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(s);
    throw std::runtime_error("no free port");
  }
  close(s);
  return ntohs(a.sin_port);
}

}  // namespace vireluz::testing
