#pragma once
// A core stand-in for the window tests: the presentation states and settings,
// and a record of the handlers the windows called.
#include <string>
#include <vector>

#include "alerts/alert_engine.h"
#include "app/gui_backend.h"
#include "common/sim_scheduler.h"
#include "display/graphs.h"

namespace vireluz::testing {

class FakeBackend : public GuiBackend {
 public:
  FakeBackend() : main_(design_main_window()), graphs_(design_graphs_window()) {}
  MainWindowState& main_state() override { return main_; }
  GraphsWindowState& graphs_state() override { return graphs_; }
  Settings& settings() override { return settings_; }
  bool one_tic_interface() override { return one_tic; }
  bool simulated() override { return sim; }
  bool refused_while_reading() override {
    if (reading) calls.push_back("refused");
    return reading;
  }
  void start_sequence(bool start) override {
    calls.push_back(start ? "start_sequence(start)" : "start_sequence");
  }
  void Button_lectureClick() override { calls.push_back("Button_lectureClick"); }
  void Button_scanClick() override { calls.push_back("Button_scanClick"); }
  void Diagnostique1Click() override { calls.push_back("Diagnostique1Click"); }
  void after_configuration() override { calls.push_back("after_configuration"); }
  void release_pins() override { calls.push_back("release_pins"); }
  Subscription on_automatic_start_done(std::function<void()> minimise) override {
    return automatic_start_done.subscribe(std::move(minimise));
  }
  AlertEngine& alert_engine() override { return alerts_; }

  bool reading = false, one_tic = false, sim = false;
  std::vector<std::string> calls;
  Event<> automatic_start_done;

 private:
  // An alert evaluation that never mails, on a clock that does not move.
  struct NoMail : MailSender {
    RequestHandle send(const MailMessage&, const SmtpSettings&, Done) override { return nullptr; }
  };

  MainWindowState main_;
  GraphsWindowState graphs_;
  Settings settings_;
  SimScheduler sched_;
  MeasureTable measures_;
  NoMail mail_;
  RecordingMessages alert_messages_;
  AlertEngine alerts_{settings_, measures_, sched_, mail_, sched_, alert_messages_};
};

}  // namespace vireluz::testing
