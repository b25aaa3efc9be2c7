#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QFile>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShowEvent>
#include <QSystemTrayIcon>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/qt_support.h"
#include "app/widgets.h"
#include "display/graphs.h"

namespace vireluz {
namespace {

constexpr int kRenderPeriodMs = 150;
constexpr int kStartWithoutActivationMs = 700;

QString style_of(const QString& selector, const Field& f) {
  QString s;
  if (const QColor bg = to_qcolor(f.background); bg.isValid()) s += "background-color: " + bg.name() + ";";
  if (const QColor fg = to_qcolor(f.font); fg.isValid()) s += "color: " + fg.name() + ";";
  if (f.bold) s += "font-weight: bold;";
  return s.isEmpty() ? QString() : selector + " { " + s + " }";
}

QString name_of(FieldId id) { return QString::fromLatin1(field_name(id).data(), field_name(id).size()); }

}  // namespace

TForm1::TForm1(GuiBackend& backend, bool start, Windows windows, QWidget* parent)
    : QMainWindow(parent), backend_(backend), start_(start), windows_(std::move(windows)) {
  setObjectName("TForm1");
  // The title-bar close box does not end the program: only "Quitter" does.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint);
  setWindowIcon(program_icon());
  last_toggle_caption_ = backend_.graphs_state().toggle_caption;
  build();
  update_title();
  render(true);

  // FormCreate: "Afficher contrôle" off, the icon in the notification area,
  // the automatic start hides the window.
  Show1_->setEnabled(false);
  if (tray_) tray_->show();
  automatic_start_done_ = backend_.on_automatic_start_done([this] { minimise(); });
  if (start_) {
    minimise();
    // Hidden from the start, the window never takes the focus: run the start
    // sequence as soon as the event loop runs.
    QTimer::singleShot(0, this, [this] {
      if (start_runs_ == 0) Panel1Enter();
    });
  }

  connect(qApp, &QApplication::focusChanged, this,
          [this](QWidget* o, QWidget* n) { on_focus_changed(o, n); });
  render_timer_ = new QTimer(this);
  render_timer_->setInterval(kRenderPeriodMs);
  connect(render_timer_, &QTimer::timeout, this, [this] { guarded([this] { render(); }); });
  render_timer_->start();
}

TForm1::~TForm1() {
  // The focus moves while the widgets go away: no handler of ours may run on
  // a window that is half destroyed.
  disconnect(qApp, nullptr, this, nullptr);
  if (tray_) tray_->hide();
}

QAction* TForm1::on_trigger(QAction* a, const char* name, std::function<void()> fn) {
  a->setObjectName(name);
  connect(a, &QAction::triggered, this, [this, fn = std::move(fn)] {
    guarded(fn);
    render();
  });
  return a;
}

template <class W>
W* TForm1::field(FieldId id) {
  auto* w = new W;
  w->setObjectName(name_of(id));
  fields_[static_cast<std::size_t>(id)] = w;
  return w;
}

ui::Led* TForm1::field_led(LedId id) {
  auto* l = new ui::Led;
  l->setObjectName(QString::fromLatin1(led_name(id).data(), led_name(id).size()));
  leds_[static_cast<std::size_t>(id)] = l;
  return l;
}

void TForm1::build() {
  auto* menu = menuBar();
  menu->setObjectName("MainMenu1");
  // Top-level entries act on a click: a menu with no entries behaves as a command.
  on_trigger(menu->addAction("Quitter"), "Quitter1", [this] { Quitter(); });
  on_trigger(menu->addAction("Configuration"), "Configuration1", [this] {
    if (backend_.refused_while_reading()) return;
    windows_.configuration();
    backend_.after_configuration();
  });
  on_trigger(menu->addAction("Alertes Mail"), "Alertes_Mail1", windows_.alertes);
  QMenu* m = menu->addMenu("Transfert HTTP");
  m->setObjectName("Transfert_HTTP1");
  on_trigger(m->addAction("BDPV"), "BDPV1", windows_.bdpv);
  on_trigger(m->addAction("Cosm (Pachube)"), "Cosm1", windows_.cosm);
  on_trigger(m->addAction("MQTT (Home Assistant)"), "MQTT1", [this] {
    if (backend_.refused_while_reading()) return;
    windows_.mqtt();
    backend_.after_mqtt();
  });
  on_trigger(m->addAction("Page Web"), "Web1", [this] {
    if (backend_.refused_while_reading()) return;
    windows_.web();
    backend_.after_web();
  });
  on_trigger(menu->addAction("Scan Interface"), "Diagnostique1", [this] { backend_.Diagnostique1Click(); });
  on_trigger(menu->addAction("Réduire"), "Reduire1", [this] { minimise(); });
  on_trigger(menu->addAction("A propos"), "A_propos1", windows_.a_propos);

  auto* panel = field<QWidget>(FieldId::Panel1);
  setCentralWidget(panel);
  auto* outer = new QVBoxLayout(panel);

  // Top row: meter-selection and reception LEDs, interface, buttons.
  auto* top = new QHBoxLayout;
  auto button = [&](FieldId id, std::function<void()> fn) {
    auto* b = field<QPushButton>(id);
    connect(b, &QPushButton::clicked, this, [this, fn = std::move(fn)] {
      guarded(fn);
      render();
    });
    return b;
  };
  top->addWidget(field_led(LedId::rmLed_Led_verte));
  top->addWidget(field_led(LedId::rmLed_Led_jaune));
  top->addWidget(field_led(LedId::rmLed_Led_bleu));
  top->addWidget(field<QLabel>(FieldId::Label_trame_recue));
  top->addSpacing(12);
  top->addWidget(field<QLabel>(FieldId::Label_type_interface));
  top->addWidget(field<QLabel>(FieldId::Label_com));
  top->addStretch(1);
  outer->addLayout(top);
  // The buttons on a row of their own: with one meter the window is narrow.
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(button(FieldId::Button_lecture, [this] { backend_.Button_lectureClick(); }));
  buttons->addWidget(button(FieldId::Button_scan, [this] { backend_.Button_scanClick(); }));
  buttons->addWidget(button(FieldId::Button_graphes, [this] { toggle_graphs(); }));
  buttons->addWidget(button(FieldId::Button1, [this] { minimise(); }));
  outer->addLayout(buttons);

  // The automatic-start panel, red, hidden until the automatic start runs.
  auto* demauto = field<QFrame>(FieldId::Panel_demauto);
  auto* dl = new QHBoxLayout(demauto);
  for (FieldId id : {FieldId::Label_demauto1, FieldId::Label_demauto2, FieldId::Label_demauto3}) {
    QLabel* l = field<QLabel>(id);
    QFont f = l->font();
    f.setPointSize(f.pointSize() + 4);
    f.setBold(true);
    l->setFont(f);
    dl->addWidget(l);
  }
  outer->addWidget(demauto);

  auto* meters = new QHBoxLayout;
  meters->addWidget(build_meter(0));
  meters->addWidget(build_meter(1));
  outer->addLayout(meters);

  memo_alerte_ = new QTextEdit;
  memo_alerte_->setObjectName("Memo_alerte");
  memo_alerte_->setReadOnly(true);
  memo_alerte_->hide();
  outer->addWidget(memo_alerte_);

  // The notification area.
  tray_menu_ = new QMenu(this);
  tray_menu_->setObjectName("PopupsytrayMenu");
  Show1_ = on_trigger(tray_menu_->addAction("Afficher contrôle"), "Show1", [this] { restaurer(); });
  show_graphes_ =
      on_trigger(tray_menu_->addAction("Afficher Graphes"), "show_graphes", [this] { toggle_graphs(); });
  show_all_ = on_trigger(tray_menu_->addAction("Afficher Tout"), "show_all", [this] { show_allClick(); });
  Minimize_ = on_trigger(tray_menu_->addAction("Réduire"), "Minimize", [this] { minimise(); });
  if (QSystemTrayIcon::isSystemTrayAvailable()) {
    tray_ = new QSystemTrayIcon(program_icon(), this);
    tray_->setObjectName("TrayIcon");
    tray_->setToolTip("VIRELUZ 2 compteurs");
    tray_->setContextMenu(tray_menu_);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
      if (r == QSystemTrayIcon::Trigger) guarded([this] { restaurer(); });
    });
  }
}

