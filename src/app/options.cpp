#include "app/options.h"

#include <cstdlib>
#include <filesystem>
#include <set>
#include <utility>

#include "simulator/simulated_interface.h"

namespace vireluz {

void error_line(const std::string& utf8) { std::fprintf(stderr, "vireluz: %s\n", utf8.c_str()); }

void print_usage(std::FILE* out) {
  std::fputs(
      "usage: vireluz [start] [--simulate[=usb2|xbee|usb1]] [--auto] [--config-dir DOSSIER]\n"
      "       vireluz --headless [--simulate[=usb2|xbee|usb1]] [--sim-options TEXTE]\n"
      "               [--sim-options-file FICHIER] [--config-dir DOSSIER] [--run-for SECONDES]\n"
      "               [--dump FICHIER]\n"
      "\n"
      "  start                  (premier paramètre, exactement) réduit dans la zone de notification\n"
      "                         et lance la lecture automatiquement ; tout autre mot : lancement normal\n"
      "  --simulate[=TYPE]      interface simulée : usb2 (défaut), xbee ou usb1\n"
      "  --auto                 interface simulée quand aucune interface réelle n'est branchée\n"
      "                         (démonstration : lecture et graphiques lancés d'office)\n"
      "  --config-dir DOSSIER   dossier des fichiers INI et, si REPERTOIR_ENR est vide, des\n"
      "                         enregistrements\n"
      "  --headless             sans fenêtre : les messages vont sur la sortie d'erreur\n"
      "  --sim-options TEXTE    comportement des compteurs virtuels (avec --simulate)\n"
      "  --sim-options-file FICHIER  le même, lu dans un fichier\n"
      "  --run-for SECONDES     arrête proprement la lecture après ce temps\n"
      "  --dump FICHIER         écrit l'état décodé en JSON à la fin\n"
      "  --help, -h             cette aide\n",
      out);
}

std::optional<AppOptions> parse_app_options(int argc, char** argv) {
  static const std::set<std::string> kWithValue{"--sim-options", "--sim-options-file", "--config-dir",
                                                "--run-for", "--dump"};
  AppOptions o;
  bool first = true;  // no parameter other than --auto seen yet
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    std::string v;  // the value of an option that takes one
    if (kWithValue.count(a)) {
      if (i + 1 >= argc) {
        error_line("l'option " + a + " demande une valeur");
        return std::nullopt;
      }
      v = argv[++i];
    }
    if (a == "--auto") {
      o.auto_simulate = true;
      continue;
    }
    if (std::exchange(first, false) && !a.empty() && a[0] != '-') {
      // The launch word: only "start", exactly, asks for the automatic start.
      o.start = a == "start";
    } else if (a == "--headless") {
      o.headless = true;
    } else if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--simulate" || a.rfind("--simulate=", 0) == 0) {
      const std::string kind = a == "--simulate" ? "usb2" : a.substr(11);
      if (kind == "usb2")
        o.simulate = kSimUsbTwoMeters;
      else if (kind == "xbee")
        o.simulate = kSimXbeeTwoMeters;
      else if (kind == "usb1")
        o.simulate = kSimUsbOneMeter;
      else {
        error_line("interface simulée inconnue : " + kind + " (usb2, xbee ou usb1)");
        return std::nullopt;
      }
    } else if (a == "--sim-options") {
      o.sim_options.push_back(v);
    } else if (a == "--sim-options-file") {
      o.sim_option_files.push_back(v);
    } else if (a == "--config-dir") {
      o.config_dir = v;
      // Absolute, so that the autostart entry that repeats it reads the same folder.
      if (!o.config_dir.empty()) {
        std::error_code ec;
        const auto abs = std::filesystem::absolute(o.config_dir, ec);
        if (!ec) o.config_dir = abs.string();
      }
      if (!o.config_dir.empty() && o.config_dir.back() != '/') o.config_dir += '/';
    } else if (a == "--run-for") {
      char* end = nullptr;
      o.run_for_s = std::strtod(v.c_str(), &end);
      if (v.empty() || *end != '\0' || !(o.run_for_s > 0) || o.run_for_s > 1e7) {
        error_line("durée invalide pour --run-for : " + v);
        return std::nullopt;
      }
    } else if (a == "--dump") {
      o.dump_file = v;
    } else {
      error_line("option inconnue : " + a);
      print_usage();
      return std::nullopt;
    }
  }
  if ((!o.sim_options.empty() || !o.sim_option_files.empty()) && o.simulate.empty()) {
    error_line("--sim-options demande --simulate");
    return std::nullopt;
  }
  return o;
}

}  // namespace vireluz
