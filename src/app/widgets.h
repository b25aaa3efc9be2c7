#pragma once
// The two display widgets the main window draws itself: a horizontal bar
// gauge with three coloured zones and a round LED (namespace ui: the
// presentation state has its own Led and Gauge records).
#include <QColor>
#include <QWidget>

namespace vireluz::ui {

class BarGauge : public QWidget {
  Q_OBJECT
 public:
  explicit BarGauge(QWidget* parent = nullptr);
  // Lime from 0 to zone1, yellow to zone2, red to max; the bar is filled up
  // to the position (clamped to 0..max).
  void set_range(int max, int zone1, int zone2);
  void set_position(int position);
  int max() const { return max_; }
  int zone1() const { return zone1_; }
  int zone2() const { return zone2_; }
  int position() const { return position_; }
  QSize sizeHint() const override { return {120, 14}; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  int max_ = 100, zone1_ = 60, zone2_ = 80, position_ = 0;
};

class Led : public QWidget {
  Q_OBJECT
 public:
  explicit Led(QWidget* parent = nullptr);
  void set_colours(const QColor& on, const QColor& off);
  void set_on(bool on);
  // The colour drawn now.
  QColor current_colour() const { return on_ ? on_colour_ : off_colour_; }
  QSize sizeHint() const override { return {16, 16}; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  bool on_ = false;
  QColor on_colour_{0, 255, 0}, off_colour_{128, 128, 128};
};

}  // namespace vireluz::ui
