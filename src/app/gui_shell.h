#pragma once
// The program's eight windows, created in their launch order and wired to one
// another and to the core.
#include <QDialog>
#include <QObject>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "app/gui_backend.h"

namespace vireluz {

class QtUserMessages;
class TForm1;
class TForm_a_propos;
class TForm_cfg;
class TForm_graphiques;
class TForm_pas_vireluz;

// Centres `window` on `owner` (on the screen when the owner is hidden), moved
// and if need be shrunk so that it lies wholly on the screen, title bar included.
void place_over(QWidget& window, const QWidget& owner);

class GuiShell {
 public:
  // start: launched with the parameter "start". program_path and config_dir
  // (the --config-dir given, or ""): the command of the autostart entry.
  GuiShell(GuiBackend& backend, QtUserMessages& messages, bool start, const std::string& program_path,
           const std::string& config_dir = {});
  ~GuiShell();

  // The windows in their creation order: TForm1, TForm_a_propos, TForm_cfg,
  // TForm_graphiques, TForm_alertes_mail, TForm2_BDPV, TForm_pas_vireluz, TForm_Cosm.
  const std::vector<QWidget*>& windows() const { return windows_; }
  TForm1& main() { return *main_; }
  TForm_graphiques& graphs() { return *graphs_; }
  TForm_cfg& cfg() { return *cfg_; }
  TForm_a_propos& a_propos() { return *a_propos_; }
  TForm_pas_vireluz& pas_vireluz() { return *pas_vireluz_; }

  // Shows the main window (unless the automatic start keeps it hidden).
  void show();
  // Renders both windows now.
  void render();

 private:
  bool start_;
  std::unique_ptr<TForm1> main_;
  TForm_a_propos* a_propos_ = nullptr;
  TForm_cfg* cfg_ = nullptr;
  TForm_graphiques* graphs_ = nullptr;
  QDialog* alertes_ = nullptr;
  QDialog* bdpv_ = nullptr;
  TForm_pas_vireluz* pas_vireluz_ = nullptr;
  QDialog* cosm_ = nullptr;
  QDialog* mqtt_ = nullptr;
  QDialog* web_ = nullptr;
  std::vector<QWidget*> windows_;
};

}  // namespace vireluz
