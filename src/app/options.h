#pragma once
// The command line of the program, windowed or headless: every option, parsed
// in one place, and the usage that lists them.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace vireluz {

struct AppOptions {
  bool start = false;          // first parameter exactly "start" (any other word: a normal launch)
  bool headless = false;       // --headless
  bool auto_simulate = false;  // --auto: the simulated interface when no real one is attached
  std::string simulate;        // --simulate[=usb2|xbee|usb1]: description of the simulated interface
  std::vector<std::string> sim_options;       // --sim-options TEXT (repeatable)
  std::vector<std::string> sim_option_files;  // --sim-options-file FILE
  std::string config_dir;                     // --config-dir DIR (absolute, with a trailing '/')
  double run_for_s = 0;                       // --run-for SECONDS (0: until the end asked for)
  std::string dump_file;                      // --dump FILE
  bool help = false;                          // --help, -h
};

// Parses argv. "--auto" may stand anywhere, the first place included. The
// first other parameter, when it is not an option (does not begin with '-'),
// is the launch word: exactly "start" asks for the automatic start, any other
// word is a normal launch. Returns nullopt after printing a French error line
// on stderr (an unknown option also prints the usage).
std::optional<AppOptions> parse_app_options(int argc, char** argv);
// Every option of the program, one line each.
void print_usage(std::FILE* out = stderr);

// One line on stderr: "vireluz: " and the UTF-8 text.
void error_line(const std::string& utf8);

}  // namespace vireluz
