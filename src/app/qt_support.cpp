#include "app/qt_support.h"

#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <exception>

#include "common/user_messages.h"

namespace vireluz {

QColor to_qcolor(Colour c) {
  // In the order of Colour; Default has none.
  static const QColor kColours[] = {
      QColor(),          QColor(0, 0, 0),   QColor(255, 255, 0),   QColor(128, 128, 128), QColor(255, 0, 0),
      QColor(0, 0, 255), QColor(0, 255, 0), QColor(255, 255, 255), QColor(0, 128, 0)};
  const auto i = static_cast<std::size_t>(c);
  return i < std::size(kColours) ? kColours[i] : QColor();
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

// Icon, caption and text with every run of digits as one '#'.
Text message_key(const UserMessage& m) {
  Text key = std::to_string(static_cast<int>(m.icon)) + '\0' + m.caption + '\0';
  bool in_digits = false;
  for (char c : m.text) {
    const bool digit = c >= '0' && c <= '9';
    if (!digit || !in_digits) key.push_back(digit ? '#' : c);
    in_digits = digit;
  }
  return key;
}

QMessageBox::Icon box_icon(MessageIcon icon) {
  // In the order of MessageIcon.
  static const QMessageBox::Icon kIcons[] = {QMessageBox::NoIcon, QMessageBox::Information,
                                             QMessageBox::Warning, QMessageBox::Critical};
  const auto i = static_cast<std::size_t>(icon);
  return i < std::size(kIcons) ? kIcons[i] : QMessageBox::NoIcon;
}

QString box_text(const Text& cp1252) {
  QString text = qs(cp1252);
  text.replace("\r\n", "\n").replace('\r', '\n');
  return text;
}

}  // namespace

MessageBoxes::MessageBoxes() = default;

MessageBoxes::~MessageBoxes() {
  waiting_.clear();
  auto boxes = std::move(open_);
  open_.clear();
  for (auto& [key, box] : boxes) delete box.data();
}

void MessageBoxes::show(const UserMessage& m) {
  const Text key = message_key(m);
  if (const auto it = open_.find(key); it != open_.end()) {
    if (auto* box = qobject_cast<QMessageBox*>(it->second.data())) box->setText(box_text(m.text));
    return;
  }
  for (auto& [k, waiting] : waiting_)
    if (k == key) {
      waiting = m;
      return;
    }
  if (waiting_.size() >= kMaxWaiting) return;
  waiting_.emplace_back(key, m);
  if (!posted_) {
    posted_ = true;
    QTimer::singleShot(0, &context_, [this] {
      posted_ = false;
      open_waiting();
    });
  }
}

void MessageBoxes::open_waiting() {
  while (!waiting_.empty() && open_count() < kMaxOpen) {
    auto [key, m] = std::move(waiting_.front());
    waiting_.pop_front();
    open_box(m, key);
  }
}

void MessageBoxes::open_box(const UserMessage& m, const Text& key) {
  // No parent: a window that hides or goes away must not take the box with it.
  auto* box = new QMessageBox(box_icon(m.icon), qs(m.caption), box_text(m.text), QMessageBox::Ok);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::ApplicationModal);
  open_[key] = box;
  // Gone from the list as soon as OK is clicked (the box itself is deleted
  // a moment later), so that the same message can open a new box at once.
  auto closed = [this, key, self = static_cast<QObject*>(box)] {
    const auto it = open_.find(key);
    if (it == open_.end() || (!it->second.isNull() && it->second.data() != self)) return;
    open_.erase(it);
    open_waiting();
  };
  QObject::connect(box, &QDialog::finished, &context_, closed);
  QObject::connect(box, &QObject::destroyed, &context_, closed);
  box->show();
}

void set_error_display(UserMessages* messages) { g_error_display = messages; }

void show_general_error(const Text& text) {
  const UserMessage m{MessageIcon::Error, kAppTitle, text};
  if (g_error_display) {
    g_error_display->show_message(m);
    return;
  }
  // Never destroyed: the boxes may outlive any owner here.
  static MessageBoxes* const boxes = new MessageBoxes;
  boxes->show(m);
}

void guarded(const std::function<void()>& fn, UserMessages* messages) {
  Text text;
  try {
    fn();
    return;
  } catch (const std::exception& e) {
    text = e.what();
  } catch (...) {
    text = w("Erreur inattendue");
  }
  if (messages)
    messages->show_message(UserMessage{MessageIcon::Error, kAppTitle, text});
  else
    show_general_error(text);
}

}  // namespace vireluz
