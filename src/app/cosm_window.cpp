#include "app/cosm_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QVBoxLayout>
#include <exception>

#include "app/qt_support.h"

namespace vireluz {

namespace {

// The service's logo, drawn: an orange disc with the name.
QPixmap cosm_logo() {
  QPixmap pm(72, 72);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(240, 120, 30));
  p.drawEllipse(QRectF(2, 2, 68, 68));
  p.setPen(Qt::white);
  QFont f = p.font();
  f.setBold(true);
  f.setPixelSize(18);
  p.setFont(f);
  p.drawText(QRectF(0, 0, 72, 72), Qt::AlignCenter, "cosm");
  return pm;
}

}  // namespace

TForm_Cosm::TForm_Cosm(Settings& settings, UserMessages& messages, QWidget* parent)
    : QDialog(parent), model_(settings, messages), messages_(messages) {
  setObjectName("TForm_Cosm");
  setWindowTitle(qs(CosmWindowModel::title()));
  open_url = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  auto named = [](auto* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
  };
  auto label = [&](const char* name, const QString& text) { return named(new QLabel(text), name); };
  auto button = [&](const char* name, const QString& text) { return named(new QPushButton(text), name); };

  CheckBox_actif_ = named(new QCheckBox(qs(CosmWindowModel::caption_actif())), "CheckBox_actif");
  Edit_key_ = named(new QLineEdit, "Edit_key");
  Edit_key_->setEchoMode(QLineEdit::Password);
  Edit_feed_ = named(new QLineEdit, "Edit_feed");
  ComboBox_interval_ = named(new QComboBox, "ComboBox_interval");
  for (const Text& t : CosmWindowModel::interval_items()) ComboBox_interval_->addItem(qs(t));
  Edit_data_id_ = named(new QLineEdit, "Edit_data_id");
  ComboBox_compteur_ = named(new QComboBox, "ComboBox_compteur");
  for (const Text& t : CosmWindowModel::meter_items()) ComboBox_compteur_->addItem(qs(t));
  ComboBox_valeur_ = named(new QComboBox, "ComboBox_valeur");
  for (const Text& t : CosmWindowModel::value_items()) ComboBox_valeur_->addItem(qs(t));

  StringGrid_cosm_ = named(new QTableWidget, "StringGrid_cosm");
  StringGrid_cosm_->setColumnCount(CosmWindowModel::kGridColumns);
  for (int c = 0; c < CosmWindowModel::kGridColumns; ++c)
    StringGrid_cosm_->setColumnHidden(c, !CosmWindowModel::column_visible(c));
  StringGrid_cosm_->horizontalHeader()->hide();
  StringGrid_cosm_->verticalHeader()->hide();
  StringGrid_cosm_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  StringGrid_cosm_->setSelectionBehavior(QAbstractItemView::SelectRows);
  StringGrid_cosm_->setSelectionMode(QAbstractItemView::SingleSelection);
  StringGrid_cosm_->horizontalHeader()->setStretchLastSection(true);

  auto* Button_valider = button("Button_valider", "Valider Datastream");
  auto* Button_nouveau = button("Button_nouveau", "Nouveau Datastream");
  auto* Button_effacer = button("Button_effacer", "Effacer Datastream");
  auto* Button_fermer = button("Button_fermer", "Fermer");
  auto* Button_enregistrer = button("Button_enregistrer", "Enregistrer");
  auto* Button_site = button("Button_site_cosm", "Site Cosm");
  auto* Image_cosm = label("Image_cosm", {});
  Image_cosm->setPixmap(cosm_logo());

  auto* top = new QVBoxLayout(this);
  auto* head = new QHBoxLayout;
  auto* fields = new QGridLayout;
  fields->addWidget(CheckBox_actif_, 0, 0, 1, 2);
  fields->addWidget(label("Label_key", "Key"), 1, 0);
  fields->addWidget(Edit_key_, 1, 1);
  fields->addWidget(label("Label_feed", "Feed ID"), 2, 0);
  fields->addWidget(Edit_feed_, 2, 1);
  fields->addWidget(label("Label_interval", qs(CosmWindowModel::caption_interval())), 3, 0);
  fields->addWidget(ComboBox_interval_, 3, 1);
  head->addLayout(fields, 1);
  auto* logo = new QVBoxLayout;
  logo->addWidget(Image_cosm, 0, Qt::AlignCenter);
  logo->addWidget(Button_site);
  head->addLayout(logo);
  top->addLayout(head);

  top->addWidget(label("Label_datastream", "Datastream"));
  top->addWidget(StringGrid_cosm_, 1);
  auto* row = new QGridLayout;
  row->addWidget(label("Label_data_id", "DATA ID"), 0, 0);
  row->addWidget(label("Label_compteur", "Compteur"), 0, 1);
  row->addWidget(label("Label_valeur", QString::fromUtf8("Valeur à envoyer")), 0, 2);
  row->addWidget(Edit_data_id_, 1, 0);
  row->addWidget(ComboBox_compteur_, 1, 1);
  row->addWidget(ComboBox_valeur_, 1, 2);
  top->addLayout(row);
  auto* grid_buttons = new QHBoxLayout;
  grid_buttons->addWidget(Button_valider);
  grid_buttons->addWidget(Button_nouveau);
  grid_buttons->addWidget(Button_effacer);
  top->addLayout(grid_buttons);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(Button_enregistrer);
  bottom->addWidget(Button_fermer);
  top->addLayout(bottom);

  connect(Button_valider, &QPushButton::clicked, this,
          [this] { run([this] { model_.valider_datastream(); }); });
  connect(Button_nouveau, &QPushButton::clicked, this,
          [this] { run([this] { model_.nouveau_datastream(); }); });
  connect(Button_effacer, &QPushButton::clicked, this,
          [this] { run([this] { model_.effacer_datastream(); }); });
  connect(Button_enregistrer, &QPushButton::clicked, this, [this] { run([this] { model_.enregistrer(); }); });
  connect(Button_fermer, &QPushButton::clicked, this, &QDialog::reject);
  connect(Button_site, &QPushButton::clicked, this,
          [this] { run([this] { open_url(QUrl(qs(CosmWindowModel::site_address()))); }); });
  // A click on a row (or moving the current row with the keyboard) shows it.
  connect(StringGrid_cosm_, &QTableWidget::currentCellChanged, this, [this](int r, int, int, int) {
    if (!pushing_ && r >= 0) run([this, r] { model_.select_row(r); });
  });
  connect(StringGrid_cosm_, &QTableWidget::cellClicked, this,
          [this](int r, int) { run([this, r] { model_.select_row(r); }); });

  push();
}