QWidget* TForm1::build_meter(int meter) {
  const MeterComponents& c = kMeter[static_cast<std::size_t>(meter)];
  auto* box = field<QGroupBox>(c.group_box);
  auto* grid = new QGridLayout(box);
  grid->setVerticalSpacing(3);
  int row = 0;
  auto edit = [&](FieldId id) {
    auto* e = field<QLineEdit>(id);
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::ClickFocus);
    e->setMinimumWidth(130);
    return e;
  };
  auto pair = [&](FieldId lab, FieldId ed) {
    grid->addWidget(field<QLabel>(lab), row, 0);
    grid->addWidget(edit(ed), row, 1, 1, 2);
    ++row;
  };
  pair(c.label_adco, c.adco);
  pair(c.label_isousc, c.isousc);
  pair(c.label_optarif, c.optarif);
  pair(c.label_ptec, c.ptec);
  for (std::size_t i = 0; i < 6; ++i) pair(c.label_index[i], c.index[i]);
  for (std::size_t i = 0; i < 3; ++i) {
    grid->addWidget(field<QLabel>(c.label_i_inst[i]), row, 0);
    grid->addWidget(edit(c.i_inst[i]), row, 1);
    auto* g = new ui::BarGauge;
    g->setObjectName(QString::fromLatin1(gauge_name(c.gauge[i]).data(), gauge_name(c.gauge[i]).size()));
    gauges_[static_cast<std::size_t>(c.gauge[i])] = g;
    grid->addWidget(g, row, 2);
    ++row;
  }
  for (std::size_t i = 0; i < 3; ++i) pair(c.label_imax[i], c.imax[i]);
  pair(c.label_pa, c.papp);
  pair(c.label_injection, c.injection);
  pair(c.label_saison, c.saison);
  for (auto [lab, ledid] :
       {std::pair{c.label_pilote, c.led_pilote}, std::pair{c.label_couleur, c.led_couleur}}) {
    grid->addWidget(field<QLabel>(lab), row, 0);
    grid->addWidget(field_led(ledid), row, 1);
    ++row;
  }
  grid->addWidget(field<QLabel>(c.label_jaune), row, 0, 1, 3);
  grid->setColumnStretch(2, 1);
  return box;
}

