#pragma once
// The program core reading the simulated interface in simulated time, wired
// as the headless runner wires it: the Program and its Services (records,
// daily file, alerts), the interface's bytes reaching the Program through a
// serial port on the simulator's sink, mails kept, uploads answered at once.
// The data folder is a fresh temporary folder, removed at the end.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "acquisition/forwarding_d2xx.h"
#include "acquisition/serial_link.h"
#include "alerts/mail_sender.h"
#include "common/sim_scheduler.h"
#include "program/program.h"
#include "program/services.h"
#include "simulator/simulated_interface.h"
#include "upload/http_client.h"

namespace simtest {

using namespace vireluz;

class KeptMail : public MailSender {
 public:
  RequestHandle send(const MailMessage& m, const SmtpSettings&, Done done) override {
    sent.push_back(m);
    done(std::nullopt);
    return nullptr;
  }
  std::vector<MailMessage> sent;
};

class AnsweringHttp : public HttpClient {
 public:
  RequestHandle send(const HttpRequest&, Done done) override {
    done(HttpResult{HttpResponse{200, "OK"}, {}});
    return nullptr;
  }
};

class SinkLink : public SerialLink {
 public:
  void attach(SimulatedInterface& sim);
  void set_port_name(const std::string& d) override { port_ = d; }
  std::string port_name() const override { return port_; }
  void set_baud_rate(int baud) override;
  int baud_rate() const override { return baud_; }
  void connect() override { open_ = true; }
  void disconnect() override { open_ = false; }
  bool connected() const override { return open_; }

 private:
  SimulatedInterface* sim_ = nullptr;
  std::string port_;
  int baud_ = 1200;
  bool open_ = false;
};

struct ProgramRun {
  // `config`: the lines of [CONFIG_PRG] (the record folder is added);
  // `alerts`: the whole alert file (empty: none); `sim_options`: as
  // --sim-options. The program starts as the headless runner starts it.
  ProgramRun(const DateTime& start, const std::string& config, const std::string& alerts,
             const std::string& sim_options);
  ~ProgramRun();

  // The --dump document.
  nlohmann::json dump();
  std::filesystem::path records() const { return dir / "enr"; }

  static std::filesystem::path fresh_dir();
  std::filesystem::path dir = fresh_dir();
  SimScheduler sched;
  RecordingMessages messages;
  ForwardingD2xx d2xx;
  SinkLink link;
  Program program{sched, sched, messages, d2xx, link, {dir.string() + "/", dir.string() + "/"}};
  KeptMail mail;
  AnsweringHttp http;
  std::unique_ptr<Services> services;
  std::unique_ptr<SimulatedInterface> sim;
};

// The lines of a file written by the program (CR LF ends), in Windows-1252.
std::vector<std::string> file_lines(const std::filesystem::path& path);

}  // namespace simtest