void TForm_Cosm::showEvent(QShowEvent* event) {
  // FormShow: not when the window system merely shows it again (restored).
  if (!event->spontaneous()) run([this] { model_.show(); });
  QDialog::showEvent(event);
}

void TForm_Cosm::run(const std::function<void()>& operation) {
  report_errors(messages_, [&] {
    pull();
    operation();
  });
  push();
}

void TForm_Cosm::pull() {
  model_.actif = CheckBox_actif_->isChecked();
  model_.key = cp(Edit_key_->text());
  model_.feed = cp(Edit_feed_->text());
  model_.interval_index = ComboBox_interval_->currentIndex();
  model_.data_id = cp(Edit_data_id_->text());
  model_.meter_index = ComboBox_compteur_->currentIndex();
  model_.value_index = ComboBox_valeur_->currentIndex();
}

void TForm_Cosm::push() {
  pushing_ = true;
  CheckBox_actif_->setChecked(model_.actif);
  Edit_key_->setText(qs(model_.key));
  Edit_feed_->setText(qs(model_.feed));
  ComboBox_interval_->setCurrentIndex(model_.interval_index);
  Edit_data_id_->setText(qs(model_.data_id));
  ComboBox_compteur_->setCurrentIndex(model_.meter_index);
  ComboBox_valeur_->setCurrentIndex(model_.value_index);
  refresh_grid();
  pushing_ = false;
}

void TForm_Cosm::refresh_grid() {
  const bool was = pushing_;
  pushing_ = true;
  StringGrid_cosm_->setRowCount(model_.row_count());
  for (int r = 0; r < model_.row_count(); ++r) {
    for (int c = 0; c < CosmWindowModel::kGridColumns; ++c) {
      const QString text = qs(model_.cell(c, r));
      QTableWidgetItem* item = StringGrid_cosm_->item(r, c);
      if (!item) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        StringGrid_cosm_->setItem(r, c, item);
      }
      if (item->text() != text) item->setText(text);
    }
  }
  StringGrid_cosm_->setCurrentCell(model_.selected_row(), 0);
  pushing_ = was;
}

}  // namespace vireluz
