#pragma once
// What the windows need from the program core: its presentation states, its
// settings and the handlers they forward events to. The program adapter
// implements it over Program; the window tests use a scripted fake.
#include <functional>

#include "common/event.h"
#include "config/settings.h"
#include "display/graph_state.h"
#include "display/main_window_state.h"

namespace vireluz {

class AlertEngine;
class MqttClientFactory;

class GuiBackend {
 public:
  virtual ~GuiBackend() = default;
  virtual MainWindowState& main_state() = 0;
  virtual GraphsWindowState& graphs_state() = 0;
  virtual Settings& settings() = 0;

  virtual bool one_tic_interface() = 0;  // the one-meter interface was found
  virtual bool simulated() = 0;          // the interface is the simulated one

  // While reading: "Lecture en cours" shown, and true (the entry does nothing).
  virtual bool refused_while_reading() = 0;
  // Panel1Enter: configuration, scan, layout and, with `start`, the automatic start.
  virtual void start_sequence(bool start) = 0;
  virtual void Button_lectureClick() = 0;
  virtual void Button_scanClick() = 0;
  virtual void Diagnostique1Click() = 0;  // menu "Scan Interface" (refused while reading)
  // After the configuration window closed: meter-count layout, record period, current layout.
  virtual void after_configuration() = 0;
  // Both meters deselected (Set_Interface_Pins 7, 0 on the interface found).
  virtual void release_pins() = 0;
  // `minimise` is called each time the automatic start has started reading,
  // while the subscription lives.
  virtual Subscription on_automatic_start_done(std::function<void()> minimise) = 0;
  // The alert evaluation the alert window edits.
  virtual AlertEngine& alert_engine() = 0;
  // The MQTT connections (none in window tests without MQTT), and what follows
  // the MQTT window: the publisher takes the saved settings.
  virtual MqttClientFactory* mqtt_clients() { return nullptr; }
  virtual void after_mqtt() {}
  // What follows the "Page Web" window: the page is served with the saved settings.
  virtual void after_web() {}
};

}  // namespace vireluz
