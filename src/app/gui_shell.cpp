#include "app/gui_shell.h"

#include <QDialog>

#include "alerts/alert_engine.h"
#include "app/alert_window.h"
#include "app/bdpv_window.h"
#include "app/config_dialog.h"
#include "app/cosm_window.h"
#include "app/graphs_window.h"
#include "app/main_window.h"
#include "app/mqtt_window.h"
#include "app/qt_support.h"
#include "app/small_windows.h"

namespace vireluz {

GuiShell::GuiShell(GuiBackend& backend, QtUserMessages& messages, bool start, const std::string& program_path)
    : backend_(backend), start_(start) {
  auto modal = [](QWidget* w) {
    return [w] {
      if (auto* d = qobject_cast<QDialog*>(w)) d->exec();
    };
  };
  TForm1::Windows links;
  // The other windows do not exist yet when the main window is created (it
  // comes first): the links look them up when used.
  links.configuration = [this] { cfg_->exec(); };
  links.alertes = [this, modal] { modal(alertes_)(); };
  links.bdpv = [this, modal] { modal(bdpv_)(); };
  links.cosm = [this, modal] { modal(cosm_)(); };
  links.mqtt = [this, modal] { modal(mqtt_)(); };
  links.a_propos = [this] {
    a_propos_->move(main_->geometry().center() - a_propos_->rect().center());
    a_propos_->exec();
  };
  links.sync_graphs = [this] {
    if (graphs_) graphs_->render();
  };
  main_ = std::make_unique<TForm1>(backend, start, links);
  windows_.push_back(main_.get());
  a_propos_ = new TForm_a_propos(main_.get());
  windows_.push_back(a_propos_);
  cfg_ = new TForm_cfg(backend, messages, program_path, main_.get());
  windows_.push_back(cfg_);
  graphs_ = new TForm_graphiques(backend, main_.get());
  windows_.push_back(graphs_);
  if (AlertEngine* engine = backend.alert_engine()) {
    auto* form = new TForm_alertes_mail(backend.settings(), messages, *engine, main_.get());
    form->model().start_mail_timer = [engine] { engine->start_timer(); };
    alertes_ = form;
  } else {
    alertes_ = new SettingsPlaceholder("TForm_alertes_mail", "Configuration Alerte Mail", main_.get());
  }
  windows_.push_back(alertes_);
  bdpv_ = new TForm2_BDPV(backend.settings(), messages, main_.get());
  windows_.push_back(bdpv_);
  pas_vireluz_ = new TForm_pas_vireluz(main_.get());
  windows_.push_back(pas_vireluz_);
  messages.set_no_tic_window(pas_vireluz_);
  cosm_ = new TForm_Cosm(backend.settings(), messages, main_.get());
  windows_.push_back(cosm_);
  mqtt_ = new TForm_MQTT(backend.settings(), messages, backend.mqtt_clients(), main_.get());
  graphs_->on_user_close = [this] { main_->render(); };
}

GuiShell::~GuiShell() = default;

void GuiShell::show() {
  if (!start_) main_->show();
}

void GuiShell::render() {
  main_->render();
  graphs_->render();
}

}  // namespace vireluz
