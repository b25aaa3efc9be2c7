// The whole reading core on a day of data: two simulated meters sending at
// their line rate (historic, 1200 baud) through the framer and the decoder,
// the record every minute into a temporary folder, the alert rules after every
// frame (mails go to a sender that drops them) and every timer of the program,
// in simulated time. One iteration is one simulated day; the time reported is
// the wall time of that day. BM_simulator_day measures the simulated
// interface alone (frame generation and pacing), the part of the day that is
// not the program's. The CPU column tells the computing from the waiting: the
// record file is flushed to the device at every row.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "common/sim_scheduler.h"
#include "config/config_files.h"
#include "acquisition/forwarding_d2xx.h"
#include "program/program.h"
#include "program/services.h"
#include "simulator/simulated_interface.h"

namespace vireluz {
namespace {

namespace fs = std::filesystem;
constexpr std::int64_t kDayMs = 86400000;
const DateTime kStart{2026, 6, 15, 0, 0, 0, 0};

class NullMail : public MailSender {
 public:
  RequestHandle send(const MailMessage&, const SmtpSettings&, Done done) override {
    ++sent;
    done(std::nullopt);
    return nullptr;
  }
  int sent = 0;
};

class NullHttp : public HttpClient {
 public:
  RequestHandle send(const HttpRequest&, Done done) override {
    done(HttpResult{HttpResponse{200, "OK"}, {}});
    return nullptr;
  }
};

// The serial port on the simulator's sink: bytes reach the program while open.
class SinkLink : public SerialLink {
 public:
  void attach(SimulatedInterface& sim) {
    sim.set_sink([this](std::string_view b) {
      if (open_ && on_data) on_data(b);
    });
    sim_ = &sim;
  }
  void set_port_name(const std::string& d) override { port_ = d; }
  std::string port_name() const override { return port_; }
  void set_baud_rate(int baud) override {
    baud_ = baud;
    if (sim_) sim_->set_sink_baud(baud);
  }
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

void write_configuration(const fs::path& dir) {
  std::ofstream cfg(dir / kConfigFileName, std::ios::binary);
  cfg << "[CONFIG_PRG]\r\nPERIODE_ENR=0\r\nMODE_INTERFACE=1\r\nTYPE_NOM_FICHIER=1\r\nREPERTOIR_ENR="
      << (dir / "enr").string() << "\r\n";
  // One rule that holds most of the time (re-armed after 60 minutes) and one
  // that never holds: both are compared after every frame.
  std::ofstream al(dir / kAlertFileName, std::ios::binary);
  al << "[CONFIG_MAIL]\r\nACTIF=1\r\nSMTP=127.0.0.1\r\nTABLEAU "
        "VIDE=NON\r\n[CONFIG_ALERTE]\r\nREACTIVATION=60\r\n"
        "[GENERAL]\r\nCOLCOUNT=17\r\nROWCOUNT=2\r\n"
        "[0]\r\n0=Compteur 1\r\n1=Compteur 2\r\n[4]\r\n0=P %V\r\n1=I %V\r\n[5]\r\n0=0\r\n1=1\r\n"
        "[6]\r\n0=4\r\n1=0\r\n[7]\r\n0=3\r\n1=3\r\n[8]\r\n0=400\r\n1=90\r\n[11]\r\n0=0\r\n1=0\r\n"
        "[13]\r\n0=0\r\n1=0\r\n";
}

// A fresh program reading both meters, stopped before the day starts.
struct Run {
  explicit Run(const fs::path& dir)
      : program(sched, sched, messages, d2xx, link, {dir.string() + "/", dir.string() + "/"}) {
    services = std::make_unique<Services>(program, mail, http);
    sim = std::make_unique<SimulatedInterface>(kSimUsbTwoMeters, program.settings(), program.timers(), sched);
    d2xx.target = sim.get();
    link.attach(*sim);
    program.start_sequence(true);
    sched.advance(Program::kAutoStartFirstMs);
  }
  ~Run() { sim->set_sink(nullptr); }

  SimScheduler sched{kStart, 120};
  RecordingMessages messages;
  ForwardingD2xx d2xx;
  SinkLink link;
  Program program;
  NullMail mail;
  NullHttp http;
  std::unique_ptr<Services> services;
  std::unique_ptr<SimulatedInterface> sim;
};

// Arg 0: the temporary folder (a disk: every row is flushed to the device);
// arg 1: /dev/shm (memory: the same work without the device's flush time).
fs::path bench_dir(int where) {
  const fs::path base =
      where == 1 && fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
  const fs::path d = base / ("vireluz_program_bench_" + std::to_string(::getpid()));
  fs::remove_all(d);
  fs::create_directories(d / "enr");
  write_configuration(d);
  return d;
}

void BM_program_day(benchmark::State& state) {
  const fs::path dir = bench_dir(static_cast<int>(state.range(0)));
  std::int64_t packets = 0, mails = 0, messages = 0;
  for (auto _ : state) {
    fs::remove_all(dir / "enr");
    fs::create_directories(dir / "enr");
    Run run(dir);
    const auto t0 = std::chrono::steady_clock::now();
    run.sched.advance(kDayMs);
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    packets += run.program.packets();
    mails += run.mail.sent;
    messages += static_cast<std::int64_t>(run.messages.messages.size());
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["frames/day"] = static_cast<double>(packets) / n;
  state.counters["mails/day"] = static_cast<double>(mails) / n;
  state.counters["errors"] = static_cast<double>(messages);
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(packets), benchmark::Counter::kIsRate);
  fs::remove_all(dir);
}
BENCHMARK(BM_program_day)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The simulated interface alone: the same two meters, switched every 10 s,
// into a sink that only counts the bytes.
void BM_simulator_day(benchmark::State& state) {
  Settings settings;
  std::int64_t bytes = 0;
  for (auto _ : state) {
    SimScheduler sched{kStart, 120};
    SimulatedInterface sim(kSimUsbTwoMeters, settings, sched, sched);
    sim.set_sink([&](std::string_view b) { bytes += static_cast<std::int64_t>(b.size()); });
    FT_HANDLE h = 0;
    sim.OpenEx(kSimUsbTwoMeters, h);
    const auto t0 = std::chrono::steady_clock::now();
    for (std::int64_t t = 0; t < kDayMs; t += 10000) {
      sim.SetBitMode(h, (t / 10000) % 2 ? 0x72 : 0x71, 0x20);
      sched.advance(10000);
    }
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    sim.Close(h);
  }
  state.counters["bytes/day"] = static_cast<double>(bytes) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_simulator_day)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace vireluz

BENCHMARK_MAIN();
