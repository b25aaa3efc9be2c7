#pragma once
// The main window (TForm1): the two meters' group boxes, the common LEDs, the
// reading and scan buttons, the start panel, the main menu and the
// notification-area icon with its menu. It renders MainWindowState and
// forwards every event to the core.
#include <QMainWindow>
#include <array>
#include <functional>

#include "app/gui_backend.h"
#include "display/main_window_state.h"

class QAction;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class QTextEdit;
class QTimer;

namespace vireluz {

namespace ui {
class BarGauge;
class Led;
}  // namespace ui

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  // Window actions the shell wires to the other windows.
  struct Windows {
    std::function<void()> configuration;  // modal configuration window
    std::function<void()> alertes;        // modal alert window
    std::function<void()> bdpv;           // modal BDPV window
    std::function<void()> cosm;           // modal Cosm window
    std::function<void()> mqtt;           // modal MQTT window
    std::function<void()> web;            // modal "Page Web" window
    std::function<void()> a_propos;       // modal About window
    std::function<void()> sync_graphs;    // show or hide the graphs window as the state says
  };

  // start: the first launch parameter is exactly "start".
  TForm1(GuiBackend& backend, bool start, Windows windows, QWidget* parent = nullptr);
  ~TForm1() override;

  // Copies the presentation state into the widgets that changed since the last
  // render (everything when forced).
  void render(bool force = false);

  // To the notification area, and back.
  void minimise();
  void restaurer();
  void show_allClick();
  void toggle_graphs();  // Button_graphes, tray "Afficher Graphes"
  // The start sequence (Panel1Enter); runs at the first activation.
  void Panel1Enter();
  int start_sequence_runs() const { return start_runs_; }

  // "Quitter": refused while reading; otherwise ends the program.
  void Quitter();
  bool quitting() const { return quitting_; }

  QMenu* tray_menu() const { return tray_menu_; }
  QAction* menu_action(const QString& text) const;  // main-menu entry by its caption
  bool tray_available() const;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void changeEvent(QEvent* e) override;
  void showEvent(QShowEvent* e) override;

 private:
  void note_first_shown();
  bool shown_noted_ = false;
  void build();
  QWidget* build_meter(int meter);
  void apply_field(std::size_t i, const Field& f);
  void on_focus_changed(QWidget* old, QWidget* now);
  // `a`, named, runs fn (an exception is shown) and renders the window.
  QAction* on_trigger(QAction* a, const char* name, std::function<void()> fn);
  // A widget or LED of the presentation state, named after its component.
  template <class W>
  W* field(FieldId id);
  ui::Led* field_led(LedId id);
  void update_title();

  GuiBackend& backend_;
  bool start_;
  Windows windows_;
  std::array<QWidget*, kFieldCount> fields_{};
  std::array<ui::Led*, kLedCount> leds_{};
  std::array<ui::BarGauge*, kGaugeCount> gauges_{};
  MainWindowState last_;
  std::uint64_t last_serial_ = ~0ull;
  bool last_simulated_ = false;
  Text last_toggle_caption_;
  bool rendered_once_ = false;
  QTimer* render_timer_ = nullptr;
  QTextEdit* memo_alerte_ = nullptr;

  QSystemTrayIcon* tray_ = nullptr;
  QMenu* tray_menu_ = nullptr;
  QAction* Show1_ = nullptr;
  QAction* show_graphes_ = nullptr;
  QAction* show_all_ = nullptr;
  QAction* Minimize_ = nullptr;
  int start_runs_ = 0;
  bool quitting_ = false;
  Subscription automatic_start_done_;
};

}  // namespace vireluz
