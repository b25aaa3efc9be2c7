#pragma once
// The small windows: About and the no-TIC notice, and the message boxes of
// the UserMessages port.
#include <QDialog>
#include <functional>

#include "app/qt_support.h"
#include "common/user_messages.h"

class QLabel;

namespace vireluz {

class TForm_a_propos : public QDialog {
  Q_OBJECT
 public:
  explicit TForm_a_propos(QWidget* parent = nullptr);
};

// Shown without blocking; the decoder sets its text.
class TForm_pas_vireluz : public QDialog {
  Q_OBJECT
 public:
  explicit TForm_pas_vireluz(QWidget* parent = nullptr);
  void show_label(const Text& cp1252_text);
  QLabel* label() const { return label_; }

 private:
  QLabel* label_;
};

// Message boxes with their icon, caption and an OK button (MessageBoxes: they
// never hold up the handler that shows them); the no-TIC window.
class QtUserMessages : public UserMessages {
 public:
  void show_message(const UserMessage& m) override;
  void show_no_tic(const Text& label) override;
  void set_no_tic_window(TForm_pas_vireluz* w) { no_tic_ = w; }
  // When set, messages go here instead of a box (tests).
  std::function<void(const UserMessage&)> intercept;
  int open_boxes() const { return boxes_.open_count(); }

 private:
  TForm_pas_vireluz* no_tic_ = nullptr;
  MessageBoxes boxes_;
};

}  // namespace vireluz
