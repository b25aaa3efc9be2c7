#pragma once
// The windows' view of the program core.
#include "app/gui_backend.h"
#include "mqtt/mqtt_service.h"
#include "program/program.h"
#include "program/services.h"
#include "web/web_service.h"

namespace vireluz {

class ProgramBackend : public GuiBackend {
 public:
  ProgramBackend(Program& p, Services& services, MqttService* mqtt = nullptr, WebService* web = nullptr)
      : p_(p), services_(services), mqtt_(mqtt), web_(web) {}
  MainWindowState& main_state() override { return p_.window(); }
  GraphsWindowState& graphs_state() override { return p_.graphs(); }
  Settings& settings() override { return p_.settings(); }
  bool one_tic_interface() override { return p_.interface().OneTicInterface; }
  bool simulated() override { return p_.simulated(); }
  bool refused_while_reading() override { return p_.refused_while_reading(); }
  void start_sequence(bool start) override;
  void Button_lectureClick() override { p_.Button_lectureClick(); }
  void Button_scanClick() override { p_.Button_scanClick(); }
  void Diagnostique1Click() override { p_.Diagnostique1Click(); }
  void after_configuration() override { p_.after_configuration(); }
  void release_pins() override { p_.release_pins(); }
  Subscription on_automatic_start_done(std::function<void()> minimise) override {
    return p_.on_automatic_start_done.subscribe(std::move(minimise));
  }
  AlertEngine& alert_engine() override { return services_.alerts(); }
  MqttClientFactory* mqtt_clients() override { return mqtt_ ? &mqtt_->clients() : nullptr; }
  void after_mqtt() override;
  void after_web() override;

  // On the simulated interface, without "start": the first start sequence
  // also starts reading and shows the graphs, so that a first run shows live
  // values at once.
  bool demo = false;

 private:
  Program& p_;
  Services& services_;
  MqttService* mqtt_;
  bool demo_done_ = false;
  WebService* web_;
};

}  // namespace vireluz
