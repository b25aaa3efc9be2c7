#pragma once
// Command-line options of the program and the headless runner: the program
// without windows, on the Qt event loop, messages on stderr.
#include <optional>
#include <string>
#include <vector>

namespace vireluz {

struct AppOptions {
  bool start = false;     // first parameter exactly "start"
  bool headless = false;  // --headless
  std::string simulate;   // --simulate[=usb2|xbee|usb1]: description of the simulated interface
  std::vector<std::string> sim_options;       // --sim-options TEXT (repeatable)
  std::vector<std::string> sim_option_files;  // --sim-options-file FILE
  std::string config_dir;                     // --config-dir DIR
  double run_for_s = 0;                       // --run-for SECONDS (0: until a signal)
  std::string dump_file;                      // --dump FILE
  bool help = false;
};

// Parses argv. Returns nullopt after printing a French error line on stderr.
std::optional<AppOptions> parse_app_options(int argc, char** argv);
void print_usage();

// Runs the program without windows; returns the process exit code.
int run_headless(const AppOptions& options, int argc, char** argv);

}  // namespace vireluz