void TForm1::apply_field(std::size_t i, const Field& f) {
  QWidget* w = fields_[i];
  if (!w) return;
  const Field& old = last_.fields[i];
  const bool all = !rendered_once_;
  if (all || f.text != old.text) {
    const QString t = qs(f.text);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
      e->setText(t);
      e->setCursorPosition(0);
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
      l->setText(t);
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
      g->setTitle(t);
    } else if (auto* b = qobject_cast<QPushButton*>(w)) {
      b->setText(t);
    }
  }
  if (all || f.background != old.background || f.font != old.font || f.bold != old.bold) {
    w->setStyleSheet(style_of("#" + w->objectName(), f));
  }
  if (all || f.enabled != old.enabled) w->setEnabled(f.enabled);
  if (all || f.visible != old.visible) w->setVisible(f.visible);
  if (all || f.width != old.width) {
    if (f.width > 0 && i != static_cast<std::size_t>(FieldId::Panel1)) w->setMinimumWidth(f.width);
  }
}

void TForm1::render(bool force) {
  const MainWindowState& st = backend_.main_state();
  const bool sim = backend_.simulated();
  if (force) rendered_once_ = false;
  // The tray entry keeps its design caption until the graphs are first toggled.
  const bool graphs_caption_changed = backend_.graphs_state().toggle_caption != last_toggle_caption_;
  if (rendered_once_ && st.serial == last_serial_ && sim == last_simulated_ && !graphs_caption_changed)
    return;
  bool layout_changed = false;
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    Field f = st.fields[i];
    if (!rendered_once_ || f != last_.fields[i]) {
      if (!rendered_once_ || f.visible != last_.fields[i].visible || f.width != last_.fields[i].width)
        layout_changed = true;
      apply_field(i, f);
      last_.fields[i] = f;
    }
  }
  for (std::size_t i = 0; i < kLedCount; ++i) {
    const Led& l = st.leds[i];
    if (rendered_once_ && l == last_.leds[i]) continue;
    leds_[i]->set_colours(to_qcolor(l.on_colour), to_qcolor(l.off_colour));
    leds_[i]->set_on(l.on);
    leds_[i]->setVisible(l.visible);
    last_.leds[i] = l;
  }
  for (std::size_t i = 0; i < kGaugeCount; ++i) {
    const Gauge& g = st.gauges[i];
    gauges_[i]->set_range(g.max, g.zone1, g.zone2);
    gauges_[i]->set_position(g.position);
    if (!rendered_once_ || g.visible != last_.gauges[i].visible) gauges_[i]->setVisible(g.visible);
    last_.gauges[i] = g;
  }
  if (graphs_caption_changed) {
    last_toggle_caption_ = backend_.graphs_state().toggle_caption;
    show_graphes_->setText(qs(last_toggle_caption_));
  }
  if (sim != last_simulated_ || !rendered_once_) {
    last_simulated_ = sim;
    update_title();
  }
  last_serial_ = st.serial;
  rendered_once_ = true;
  // One meter or two: the panel takes its width (never less than its content
  // needs) and the window follows at once, shown or hidden.
  QWidget* panel = centralWidget();
  const int panel_width = st.fields[static_cast<std::size_t>(FieldId::Panel1)].width;
  if (layout_changed && panel_width > 0) {
    // A meter's box shown or hidden: the nested layouts recompute their minimum.
    panel->layout()->invalidate();
    panel->layout()->activate();
    panel->setFixedWidth(std::max(panel_width, panel->minimumSizeHint().width()));
  }
  if (layout_changed) adjustSize();
  if (windows_.sync_graphs) windows_.sync_graphs();
}

