#pragma once
// Small helpers of the Qt layer: text conversion at the widget boundary, the
// colours of the presentation state, the program icon, and the guard that
// keeps an exception from crossing the Qt event loop.
#include <QColor>
#include <QIcon>
#include <QString>
#include <functional>

#include "common/text.h"
#include "display/main_window_state.h"

namespace vireluz {

class UserMessages;

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

}  // namespace vireluz
