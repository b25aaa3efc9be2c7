#include "app/qt_support.h"

#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <exception>

#include "common/user_messages.h"

namespace vireluz {

QColor to_qcolor(Colour c) {
  switch (c) {
    case Colour::Default:
      return {};
    case Colour::Black:
      return QColor(0, 0, 0);
    case Colour::Yellow:
      return QColor(255, 255, 0);
    case Colour::Gray:
      return QColor(128, 128, 128);
    case Colour::Red:
      return QColor(255, 0, 0);
    case Colour::Blue:
      return QColor(0, 0, 255);
    case Colour::Lime:
      return QColor(0, 255, 0);
    case Colour::White:
      return QColor(255, 255, 255);
    case Colour::Green:
      return QColor(0, 128, 0);
  }
  return {};
}

QIcon program_icon() {
  static const QIcon icon = [] {
    QIcon i;
    for (int size : {16, 22, 32, 48, 64}) {
      QPixmap pm(size, size);
      pm.fill(Qt::transparent);
      QPainter p(&pm);
      p.setRenderHint(QPainter::Antialiasing);
      const qreal s = size / 64.0;
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(20, 60, 140));
      p.drawRoundedRect(QRectF(2 * s, 2 * s, 60 * s, 60 * s), 12 * s, 12 * s);
      // A lightning bolt over a meter dial.
      p.setBrush(QColor(255, 220, 0));
      const QPointF bolt[] = {{36 * s, 6 * s},  {16 * s, 36 * s}, {30 * s, 36 * s},
                              {24 * s, 58 * s}, {48 * s, 26 * s}, {34 * s, 26 * s}};
      p.drawPolygon(bolt, 6);
      i.addPixmap(pm);
    }
    return i;
  }();
  return icon;
}

namespace {
UserMessages* g_error_display = nullptr;
}

void set_error_display(UserMessages* messages) { g_error_display = messages; }

void show_general_error(const Text& text) {
  if (g_error_display) {
    g_error_display->show_message({MessageIcon::Error, kAppTitle, text});
    return;
  }
  QMessageBox box(QMessageBox::Critical, qs(kAppTitle), qs(text), QMessageBox::Ok);
  box.exec();
}

void guarded(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    show_general_error(e.what());
  } catch (...) {
    show_general_error(w("Erreur inattendue"));
  }
}

}  // namespace vireluz
