#pragma once
// Small helpers of the Qt layer: text conversion at the widget boundary, the
// colours of the presentation state, the program icon, and the guard that
// keeps an exception from crossing the Qt event loop.
#include <QColor>
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <deque>
#include <exception>
#include <functional>
#include <map>

#include "common/text.h"
#include "common/user_messages.h"
#include "display/main_window_state.h"

namespace vireluz {

inline QString qs(const Text& cp1252) { return QString::fromUtf8(cp1252_to_utf8(cp1252)); }
inline Text cp(const QString& s) { return utf8_to_cp1252(s.toStdString()); }

// The QColor of a presentation colour; invalid for Colour::Default.
QColor to_qcolor(Colour c);

// The program's icon, drawn (no image plug-in needed).
QIcon program_icon();

// The message boxes of the windowed program. A box never holds up the handler
// that raised it (a timer's tick, the serial port's data): it opens once that
// handler has returned (queued on the event loop) and without an event loop of
// its own, so every timer and the serial port go on while it waits for OK;
// it is still application-modal for the user. A message that is already open
// or waiting is not shown again (the next tick's same error does not pile up
// another box); messages that differ only in their numbers (a time, a
// duration, a date in a file name) count as the same, and the open box then
// shows the latest text. At most kMaxOpen boxes are open at once; further
// messages wait their turn.
class MessageBoxes {
 public:
  static constexpr int kMaxOpen = 8;
  static constexpr std::size_t kMaxWaiting = 64;

  MessageBoxes();
  ~MessageBoxes();  // closes the boxes still open
  MessageBoxes(const MessageBoxes&) = delete;
  MessageBoxes& operator=(const MessageBoxes&) = delete;

  void show(const UserMessage& m);
  int open_count() const { return static_cast<int>(open_.size()); }

 private:
  void open_waiting();
  void open_box(const UserMessage& m, const Text& key);

  QObject context_;  // queued calls die with this object
  bool posted_ = false;
  std::deque<std::pair<Text, UserMessage>> waiting_;
  std::map<Text, QPointer<QWidget>> open_;
};

// Where the general error display shows its boxes (set by run_gui; boxes of
// a MessageBoxes of its own when unset).
void set_error_display(UserMessages* messages);
// Shows an error's text as the general error display does.
void show_general_error(const Text& cp1252_text);

// Runs fn; an exception ends it and its text is shown as an error box with
// the application's title, by `messages` when given (the settings windows),
// else as the general error display shows errors; the program goes on.
void guarded(const std::function<void()>& fn, UserMessages* messages = nullptr);

}  // namespace vireluz
