#pragma once
// Small helpers of the Qt layer: text conversion at the widget boundary, the
// colours of the presentation state, the program icon, and the guard that
// keeps an exception from crossing the Qt event loop.
#include <QColor>
#include <QIcon>
#include <QString>
#include <exception>
#include <functional>

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

// Where the general error display shows its boxes (set by run_gui; a plain
// QMessageBox when unset).
void set_error_display(UserMessages* messages);
// Shows an error's text as the general error display does.
void show_general_error(const Text& cp1252_text);

// Runs fn; an exception ends it and its text is shown, the program goes on.
void guarded(const std::function<void()>& fn);

// Runs fn; an exception ends it and its text goes to `messages` as an error
// box with the application's title (the settings windows' handlers).
inline void report_errors(UserMessages& messages, const std::function<void()>& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    messages.show_message(UserMessage{MessageIcon::Error, kAppTitle, e.what()});
  } catch (...) {
    messages.show_message(UserMessage{MessageIcon::Error, kAppTitle, w("Erreur inattendue")});
  }
}

}  // namespace vireluz
