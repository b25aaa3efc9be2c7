#include "support/peers.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace vireluz::testing {

PythonPeer::PythonPeer(const std::string& python, std::vector<std::string> args,
                       const std::string& port_file) {
  args.insert(args.begin(), python);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, python.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
    throw std::runtime_error("cannot start " + python);
  pid_ = pid;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream f(port_file);
    if (f >> port_) return;
    int st = 0;
    if (waitpid(pid_, &st, WNOHANG) == pid_) {
      pid_ = -1;
      throw std::runtime_error(args[1] + " ended before listening");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  throw std::runtime_error(args[1] + " did not start");
}

PythonPeer::~PythonPeer() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int st = 0;
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid_, &st, WNOHANG) == pid_) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, &st, 0);
}

SmtpPeer::SmtpPeer(const std::string& dir)
    : dir_((std::filesystem::create_directories(dir + "/mails"), dir + "/mails")),
      peer_(VIRELUZ_PYTHON,
            {VIRELUZ_SOURCE_DIR "/tests/alerts/smtp/smtp_peer.py", "plain", dir_, dir + "/smtp.port"},
            dir + "/smtp.port") {}

std::vector<nlohmann::json> SmtpPeer::mails() const {
  std::vector<nlohmann::json> out;
  for (int n = 0;; ++n) {
    std::ifstream f(dir_ + "/" + std::to_string(n) + ".json");
    if (!f) break;
    out.push_back(nlohmann::json::parse(f));
  }
  return out;
}

HttpPeer::HttpPeer(const std::string& dir, const std::string& body)
    : log_(dir + "/http.jsonl"),
      peer_(VIRELUZ_PYTHON,
            {VIRELUZ_SOURCE_DIR "/tests/upload/http/record_server.py", "--port-file", dir + "/http.port",
             "--log", log_, "--status", "200", "--body", body},
            dir + "/http.port") {}

std::vector<nlohmann::json> HttpPeer::requests() const {
  std::vector<nlohmann::json> out;
  std::ifstream f(log_);
  std::string line;
  while (std::getline(f, line))
    if (!line.empty()) out.push_back(nlohmann::json::parse(line));
  return out;
}

}  // namespace vireluz::testing
