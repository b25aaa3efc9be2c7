#pragma once
// A core stand-in for the window tests: the presentation states and settings,
// and a record of the handlers the windows called.
#include <string>
#include <vector>

#include "app/gui_backend.h"
#include "display/graphs.h"

namespace vireluz::testing {

class FakeBackend : public GuiBackend {
 public:
  FakeBackend() : main_(design_main_window()), graphs_(design_graphs_window()) {}
  MainWindowState& main_state() override { return main_; }
  GraphsWindowState& graphs_state() override { return graphs_; }
  Settings& settings() override { return settings_; }
  bool port_connected() override { return connected; }
  bool one_tic_interface() override { return one_tic; }
  bool simulated() override { return sim; }
  void message_lecture_en_cours() override { calls.push_back("message_lecture_en_cours"); }
  void start_sequence(bool start) override {
    calls.push_back(start ? "start_sequence(start)" : "start_sequence");
  }
  void Button_lectureClick() override { calls.push_back("Button_lectureClick"); }
  void Button_scanClick() override { calls.push_back("Button_scanClick"); }
  void Diagnostique1Click() override { calls.push_back("Diagnostique1Click"); }
  void after_configuration() override { calls.push_back("after_configuration"); }
  void after_cosm() override { calls.push_back("after_cosm"); }
  void release_pins() override { calls.push_back("release_pins"); }
  void set_minimise_hook(std::function<void()> hook) override { minimise_hook = std::move(hook); }

  bool connected = false, one_tic = false, sim = false;
  std::vector<std::string> calls;
  std::function<void()> minimise_hook;

 private:
  MainWindowState main_;
  GraphsWindowState graphs_;
  Settings settings_;
};

}  // namespace vireluz::testing
