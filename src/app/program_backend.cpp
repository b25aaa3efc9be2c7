#include "app/program_backend.h"

#include "display/graphs.h"

namespace vireluz {

void ProgramBackend::start_sequence(bool start) {
  p_.start_sequence(start);
  if (!demo || start || demo_done_) return;
  demo_done_ = true;
  p_.guard([this] {
    if (p_.interface().InterfaceFound && !p_.interface().ReadingActive) p_.Button_lectureClick();
    if (!p_.graphs().GraphsShown) afficher_graphiques(p_.graphs(), p_.window());
  });
}

void ProgramBackend::after_mqtt() {
  if (mqtt_) p_.guard([this] { mqtt_->publisher().apply_settings(); });
}

void ProgramBackend::after_web() {
  if (web_) p_.guard([this] { web_->apply_settings(true); });
}

}  // namespace vireluz
