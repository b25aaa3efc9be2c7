// vireluz-tic: command-line tools around the TIC decoder.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "commands.h"

namespace {

void usage() {
  std::fputs(
      "usage: vireluz-tic <command> [options]\n"
      "  decode    decode a raw TIC capture and print the decoded state as JSON\n"
      "  settings  change settings (--set) and print the effective settings as JSON\n"
      "  simulate  write the stream of one simulated meter to standard output\n",
      stderr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    usage();
    return 2;
  }
  const std::string_view cmd = argv[1];
  if (cmd == "decode") return vireluz::tic::cmd_decode(argc - 1, argv + 1);
  if (cmd == "settings") return vireluz::tic::cmd_settings(argc - 1, argv + 1);
  if (cmd == "simulate") return vireluz::tic::cmd_simulate(argc - 1, argv + 1);
  if (cmd == "-h" || cmd == "--help") {
    usage();
    return 0;
  }
  std::fprintf(stderr, "vireluz-tic : commande inconnue « %s »\n", argv[1]);
  usage();
  return 2;
}
