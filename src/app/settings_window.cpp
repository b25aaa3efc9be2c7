#include "app/settings_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <utility>

#include "app/qt_support.h"

namespace vireluz {

SettingsWindow::SettingsWindow(UserMessages& messages, const char* name, const Text& title,
                               std::function<void()> show_model, QWidget* parent)
    : QDialog(parent), messages_(messages), show_model_(std::move(show_model)) {
  setObjectName(name);
  setWindowTitle(qs(title));
  open_url = [](const QUrl& url) { QDesktopServices::openUrl(url); };
}

void SettingsWindow::showEvent(QShowEvent* event) {
  // FormShow: not when the window system merely shows it again (restored).
  if (!event->spontaneous() && show_model_) run(show_model_);
  QDialog::showEvent(event);
}

void SettingsWindow::run(const std::function<void()>& operation) {
  guarded(
      [&] {
        pull();
        operation();
      },
      &messages_);
  push();
}

void SettingsWindow::pull() {
  for (const auto& pull : pulls_) pull();
}

void SettingsWindow::push() {
  const bool was = std::exchange(pushing_, true);
  for (const auto& push : pushes_) push();
  pushing_ = was;
}

void SettingsWindow::bind(std::function<void()> pull, std::function<void()> push) {
  if (pull) pulls_.push_back(std::move(pull));
  if (push) pushes_.push_back(std::move(push));
}

QLabel* SettingsWindow::label(const char* name, const QString& text) { return named(new QLabel(text), name); }

QLineEdit* SettingsWindow::edit(const char* name, Text& field) {
  auto* e = named(new QLineEdit, name);
  bind([e, &field] { field = cp(e->text()); }, [e, &field] { e->setText(qs(field)); });
  return e;
}

QCheckBox* SettingsWindow::check(const char* name, const QString& text, bool& field) {
  auto* c = named(new QCheckBox(text), name);
  bind([c, &field] { field = c->isChecked(); }, [c, &field] { c->setChecked(field); });
  return c;
}

QComboBox* SettingsWindow::combo(const char* name, std::span<const Text> items, int& field) {
  auto* c = named(new QComboBox, name);
  for (const Text& t : items) c->addItem(qs(t));
  bind([c, &field] { field = c->currentIndex(); }, [c, &field] { c->setCurrentIndex(field); });
  return c;
}

QPushButton* SettingsWindow::button(const char* name, const QString& text, std::function<void()> operation) {
  auto* b = named(new QPushButton(text), name);
  if (operation)
    connect(b, &QPushButton::clicked, this, [this, operation = std::move(operation)] { run(operation); });
  else
    connect(b, &QPushButton::clicked, this, &QDialog::reject);
  return b;
}

QHBoxLayout* SettingsWindow::save_close_row(std::function<void()> save, bool right) {
  auto* row = new QHBoxLayout;
  if (right) row->addStretch(1);
  row->addWidget(button("Button_enregistrer", "Enregistrer", std::move(save)));
  row->addWidget(button("Button_fermer", "Fermer"));
  return row;
}

QHBoxLayout* SettingsWindow::with_browse(QLineEdit* field, const char* button_name, const QString& title,
                                         const QString& filter) {
  auto* b = named(new QPushButton("Parcourir…"), button_name);
  auto* line = new QHBoxLayout;
  line->addWidget(field, 1);
  line->addWidget(b);
  connect(b, &QPushButton::clicked, this, [this, field, title, filter] {
    const QString f = QFileDialog::getOpenFileName(this, title, field->text(), filter);
    if (!f.isEmpty()) field->setText(f);
  });
  return line;
}

QTableWidget* SettingsWindow::grid(const char* name, int columns, bool (*visible)(int),
                                   std::function<void(int)> select) {
  auto* g = named(new QTableWidget, name);
  g->setColumnCount(columns);
  for (int c = 0; c < columns; ++c) g->setColumnHidden(c, !visible(c));
  g->horizontalHeader()->hide();
  g->verticalHeader()->hide();
  g->setEditTriggers(QAbstractItemView::NoEditTriggers);
  g->setSelectionBehavior(QAbstractItemView::SelectRows);
  g->setSelectionMode(QAbstractItemView::SingleSelection);
  g->horizontalHeader()->setStretchLastSection(true);
  connect(g, &QTableWidget::currentCellChanged, this, [this, select](int r, int, int, int) {
    if (!pushing_ && r >= 0) run([&] { select(r); });
  });
  connect(g, &QTableWidget::cellClicked, this, [this, select](int r, int) { run([&] { select(r); }); });
  return g;
}

void SettingsWindow::fill_grid(QTableWidget* grid, int rows, int columns,
                               const std::function<Text(int, int)>& cell) {
  grid->setRowCount(rows);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      const QString text = qs(cell(r, c));
      QTableWidgetItem* item = grid->item(r, c);
      if (!item) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        grid->setItem(r, c, item);
      }
      if (item->text() != text) item->setText(text);
    }
  }
}

}  // namespace vireluz
