#pragma once
// The graphs window (TForm_graphiques): one chart per meter with its slider.
// It draws GraphsWindowState, appending only the samples added since the last
// render, and forwards the slider moves and its closing to the core's rules.
#include <QWidget>
#include <array>

#include "app/gui_backend.h"

class QChart;
class QChartView;
class QLabel;
class QLineSeries;
class QSlider;
class QValueAxis;

namespace vireluz {

class TForm_graphiques : public QWidget {
  Q_OBJECT
 public:
  explicit TForm_graphiques(GuiBackend& backend, QWidget* parent = nullptr);

  // Draws what changed in the state; shows or hides the window as
  // GraphsShown says.
  void render(bool force = false);
  QLineSeries* series(int graph, int trace) const { return g_[graph].series[trace]; }
  QValueAxis* y_axis(int graph) const { return g_[graph].y; }
  // Called when the user closed it (the close box): the toggle hides it and
  // the captions go back to "Afficher graphiques".
  std::function<void()> on_user_close;

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  struct Graph {
    QChartView* view = nullptr;
    QChart* chart = nullptr;
    std::array<QLineSeries*, 3> series{};
    QValueAxis* x = nullptr;
    QValueAxis* y = nullptr;
    QSlider* slider = nullptr;
    QLabel* label = nullptr;
    // What was drawn last.
    std::uint64_t serial = ~0ull;
    int head = 0, count = 0, traces = -1;
    long long total = 0;  // samples drawn since the last clearing (x of the next one)
    Text unit;
    int top = -1;
  };
  void render_graph(int i, bool force);
  void apply_visibility();

  GuiBackend& backend_;
  std::array<Graph, 2> g_;
  Text last_label1_, last_label2_;
  int last_width_ = -1;
  bool last_visible2_ = true;
  bool syncing_ = false;
};

}  // namespace vireluz