void TForm1::update_title() {
  setWindowTitle(last_simulated_ ? QString::fromUtf8("VIRELUZ 2 compteurs (interface simulée)")
                                 : QString("VIRELUZ 2 compteurs"));
}

bool TForm1::tray_available() const { return tray_ != nullptr && QSystemTrayIcon::isSystemTrayAvailable(); }

void TForm1::minimise() {
  Minimize_->setEnabled(false);
  if (tray_available()) {
    hide();
  } else {
    // Without a notification area a hidden window could not be reached again.
    showMinimized();
  }
  Show1_->setEnabled(true);
  show_all_->setEnabled(true);
  GraphsWindowState& graphs = backend_.graphs_state();
  if (graphs.GraphsShown) masquer_graphiques(graphs, backend_.main_state());
  render();
}

void TForm1::restaurer() {
  Show1_->setEnabled(false);
  showNormal();
  raise();
  activateWindow();
  Minimize_->setEnabled(true);
  show_all_->setEnabled(false);
  render();
}

void TForm1::show_allClick() {
  restaurer();
  GraphsWindowState& graphs = backend_.graphs_state();
  if (!graphs.GraphsShown) afficher_graphiques(graphs, backend_.main_state());
  render();
}

void TForm1::toggle_graphs() {
  affiche_masque_graphes(backend_.graphs_state(), backend_.main_state());
  render();
}

void TForm1::Panel1Enter() {
  ++start_runs_;
  Show1_->setEnabled(false);
  show_all_->setEnabled(false);
  if (tray_) tray_->show();
  backend_.start_sequence(start_);
  render();
}

void TForm1::Quitter() {
  if (backend_.refused_while_reading()) return;
  quitting_ = true;
  close();
}

QAction* TForm1::menu_action(const QString& text) const {
  const auto actions = menuBar()->findChildren<QAction*>();
  for (QAction* a : actions)
    if (a->text() == text) return a;
  return nullptr;
}

void TForm1::closeEvent(QCloseEvent* e) {
  if (!quitting_) {
    e->ignore();
    return;
  }
  if (tray_) tray_->hide();
  e->accept();
  // exit(), not quit(): quit() would first ask every window to close, and the
  // hidden windows refuse.
  QCoreApplication::exit(0);
}

void TForm1::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  note_first_shown();
  // Without a window manager the window may never be activated: the start
  // sequence then runs shortly after the window appears.
  QTimer::singleShot(kStartWithoutActivationMs, this, [this] {
    if (start_runs_ == 0) guarded([this] { Panel1Enter(); });
  });
}

// For start-up measurements: with VIRELUZ_SHOWN_FILE set, the wall-clock time
// (ms since the epoch) at which the window was first shown goes to that file.
void TForm1::note_first_shown() {
  if (shown_noted_) return;
  shown_noted_ = true;
  const QByteArray path = qgetenv("VIRELUZ_SHOWN_FILE");
  if (path.isEmpty()) return;
  QFile f(QString::fromLocal8Bit(path));
  if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
    f.write(QByteArray::number(QDateTime::currentMSecsSinceEpoch()));
}

void TForm1::changeEvent(QEvent* e) {
  QMainWindow::changeEvent(e);
  if (e->type() == QEvent::ActivationChange && isActiveWindow() && start_runs_ == 0) {
    QTimer::singleShot(0, this, [this] {
      if (start_runs_ == 0) guarded([this] { Panel1Enter(); });
    });
  }
}

void TForm1::on_focus_changed(QWidget* old, QWidget* now) {
  QWidget* panel = centralWidget();
  if (!now || !panel || start_runs_ == 0) return;
  // The focus came back into the panel from another control of this window.
  if (panel->isAncestorOf(now) && old && old->window() == this && !panel->isAncestorOf(old) && old != panel)
    guarded([this] { Panel1Enter(); });
}

}  // namespace vireluz
