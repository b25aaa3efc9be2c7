// vireluz-tic decode: runs the TIC decoder over a raw capture and prints the
// decoded state as JSON (each meter's rejected_values counts the values the
// plausibility filter refused).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/decoder.h"
#include "acquisition/framer.h"
#include "commands.h"
#include "common/error.h"
#include "config/config_files.h"
#include "display/current_layout.h"
#include "display/graphs.h"
#include "display/state_json.h"

namespace vireluz::tic {
namespace {

void usage() {
  std::fputs(
      "usage: vireluz-tic decode [--meter 1|2] [--skip N] [--set SECTION.KEY=VALUE]... [--each]\n"
      "                          [--config-dir DIR] [FILE|-]\n",
      stderr);
}

std::optional<int> int_arg(const char* s) {
  const auto v = parse_int(s ? std::string_view(s) : std::string_view());
  if (!v) return std::nullopt;
  return *v;
}

}  // namespace

int cmd_decode(int argc, char** argv) {
  Settings settings;
  int meter = 1;
  int skip = 1;
  bool each = false;
  std::string config_dir;
  std::vector<std::string> sets;
  std::string file = "-";
  bool file_given = false;

  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (a == "--meter") {
      const auto v = int_arg(next());
      if (!v || (*v != 1 && *v != 2)) {
        std::fputs("vireluz-tic decode : --meter attend 1 ou 2\n", stderr);
        return 2;
      }
      meter = *v;
    } else if (a == "--skip") {
      const auto v = int_arg(next());
      if (!v || *v < 0) {
        std::fputs("vireluz-tic decode : --skip attend un nombre de paquets (0 ou plus)\n", stderr);
        return 2;
      }
      skip = *v;
    } else if (a == "--set") {
      const char* v = next();
      if (!v) {
        std::fputs("vireluz-tic decode : --set attend SECTION.CLE=VALEUR\n", stderr);
        return 2;
      }
      sets.emplace_back(v);
    } else if (a == "--each") {
      each = true;
    } else if (a == "--config-dir") {
      const char* v = next();
      if (!v) {
        std::fputs("vireluz-tic decode : --config-dir attend un dossier\n", stderr);
        return 2;
      }
      config_dir = v;
    } else if (a == "-h" || a == "--help") {
      usage();
      return 0;
    } else if ((a.empty() || a[0] != '-' || a == "-") && !file_given) {
      file = std::string(a);
      file_given = true;
    } else {
      std::fprintf(stderr, "vireluz-tic decode : option inconnue « %s »\n", argv[i]);
      usage();
      return 2;
    }
  }

  try {
    if (!config_dir.empty()) {
      settings.ConfigDir = config_dir.back() == '/' ? config_dir : config_dir + "/";
      lire_configuration(settings);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vireluz-tic decode : %s\n", cp1252_to_utf8(e.what()).c_str());
    return 2;
  }
  for (const std::string& s : sets) {
    const auto dot = s.find('.');
    const auto eq = s.find('=', dot == std::string::npos ? 0 : dot);
    if (dot == std::string::npos || eq == std::string::npos || dot == 0 || eq == dot + 1) {
      std::fprintf(stderr, "vireluz-tic decode : --set « %s » : SECTION.CLE=VALEUR attendu\n", s.c_str());
      return 2;
    }
    const std::string_view sv = s;
    if (!apply_setting(settings, sv.substr(0, dot), sv.substr(dot + 1, eq - dot - 1), sv.substr(eq + 1))) {
      std::fprintf(stderr, "vireluz-tic decode : --set « %s » : réglage inconnu\n", s.c_str());
      return 2;
    }
  }

  std::string bytes;
  if (file == "-") {
    bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "vireluz-tic decode : impossible de lire « %s » : %s\n", file.c_str(), std::strerror(errno));
      return 2;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
      std::fprintf(stderr, "vireluz-tic decode : erreur de lecture de « %s »\n", file.c_str());
      return 2;
    }
  }

  std::array<MeterSlot, 2> meters;
  MeasureTable measures;
  ReadingCounters counters;
  MainWindowState window = design_main_window();
  GraphsWindowState graphs = design_graphs_window();
  RecordingMessages messages;
  Decoder decoder(settings, meters, measures, counters, window, graphs, messages);
  decoder.apply_phase_settings();
  affiche_I(meters, window, graphs);
  decoder.reset_frame_counts();
  counters.ActiveMeter = meter;
  counters.PacketsToSkip = skip;
  counters.PacketCount = 0;

  std::int64_t packets = 0;
  // The program's own framer, fed in blocks of the size a serial port
  // delivers, so the tool cuts a capture exactly as the program would. A block
  // also ends after every ETX, so that each packet is handed over when the
  // line has carried it: its time is the bytes up to its end at the meter's
  // speed (10 bits a byte).
  std::int64_t line_us = 0;
  std::size_t carried = 0;  // bytes not yet counted in line_us
  ComDataPacket1 framer;
  framer.set_start_string("\x02");
  framer.set_stop_string("\r\x03");
  framer.on_packet = [&](std::string_view packet) {
    ++packets;
    line_us += static_cast<std::int64_t>(carried) * 10000000 / line_baud(packet);
    carried = 0;
    decoder.ComDataPacket1Packet(packet, line_us / 1000);
    if (each)
      std::cout << decoded_state_json(meters, measures, counters, window, graphs, packets).dump() << '\n';
  };
  constexpr std::size_t kBlock = 256;
  const std::string_view all = bytes;
  for (std::size_t i = 0; i < all.size();) {
    const std::size_t etx = all.substr(i, kBlock).find('\x03');
    const std::size_t n = etx == std::string_view::npos ? std::min(kBlock, all.size() - i) : etx + 1;
    carried += n;
    framer.handle_data(all.substr(i, n));
    i += n;
  }
  if (!each)
    std::cout << decoded_state_json(meters, measures, counters, window, graphs, packets).dump(2) << '\n';
  return 0;
}

}  // namespace vireluz::tic
