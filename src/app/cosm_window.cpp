#include "app/cosm_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

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
    : SettingsWindow(
          messages, "TForm_Cosm", CosmWindowModel::kCaption, [this] { model_.show(); }, parent),
      model_(settings, messages) {
  auto* CheckBox_actif = check("CheckBox_actif", "Activer l'envoi au site Cosm", model_.actif);
  auto* Edit_key = edit("Edit_key", model_.key);
  Edit_key->setEchoMode(QLineEdit::Password);
  auto* Edit_feed = edit("Edit_feed", model_.feed);
  auto* ComboBox_interval =
      combo("ComboBox_interval", CosmWindowModel::interval_items(), model_.interval_index);
  auto* Edit_data_id = edit("Edit_data_id", model_.data_id);
  auto* ComboBox_compteur = combo("ComboBox_compteur", CosmWindowModel::meter_items(), model_.meter_index);
  auto* ComboBox_valeur = combo("ComboBox_valeur", CosmWindowModel::value_items(), model_.value_index);
  auto* StringGrid_cosm = grid("StringGrid_cosm", CosmWindowModel::kGridColumns,
                               CosmWindowModel::column_visible, [this](int r) { model_.select_row(r); });
  bind({}, [this, StringGrid_cosm] {
    fill_grid(StringGrid_cosm, model_.row_count(), CosmWindowModel::kGridColumns,
              [this](int r, int c) { return model_.cell(c, r); });
    StringGrid_cosm->setCurrentCell(model_.selected_row(), 0);
  });

  auto* Button_valider =
      button("Button_valider", "Valider Datastream", [this] { model_.valider_datastream(); });
  auto* Button_nouveau =
      button("Button_nouveau", "Nouveau Datastream", [this] { model_.nouveau_datastream(); });
  auto* Button_effacer =
      button("Button_effacer", "Effacer Datastream", [this] { model_.effacer_datastream(); });
  auto* Button_site =
      button("Button_site_cosm", "Site Cosm", [this] { open_url(QUrl(qs(CosmWindowModel::kSiteAddress))); });
  auto* Image_cosm = label("Image_cosm", {});
  Image_cosm->setPixmap(cosm_logo());

  auto* top = new QVBoxLayout(this);
  auto* head = new QHBoxLayout;
  auto* fields = new QGridLayout;
  fields->addWidget(CheckBox_actif, 0, 0, 1, 2);
  fields->addWidget(label("Label_key", "Key"), 1, 0);
  fields->addWidget(Edit_key, 1, 1);
  fields->addWidget(label("Label_feed", "Feed ID"), 2, 0);
  fields->addWidget(Edit_feed, 2, 1);
  fields->addWidget(label("Label_interval", "Transfert toutes les X minutes :"), 3, 0);
  fields->addWidget(ComboBox_interval, 3, 1);
  head->addLayout(fields, 1);
  auto* logo = new QVBoxLayout;
  logo->addWidget(Image_cosm, 0, Qt::AlignCenter);
  logo->addWidget(Button_site);
  head->addLayout(logo);
  top->addLayout(head);

  top->addWidget(label("Label_datastream", "Datastream"));
  top->addWidget(StringGrid_cosm, 1);
  auto* row = new QGridLayout;
  row->addWidget(label("Label_data_id", "DATA ID"), 0, 0);
  row->addWidget(label("Label_compteur", "Compteur"), 0, 1);
  row->addWidget(label("Label_valeur", "Valeur à envoyer"), 0, 2);
  row->addWidget(Edit_data_id, 1, 0);
  row->addWidget(ComboBox_compteur, 1, 1);
  row->addWidget(ComboBox_valeur, 1, 2);
  top->addLayout(row);
  auto* grid_buttons = new QHBoxLayout;
  grid_buttons->addWidget(Button_valider);
  grid_buttons->addWidget(Button_nouveau);
  grid_buttons->addWidget(Button_effacer);
  top->addLayout(grid_buttons);
  top->addLayout(save_close_row([this] { model_.enregistrer(); }));
  push();
}

}  // namespace vireluz
