#include "app/graphs_window.h"

#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLayout>
#include <QLineSeries>
#include <QSignalBlocker>
#include <QSlider>
#include <QValueAxis>

#include "app/qt_support.h"
#include "display/graphs.h"

namespace vireluz {
namespace {

// Beyond this many new samples one replace() of the whole trace is cheaper
// than appending them one by one.
constexpr int kAppendLimit = 32;

const std::array<QColor, 3> kTraceColours = {QColor(255, 0, 0), QColor(0, 0, 255), QColor(0, 255, 0)};

void style_axis(QValueAxis* a) {
  QPen grid(QColor(128, 128, 128));
  grid.setStyle(Qt::DotLine);
  a->setGridLinePen(grid);
  a->setTickCount(11);
  a->setMinorTickCount(0);
}

}  // namespace

TForm_graphiques::TForm_graphiques(GuiBackend& backend, QWidget* parent)
    : QWidget(parent, Qt::Window), backend_(backend) {
  setObjectName("TForm_graphiques");
  setWindowTitle("VIRELUZ graphiques");
  setWindowIcon(program_icon());
  auto* grid = new QGridLayout(this);
  for (int i = 0; i < 2; ++i) {
    Graph& g = g_[static_cast<std::size_t>(i)];
    g.chart = new QChart;
    g.chart->legend()->hide();
    g.chart->setPlotAreaBackgroundBrush(Qt::black);
    g.chart->setPlotAreaBackgroundVisible(true);
    g.chart->setMargins(QMargins(2, 2, 2, 2));
    g.x = new QValueAxis;
    g.y = new QValueAxis;
    style_axis(g.x);
    style_axis(g.y);
    g.x->setTitleText("Temps");
    // No time stamps under the graph; the labels stay laid out (transparent)
    // so that the axis keeps room for its title.
    g.x->setLabelsColor(Qt::transparent);
    g.x->setRange(0, GraphState::kMaxSamples);
    g.y->setLabelFormat("%.1f");
    g.chart->addAxis(g.x, Qt::AlignBottom);
    g.chart->addAxis(g.y, Qt::AlignLeft);
    for (int t = 0; t < 3; ++t) {
      auto* s = new QLineSeries;
      s->setPen(QPen(kTraceColours[static_cast<std::size_t>(t)], 1.5));
      s->setUseOpenGL(false);
      g.chart->addSeries(s);
      s->attachAxis(g.x);
      s->attachAxis(g.y);
      g.series[static_cast<std::size_t>(t)] = s;
    }
    g.view = new QChartView(g.chart);
    g.view->setObjectName(i == 0 ? "Graphique1" : "Graphique2");
    g.view->setRenderHint(QPainter::Antialiasing, false);
    g.view->setMinimumSize(360, 260);
    g.slider = new QSlider(Qt::Vertical);
    g.slider->setObjectName(i == 0 ? "TrackBar_graph1" : "TrackBar_graph2");
    connect(g.slider, &QSlider::valueChanged, this, [this, i](int v) {
      guarded([&] {
        GraphState& gs = backend_.graphs_state().graph[static_cast<std::size_t>(i)];
        gs.slider_position = v;
        TrackBar_graphChange(gs);
        render();
      });
    });
    g.label = new QLabel;
    g.label->setObjectName(i == 0 ? "Label_cpt1" : "Label_cpt2");
    g.label->setAlignment(Qt::AlignCenter);
    grid->addWidget(g.view, 0, 2 * i);
    grid->addWidget(g.slider, 0, 2 * i + 1);
    grid->addWidget(g.label, 1, 2 * i);
  }
  resize(872, 360);
  render(true);
}

void TForm_graphiques::render_graph(int i, bool force) {
  Graph& g = g_[static_cast<std::size_t>(i)];
  const GraphState& st = backend_.graphs_state().graph[static_cast<std::size_t>(i)];
  if (!force && st.serial == g.serial) return;
  g.serial = st.serial;

  if (force || st.traces != g.traces) {
    for (int t = 0; t < 3; ++t) g.series[static_cast<std::size_t>(t)]->setVisible(t < st.traces);
  }
  if (force || st.unit != g.unit) {
    g.unit = st.unit;
    g.y->setTitleText(qs(st.unit));
  }
  if (force || st.top != g.top) {
    g.top = st.top;
    g.y->setRange(0, st.top > 0 ? st.top : 1);
  }
  {
    const QSignalBlocker block(g.slider);
    if (g.slider->minimum() != st.slider_min || g.slider->maximum() != st.slider_max)
      g.slider->setRange(st.slider_min, std::max(st.slider_min, st.slider_max));
    if (g.slider->value() != st.slider_position) g.slider->setValue(st.slider_position);
  }

  // Samples: how many were added since the last render.
  const int n = GraphState::kMaxSamples;
  long long added = -1;
  if (!force && st.traces == g.traces && st.count >= g.count)
    added = (st.count - g.count) + ((st.head - g.head + n) % n);
  const int traces = st.traces;
  g.traces = st.traces;
  if (added < 0 || added > kAppendLimit) {
    // Whole redraw (first render, clearing, trace count changed, or a burst).
    g.total = st.count;
    for (int t = 0; t < 3; ++t) {
      QList<QPointF> pts;
      if (t < traces) {
        pts.reserve(st.count);
        for (int k = 0; k < st.count; ++k) pts.append(QPointF(k, st.sample(k)[static_cast<std::size_t>(t)]));
      }
      g.series[static_cast<std::size_t>(t)]->replace(pts);
    }
  } else if (added > 0) {
    const long long first_x = g.total;
    for (int t = 0; t < traces; ++t) {
      QLineSeries* s = g.series[static_cast<std::size_t>(t)];
      for (long long k = 0; k < added; ++k) {
        const int idx = st.count - static_cast<int>(added) + static_cast<int>(k);
        s->append(QPointF(static_cast<qreal>(first_x + k), st.sample(idx)[static_cast<std::size_t>(t)]));
      }
      if (s->count() > st.count) s->removePoints(0, s->count() - st.count);
    }
    g.total += added;
  }
  g.head = st.head;
  g.count = st.count;
  // The axis spans the samples kept (at least 20 positions), so a graph
  // fills its width from the first samples on and scrolls once it holds 350.
  const long long left = std::max<long long>(0, g.total - st.count);
  const long long right = std::max<long long>(g.total - 1, left + 20);
  g.x->setRange(static_cast<qreal>(left), static_cast<qreal>(right));
}

void TForm_graphiques::apply_visibility() {
  const GraphsWindowState& st = backend_.graphs_state();
  const bool two = st.graph[1].visible;
  if (two != last_visible2_) {
    last_visible2_ = two;
    g_[1].view->setVisible(two);
    g_[1].label->setVisible(two);
    g_[1].slider->setVisible(two);
    layout()->activate();
    last_width_ = -1;
  }
  if (st.width != last_width_ && st.width > 0) {
    last_width_ = st.width;
    resize(st.width, height());
  }
}

void TForm_graphiques::render(bool force) {
  GraphsWindowState& st = backend_.graphs_state();
  if (force || st.Label_cpt1 != last_label1_) g_[0].label->setText(qs(last_label1_ = st.Label_cpt1));
  if (force || st.Label_cpt2 != last_label2_) g_[1].label->setText(qs(last_label2_ = st.Label_cpt2));
  // Drawing costs nothing while the window is hidden: it catches up when shown.
  if (isVisible() || force) {
    render_graph(0, force);
    render_graph(1, force);
  }
  apply_visibility();
  if (syncing_) return;
  syncing_ = true;
  if (st.GraphsShown && !isVisible()) {
    show();
    raise();
  } else if (!st.GraphsShown && isVisible()) {
    hide();
  }
  syncing_ = false;
}

void TForm_graphiques::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  guarded([this] {
    graphiques_FormShow(backend_.settings(), backend_.graphs_state());
    apply_visibility();
    render_graph(0, false);
    render_graph(1, false);
  });
}

void TForm_graphiques::closeEvent(QCloseEvent* e) {
  if (syncing_) {
    e->accept();
    return;
  }
  // The close box: the core's toggle hides the window and resets the captions.
  e->ignore();
  guarded([this] {
    graphiques_FormClose(backend_.graphs_state(), backend_.main_state());
    if (on_user_close) on_user_close();
    render();
  });
}

}  // namespace vireluz
