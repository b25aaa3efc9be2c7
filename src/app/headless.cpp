#include "app/headless.h"

#include <fcntl.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>

#include "acquisition/d2xx_libftdi.h"
#include "app/app_setup.h"
#include "common/text.h"
#include "common/user_messages.h"
#include "display/state_json.h"
#include "program/program.h"
#include "simulator/simulated_interface.h"

// Qt last: its "slots" keyword macro would clash with names in the headers above.
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

namespace vireluz {

namespace {

void error_line(const std::string& utf8) { std::fprintf(stderr, "vireluz: %s\n", utf8.c_str()); }

// One line per message on stderr: "caption: text".
class StderrMessages : public UserMessages {
 public:
  void show_message(const UserMessage& m) override { print(m.caption, m.text); }
  void show_no_tic(const Text& label) override { print(w("Vireluz compteur non activée !"), label); }

 private:
  static void print(const Text& caption, const Text& text) {
    std::string line = cp1252_to_utf8(caption) + ": " + cp1252_to_utf8(text);
    for (char& c : line)
      if (c == '\r' || c == '\n') c = ' ';
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
  }
};

int signal_pipe[2] = {-1, -1};

extern "C" void on_signal(int) {
  const char b = 1;
  [[maybe_unused]] const auto n = ::write(signal_pipe[1], &b, 1);
}

bool write_dump(const std::string& path, Program& p, bool simulated, int active_meter, bool reading) {
  nlohmann::json j =
      decoded_state_json(p.meters(), p.measures(), p.counters(), p.window(), p.graphs(), p.packets());
  const InterfaceController& ic = p.interface();
  // As they were when the run ended, before the clean stop.
  j["ActiveMeter"] = active_meter;
  j["ReadingActive"] = reading;
  j["InterfaceFound"] = ic.InterfaceFound;
  j["InterfaceDescription"] = cp1252_to_utf8(ic.InterfaceDescription);
  j["MeterSwitches"] = ic.MeterSwitches;
  j["Simulated"] = simulated;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << j.dump(2) << '\n';
  out.close();
  if (!out) {
    error_line("impossible d'écrire le fichier " + path);
    return false;
  }
  return true;
}

}  // namespace

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
  AppOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const auto value = [&](const char* name) -> std::optional<std::string> {
      if (i + 1 >= argc) {
        error_line(std::string("l'option ") + name + " demande une valeur");
        return std::nullopt;
      }
      return std::string(argv[++i]);
    };
    if (i == 1 && !a.empty() && a[0] != '-') {
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
      auto v = value("--sim-options");
      if (!v) return std::nullopt;
      o.sim_options.push_back(*v);
    } else if (a == "--sim-options-file") {
      auto v = value("--sim-options-file");
      if (!v) return std::nullopt;
      o.sim_option_files.push_back(*v);
    } else if (a == "--config-dir") {
      auto v = value("--config-dir");
      if (!v) return std::nullopt;
      o.config_dir = *v;
      // Absolute, so that the autostart entry that repeats it reads the same folder.
      if (!o.config_dir.empty()) {
        std::error_code ec;
        const auto abs = std::filesystem::absolute(o.config_dir, ec);
        if (!ec) o.config_dir = abs.string();
      }
      if (!o.config_dir.empty() && o.config_dir.back() != '/') o.config_dir += '/';
    } else if (a == "--run-for") {
      auto v = value("--run-for");
      if (!v) return std::nullopt;
      char* end = nullptr;
      o.run_for_s = std::strtod(v->c_str(), &end);
      if (v->empty() || *end != '\0' || !(o.run_for_s > 0) || o.run_for_s > 1e7) {
        error_line("durée invalide pour --run-for : " + *v);
        return std::nullopt;
      }
    } else if (a == "--dump") {
      auto v = value("--dump");
      if (!v) return std::nullopt;
      o.dump_file = *v;
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

int run_headless(const AppOptions& options, int argc, char** argv) {
  QCoreApplication app(argc, argv);
  // Qt takes the environment's locale for everything; numbers written by the
  // core stay in the C format, the decoder gets the separator explicitly.
  StderrMessages messages;
  ProgramRun run(messages, options, QCoreApplication::applicationDirPath().toStdString() + "/");
  std::setlocale(LC_NUMERIC, "C");
  const bool simulated = !options.simulate.empty();
  try {
    run.choose_interface(options);
  } catch (const std::exception& e) {
    error_line(cp1252_to_utf8(e.what()));
    return 2;
  }
  Program& program = run.program;
  const std::unique_ptr<D2xx>& backend = run.backend;
  if (backend->simulated())
    error_line("interface simulée : les valeurs lues viennent de compteurs virtuels, pas d'un compteur réel");

  // SIGINT / SIGTERM: the handler only writes to a pipe; the loop does the rest.
  if (::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    error_line("impossible de créer le tube des signaux");
    return 1;
  }
  QSocketNotifier notifier(signal_pipe[0], QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
    char buf[16];
    while (::read(signal_pipe[0], buf, sizeof buf) > 0) {
    }
    app.quit();
  });
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  if (options.run_for_s > 0)
    QTimer::singleShot(static_cast<int>(options.run_for_s * 1000), &app, [&] { app.quit(); });

  // Without windows the program starts as with the "start" parameter.
  program.start_sequence(true);
  app.exec();

  const int active_meter = program.counters().ActiveMeter;
  const bool reading = program.interface().ReadingActive;
  program.stop_reading();
  run.serial.disconnect();
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  int rc = 0;
  if (!options.dump_file.empty() && !write_dump(options.dump_file, program, simulated, active_meter, reading))
    rc = 1;
  return rc;
}

}  // namespace vireluz
