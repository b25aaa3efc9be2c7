#pragma once
// Command-line options of the program and the headless runner: the program
// without windows, on the Qt event loop, messages on stderr.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace vireluz {

struct AppOptions {
  bool start = false;     // first parameter exactly "start" (any other word: a normal launch)
  bool headless = false;  // --headless
  std::string simulate;   // --simulate[=usb2|xbee|usb1]: description of the simulated interface
  std::vector<std::string> sim_options;       // --sim-options TEXT (repeatable)
  std::vector<std::string> sim_option_files;  // --sim-options-file FILE
  std::string config_dir;                     // --config-dir DIR (absolute, with a trailing '/')
  double run_for_s = 0;                       // --run-for SECONDS (0: until a signal)
  std::string dump_file;                      // --dump FILE
  bool help = false;
  // --auto fell back to the simulated interface: the demonstration, which
  // starts reading and shows the graphs by itself (set by main).
  bool demo = false;
};

// Parses argv. A first parameter that is not an option (does not begin with
// '-') is the launch word: exactly "start" asks for the automatic start, any
// other word is a normal launch. Returns nullopt after printing a French error
// line on stderr (an unknown option also prints the usage).
std::optional<AppOptions> parse_app_options(int argc, char** argv);
// Every option of the program, one line each.
void print_usage(std::FILE* out = stderr);

// Runs the program without windows; returns the process exit code.
int run_headless(const AppOptions& options, int argc, char** argv);

}  // namespace vireluz
