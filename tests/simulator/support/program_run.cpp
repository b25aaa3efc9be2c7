#include "support/program_run.h"

#include <unistd.h>

#include <fstream>
#include <iterator>

#include "config/config_files.h"
#include "program/program_json.h"

namespace simtest {

namespace fs = std::filesystem;

void SinkLink::attach(SimulatedInterface& sim) {
  sim.set_sink([this](std::string_view b) {
    if (open_ && on_data) on_data(b);
  });
  sim_ = &sim;
}

void SinkLink::set_baud_rate(int baud) {
  baud_ = baud;
  if (sim_) sim_->set_sink_baud(baud);
}

fs::path ProgramRun::fresh_dir() {
  static int runs = 0;
  const fs::path dir = fs::temp_directory_path() /
                       ("vireluz_program_run_" + std::to_string(::getpid()) + "_" + std::to_string(++runs));
  fs::remove_all(dir);
  fs::create_directories(dir / "enr");
  return dir;
}

ProgramRun::ProgramRun(const DateTime& start, const std::string& config, const std::string& alerts,
                       const std::string& sim_options)
    : sched(start, 120) {
  {
    std::ofstream cfg(dir / kConfigFileName, std::ios::binary);
    cfg << "[CONFIG_PRG]\r\n" << config << "REPERTOIR_ENR=" << (dir / "enr").string() << "\r\n";
    if (!alerts.empty()) std::ofstream(dir / kAlertFileName, std::ios::binary) << alerts;
  }
  services = std::make_unique<Services>(program, mail, http);
  sim = std::make_unique<SimulatedInterface>(kSimUsbTwoMeters, program.settings(), program.timers(), sched);
  sim->apply_options(sim_options);
  d2xx.target = sim.get();
  link.attach(*sim);
  program.start_sequence(true);
}

ProgramRun::~ProgramRun() {
  sim->set_sink(nullptr);
  std::error_code ec;
  fs::remove_all(dir, ec);
}

nlohmann::json ProgramRun::dump() {
  return program_state_json(program);
}

std::vector<std::string> file_lines(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < all.size();) {
    const std::size_t end = all.find("\r\n", i);
    if (end == std::string::npos) break;
    lines.push_back(all.substr(i, end - i));
    i = end + 2;
  }
  return lines;
}

}  // namespace simtest
