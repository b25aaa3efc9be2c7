#include "app/headless.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>

#include "app/app_setup.h"
#include "common/text.h"
#include "common/user_messages.h"

// Qt last: its "slots" keyword macro would clash with names in the headers above.
#include <QCoreApplication>
#include <QSocketNotifier>

namespace vireluz {

namespace {

// One line per message on stderr: "caption: text".
class StderrMessages : public UserMessages {
 public:
  void show_message(const UserMessage& m) override { print(m.caption, m.text); }
  void show_no_tic(const Text& label) override { print(w("Vireluz compteur non activée !"), label); }

 private:
  static void print(const Text& caption, const Text& text) {
    std::string line = cp1252_to_utf8(caption) + ": " + cp1252_to_utf8(text);
    std::replace_if(line.begin(), line.end(), is_control_char, ' ');
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
  }
};

int signal_pipe[2] = {-1, -1};

extern "C" void on_signal(int) {
  const char b = 1;
  [[maybe_unused]] const auto n = ::write(signal_pipe[1], &b, 1);
}

}  // namespace

int run_headless(const AppOptions& options, int argc, char** argv) {
  QCoreApplication app(argc, argv);
  StderrMessages messages;
  ProgramRun run(messages, options, QCoreApplication::applicationDirPath().toStdString() + "/");
  if (!run.start()) return 2;
  if (run.program.simulated())
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

  // Without windows the program starts as with the "start" parameter.
  run.program.start_sequence(true);
  app.exec();
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  return run.stop();
}

}  // namespace vireluz
