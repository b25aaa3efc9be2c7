#include "app/widgets.h"

#include <QPainter>
#include <algorithm>

namespace vireluz::ui {

BarGauge::BarGauge(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setMinimumSize(60, 12);
}

void BarGauge::set_range(int max, int zone1, int zone2) {
  if (max == max_ && zone1 == zone1_ && zone2 == zone2_) return;
  max_ = max;
  zone1_ = zone1;
  zone2_ = zone2;
  update();
}

void BarGauge::set_position(int position) {
  if (position == position_) return;
  position_ = position;
  update();
}

void BarGauge::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect r = rect().adjusted(0, 0, -1, -1);
  p.fillRect(r, QColor(40, 40, 40));
  if (max_ > 0) {
    const int pos = std::clamp(position_, 0, max_);
    auto x_of = [&](int v) {
      return r.left() + static_cast<int>(static_cast<long long>(r.width()) * v / max_);
    };
    const int z1 = std::clamp(zone1_, 0, max_), z2 = std::clamp(zone2_, z1, max_);
    // Filled part, coloured by the zone each stretch falls in.
    auto fill = [&](int from, int to, const QColor& c) {
      if (to > from) p.fillRect(QRect(QPoint(x_of(from), r.top()), QPoint(x_of(to), r.bottom())), c);
    };
    fill(0, std::min(pos, z1), QColor(0, 255, 0));
    fill(z1, std::min(pos, z2), QColor(255, 255, 0));
    fill(z2, pos, QColor(255, 0, 0));
    // Zone limits as thin marks.
    p.setPen(QColor(200, 200, 200));
    for (int z : {z1, z2}) p.drawLine(x_of(z), r.top(), x_of(z), r.top() + 3);
  }
  p.setPen(QColor(90, 90, 90));
  p.drawRect(r);
}

Led::Led(QWidget* parent) : QWidget(parent) { setFixedSize(16, 16); }

void Led::set_colours(const QColor& on, const QColor& off) {
  if (on == on_colour_ && off == off_colour_) return;
  on_colour_ = on;
  off_colour_ = off;
  update();
}

void Led::set_on(bool on) {
  if (on == on_) return;
  on_ = on;
  update();
}

void Led::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
  QRadialGradient g(r.center() - QPointF(r.width() / 5, r.height() / 5), r.width() / 1.6);
  const QColor c = current_colour();
  g.setColorAt(0, c.lighter(160));
  g.setColorAt(1, c);
  p.setBrush(g);
  p.setPen(QPen(QColor(60, 60, 60), 1));
  p.drawEllipse(r);
}

}  // namespace vireluz::ui
