#include "app/gui_shell.h"

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <algorithm>

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
#include "app/web_window.h"

namespace vireluz {

namespace {

// The frame around a top-level window's client area; null until the platform
// has framed it (before its first showing).
QMargins frame_of(const QWidget& w) {
  const QRect inner = w.geometry(), outer = w.frameGeometry();
  return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                  outer.bottom() - inner.bottom());
}

}  // namespace

void place_over(QWidget& window, const QWidget& owner) {
  window.ensurePolished();
  // Before its first showing a window has no size of its own yet.
  if (!window.testAttribute(Qt::WA_Resized)) window.adjustSize();
  QScreen* screen = owner.screen() ? owner.screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  // Not framed yet: the owner's frame is the best guess (same decorations),
  // else a title bar's height, so that it never lands above the screen.
  QMargins frame = frame_of(window);
  if (frame.isNull()) frame = frame_of(owner);
  if (frame.isNull()) frame.setTop(std::max(24, window.style()->pixelMetric(QStyle::PM_TitleBarHeight)));
  const int max_w = area.width() - frame.left() - frame.right();
  const int max_h = area.height() - frame.top() - frame.bottom();
  if (window.width() > max_w || window.height() > max_h)
    window.resize(std::min(window.width(), max_w), std::min(window.height(), max_h));
  QRect outer(QPoint(), window.size().grownBy(frame));
  outer.moveCenter(owner.isVisible() ? owner.frameGeometry().center() : area.center());
  outer.moveLeft(std::clamp(outer.left(), area.left(), area.right() + 1 - outer.width()));
  outer.moveTop(std::clamp(outer.top(), area.top(), area.bottom() + 1 - outer.height()));
  window.move(outer.topLeft());  // a top-level window's position is its frame's
}

GuiShell::GuiShell(GuiBackend& backend, QtUserMessages& messages, bool start, const std::string& program_path,
                   const std::string& config_dir)
    : start_(start) {
  // Every dialog opens centred on the main window and wholly on the screen.
  // The other windows do not exist yet when the main window is created (it
  // comes first): the links read their pointer when used.
  auto modal = [this](auto& dialog) {
    return [this, &dialog] {
      place_over(*dialog, *main_);
      dialog->exec();
    };
  };
  TForm1::Windows links;
  links.configuration = modal(cfg_);
  links.alertes = modal(alertes_);
  links.bdpv = modal(bdpv_);
  links.cosm = modal(cosm_);
  links.mqtt = modal(mqtt_);
  links.web = modal(web_);
  links.a_propos = modal(a_propos_);
  links.sync_graphs = [this] {
    if (graphs_) graphs_->render();
  };
  main_ = std::make_unique<TForm1>(backend, start, links);
  a_propos_ = new TForm_a_propos(main_.get());
  cfg_ = new TForm_cfg(backend, messages, program_path, main_.get());
  cfg_->model().autostart_config_dir = config_dir;
  graphs_ = new TForm_graphiques(backend, main_.get());
  AlertEngine& engine = backend.alert_engine();
  auto* alertes = new TForm_alertes_mail(backend.settings(), messages, engine, main_.get());
  alertes->model().start_mail_timer = [&engine] { engine.start_timer(); };
  alertes_ = alertes;
  bdpv_ = new TForm2_BDPV(backend.settings(), messages, main_.get());
  pas_vireluz_ = new TForm_pas_vireluz(main_.get());
  messages.set_no_tic_window(pas_vireluz_);
  cosm_ = new TForm_Cosm(backend.settings(), messages, main_.get());
  mqtt_ = new TForm_MQTT(backend.settings(), messages, backend.mqtt_clients(), main_.get());
  web_ = new TForm_Web(backend.settings(), messages, main_.get());
  windows_ = {main_.get(), a_propos_, cfg_, graphs_, alertes_, bdpv_, pas_vireluz_, cosm_};
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
