#pragma once
// What the settings windows share around their models (classes of the core,
// without Qt): each field widget is bound to its model field when it is made;
// every action copies the widgets into the model, runs the model's operation
// and copies the model back, so that a window holds no rule of its own; what
// an action throws becomes an error box and goes no further.
#include <QDialog>
#include <QUrl>
#include <functional>
#include <span>
#include <vector>

#include "common/text.h"
#include "common/user_messages.h"

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace vireluz {

class SettingsWindow : public QDialog {
 public:
  // Opens a web address (a service's site); QDesktopServices::openUrl unless replaced.
  std::function<void(const QUrl&)> open_url;

 protected:
  // name: the objectName; show_model: fills the model's fields from the
  // settings, each time the window opens (none: the window does it itself).
  SettingsWindow(UserMessages& messages, const char* name, const Text& title,
                 std::function<void()> show_model, QWidget* parent);

  void showEvent(QShowEvent* event) override;

  // Widgets -> model, the operation, model -> widgets.
  void run(const std::function<void()>& operation);
  // Widgets -> model, and model -> widgets: every binding in the order made.
  void pull();
  void push();
  // How a field is read into the model and shown from it (either may be empty).
  void bind(std::function<void()> pull, std::function<void()> push);

  template <typename W>
  static W* named(W* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
  }
  QLabel* label(const char* name, const QString& text);
  // Field widgets bound to their model field.
  QLineEdit* edit(const char* name, Text& field);
  QCheckBox* check(const char* name, const QString& text, bool& field);
  QComboBox* combo(const char* name, std::span<const Text> items, int& field);
  // A button that runs `operation`; without one, it closes the window.
  QPushButton* button(const char* name, const QString& text, std::function<void()> operation = {});
  // A row of "Enregistrer" (runs `save`) and "Fermer", pushed to the right by
  // a stretch unless `right` is false.
  QHBoxLayout* save_close_row(std::function<void()> save, bool right = true);
  // `field` with a "Parcourir…" button that fills it from a file chooser.
  QHBoxLayout* with_browse(QLineEdit* field, const char* button_name, const QString& title,
                           const QString& filter);
  // A grid of whole rows, without titles, the columns not `visible` hidden; a
  // click on a row (or moving to it with the keyboard) calls select(row).
  QTableWidget* grid(const char* name, int columns, bool (*visible)(int), std::function<void(int)> select);
  // Shows rows x columns texts in the grid (items made once, a text set only
  // when it changed).
  static void fill_grid(QTableWidget* grid, int rows, int columns, const std::function<Text(int, int)>& cell);

  // True while push() runs: the handlers of field changes ignore what it sets.
  bool pushing_ = false;

 private:
  UserMessages& messages_;
  std::function<void()> show_model_;
  std::vector<std::function<void()>> pulls_, pushes_;
};

}  // namespace vireluz
