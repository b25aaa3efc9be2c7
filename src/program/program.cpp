#include "program/program.h"

#include <exception>

#include "config/config_files.h"
#include "display/current_layout.h"

namespace vireluz {

Program::Program(Clock& clock, TimerFactory& timers, UserMessages& messages, D2xx& d2xx, SerialLink& serial,
                 Folders folders)
    : clock_(clock),
      messages_(messages),
      d2xx_(d2xx),
      serial_(serial),
      timers_(timers, [this](const std::function<void()>& fn) { guard(fn); }),
      folders_(std::move(folders)),
      window_(design_main_window()),
      unit_(d2xx, messages) {
  decoder_ = std::make_unique<Decoder>(settings_, meters_, measures_, counters_, window_, graphs_, messages_);
  decoder_->mail_alerte = [this] { on_alert_check(); };
  interface_ = std::make_unique<InterfaceController>(settings_, counters_, window_, graphs_, unit_, serial_,
                                                     framer_, timers_, messages_);
  interface_->reset_frame_counts = [this] { decoder_->reset_frame_counts(); };

  // Serial data: the data-received handler, then the framer; each packet is
  // decoded in its own guard so that a failing packet does not hold back the
  // next ones of the same block.
  serial_.on_data = [this](std::string_view block) {
    guard([&] {
      interface_->ComPort1RxBuf();
      framer_.handle_data(block);
    });
  };
  framer_.on_packet = [this](std::string_view packet) {
    guard([&] {
      ++packets_;
      decoder_->ComDataPacket1Packet(packet, clock_.now_utc_ms());
      on_packet_decoded(counters_.ActiveMeter);
    });
  };
  serial_.on_lost = [this](const std::string& reason) { guard([&] { interface_->link_lost(reason); }); };

  timer_minimise_ = timers_.create_timer("Timer_minimise", kAutoStartFirstMs);
  timer_minimise_->set_handler([this] { Timer_minimiseTimer(); });
}

Program::~Program() {
  serial_.on_data = nullptr;
  serial_.on_lost = nullptr;
}

void Program::guard(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    messages_.show_message(UserMessage{MessageIcon::Error, kAppTitle, e.what()});
  } catch (...) {
    messages_.show_message(UserMessage{MessageIcon::Error, kAppTitle, "Erreur inattendue"});
  }
}

void Program::start_sequence(bool start_param) {
  guard([&] {
    settings_.ConfigDir = choose_config_dir(folders_.program, folders_.config);
    unit_.ShowFtdiErrors = false;
    interface_->DataSeenCpt1 = false;
    interface_->DataSeenCpt2 = false;
    lire_configuration(settings_);
    decoder_->apply_phase_settings();
    interface_->scan_interface();
    interface_->affiche_nb_compteurs();
    for (FieldId id :
         {FieldId::Label_index1, FieldId::Label_index2, FieldId::Label_index3, FieldId::Label_index4,
          FieldId::Label_index5, FieldId::Label_index6, FieldId::Edit_index2, FieldId::Edit_index3,
          FieldId::Edit_index4, FieldId::Edit_index5, FieldId::Edit_index6})
      window_[id].visible = true;
    affiche_I(meters_, window_, graphs_);
    ++window_.serial;
    if (start_param) {
      timer_minimise_->set_interval(kAutoStartFirstMs);
      timer_minimise_->set_enabled(true);
      AutoStartAttempts = 0;
      on_automatic_start();
    }
    on_configuration_loaded();
  });
}

void Program::Timer_minimiseTimer() {
  if (AutoStartAttempts > kAutoStartMaxAttempts) {
    timer_minimise_->set_enabled(false);
    window_[FieldId::Label_demauto3].text = "ERREUR";
    ++window_.serial;
    return;
  }
  window_[FieldId::Panel_demauto].visible = true;
  ++window_.serial;
  if (interface_->InterfaceFound) {
    // Stop the attempts first: a port that cannot be opened raises, and the
    // automatic start must not then retry every second.
    timer_minimise_->set_enabled(false);
    window_[FieldId::Panel_demauto].visible = false;
    interface_->connecter_deconnecter();
    on_automatic_start_done();
    return;
  }
  interface_->scan_interface();
  timer_minimise_->set_interval(kAutoStartRetryMs);
  ++AutoStartAttempts;
}

void Program::Button_lectureClick() {
  guard([&] { interface_->Button_lectureClick(); });
}
void Program::Button_scanClick() {
  guard([&] { interface_->Button_scanClick(); });
}
void Program::Diagnostique1Click() {
  guard([&] { interface_->Diagnostique1Click(); });
}
bool Program::refused_while_reading() { return interface_->refused_while_reading(); }

void Program::after_configuration() {
  guard([&] {
    interface_->affiche_nb_compteurs();
    calcul_periode_enr(settings_);
    decoder_->apply_phase_settings();
    affiche_I(meters_, window_, graphs_);
    ++window_.serial;
  });
}

void Program::release_pins() {
  guard([&] { unit_.Set_Interface_Pins(7, 0, interface_->InterfaceDescription); });
}

void Program::stop_reading() {
  guard([&] {
    if (interface_->ReadingActive) interface_->connecter_deconnecter();
  });
}

}  // namespace vireluz
