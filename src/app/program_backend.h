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
  ProgramBackend(Program& p, Services& services) : p_(p), services_(services) {}
  MainWindowState& main_state() override { return p_.window(); }
  GraphsWindowState& graphs_state() override { return p_.graphs(); }
  Settings& settings() override { return p_.settings(); }
  bool port_connected() override { return p_.serial().connected(); }
  bool one_tic_interface() override { return p_.interface().OneTicInterface; }
  bool simulated() override { return p_.d2xx().simulated(); }
  void message_lecture_en_cours() override { p_.message_lecture_en_cours(); }
  void start_sequence(bool start) override;
  void Button_lectureClick() override { p_.Button_lectureClick(); }
  void Button_scanClick() override { p_.Button_scanClick(); }
  void Diagnostique1Click() override { p_.Diagnostique1Click(); }
  void after_configuration() override { p_.after_configuration(); }
  void after_cosm() override;
  void release_pins() override { p_.release_pins(); }
  void set_minimise_hook(std::function<void()> hook) override { p_.minimise = std::move(hook); }
  AlertEngine* alert_engine() override { return &services_.alerts(); }
  MqttClientFactory* mqtt_clients() override { return mqtt_ ? &mqtt_->clients() : nullptr; }
  void after_mqtt() override;
  void set_mqtt(MqttService* mqtt) { mqtt_ = mqtt; }
  void after_web() override;
  void set_web(WebService* web) { web_ = web; }

  // On the simulated interface, without "start": the first start sequence
  // also starts reading and shows the graphs, so that a first run shows live
  // values at once.
  bool demo = false;

 private:
  Program& p_;
  Services& services_;
  bool demo_done_ = false;
  MqttService* mqtt_ = nullptr;
  WebService* web_ = nullptr;
};

}  // namespace vireluz
