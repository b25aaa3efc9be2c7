#include "app/alert_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTime>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QValidator>
#include <utility>

#include "app/qt_support.h"

namespace vireluz {

namespace {

// The key filter of the value and re-arm minutes fields: a text is accepted
// only when every character passes the model's filter, so a refused key (or a
// pasted text holding one) leaves the field unchanged.
class KeyFilter : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    for (const QChar ch : input) {
      if (ch.unicode() > 0x7F || !AlertWindowModel::accept_key(static_cast<char>(ch.unicode())))
        return Invalid;
    }
    return Acceptable;
  }
};

QTime time_of(const Text& t) {
  const QString s = qs(t);
  QTime time = QTime::fromString(s, "HH:mm:ss");
  if (!time.isValid()) time = QTime::fromString(s, "H:mm:ss");
  return time.isValid() ? time : QTime(0, 0, 0);
}

}  // namespace

TForm_alertes_mail::TForm_alertes_mail(Settings& settings, UserMessages& messages, AlertEngine& engine,
                                       QWidget* parent)
    : SettingsWindow(
          messages, "TForm_alertes_mail", AlertWindowModel::kCaption, [this] { model_.show_window(); },
          parent),
      model_(settings, messages, engine) {
  AlertWindowModel::RuleFields& r = model_.rule;
  AlertWindowModel::MailFields& m = model_.mail;
  auto time_edit = [&](const char* name, Text& field) {
    auto* t = named(new QTimeEdit, name);
    t->setDisplayFormat("HH:mm:ss");
    bind([t, &field] { field = cp(t->time().toString("HH:mm:ss")); },
         [t, &field] { t->setTime(time_of(field)); });
    return t;
  };

  // The grid: no title row, the index columns hidden.
  StringGrid_alertes_ = grid("StringGrid_alertes", AlertRule::kColumns, AlertWindowModel::column_visible,
                             [this](int row) { model_.select_row(row); });

  // Rule-editing fields.
  auto* ComboBox_compteur = combo("ComboBox_compteur", AlertWindowModel::meters(), r.meter);
  auto* ComboBox_indicateur = combo("ComboBox_indicateur", AlertWindowModel::quantities(), r.quantity);
  auto* ComboBox_signe = combo("ComboBox_signe", AlertWindowModel::signs(), r.sign);
  bind({}, [ComboBox_signe, &r] { ComboBox_signe->setEnabled(r.sign_enabled); });
  auto* Edit_valeur = edit("Edit_valeur", r.value_text);
  Edit_valeur->setValidator(new KeyFilter(Edit_valeur));
  bind({}, [Edit_valeur, &r] { Edit_valeur->setVisible(r.value_text_visible); });
  auto* ComboBox_valeur = named(new QComboBox, "ComboBox_valeur");
  bind([ComboBox_valeur, &r] { r.value_item = ComboBox_valeur->currentIndex(); },
       [ComboBox_valeur, &r] {
         bool same_items = ComboBox_valeur->count() == static_cast<int>(r.value_items.size());
         for (int i = 0; same_items && i < ComboBox_valeur->count(); ++i)
           same_items = ComboBox_valeur->itemText(i) == qs(r.value_items[static_cast<std::size_t>(i)]);
         if (!same_items) {
           ComboBox_valeur->clear();
           for (const Text& t : r.value_items) ComboBox_valeur->addItem(qs(t));
         }
         ComboBox_valeur->setCurrentIndex(r.value_item);
         ComboBox_valeur->setVisible(r.value_list_visible);
       });
  auto* ComboBox_reactivation = combo("ComboBox_reactivation", AlertWindowModel::rearm_modes(), r.rearm_mode);
  auto* CheckBox_activer = check("CheckBox_activer", "Activer", r.activer);
  bind({}, [CheckBox_activer, &r] { CheckBox_activer->setEnabled(r.activer_enabled); });
  auto* CheckBox_plage_horaire = check("CheckBox_plage_horaire", "Suivant plage horaire", r.plage_horaire);
  auto* TimeEdit_debut = time_edit("TimeEdit_debut", r.debut);
  auto* TimeEdit_fin = time_edit("TimeEdit_fin", r.fin);
  auto* Edit_message = edit("Edit_message", r.message);
  auto* Button_valider = button("Button_valider", "Valider Alerte", [this] { model_.valider_alerte(); });
  auto* Button_nouvelle = button("Button_nouvelle", "Nouvelle Alerte", [this] { model_.nouvelle_alerte(); });
  auto* Button_supprimer = button("Button_supprimer", "Supprimer", [this] { model_.supprimer(); });

  // Settings fields.
  auto* CheckBox_actif = check("CheckBox_actif", "Activer les alertes par Mail", m.actif);
  auto* Edit_entete = edit("Edit_entete", m.entete);
  auto* Edit_emetteur = edit("Edit_emetteur", m.emetteur);
  auto* Edit_destinataire = edit("Edit_destinataire", m.destinataire);
  auto* Edit_smtp = edit("Edit_smtp", m.smtp);
  auto* Edit_port = edit("Edit_port", m.port);
  auto* Edit_password = edit("Edit_password", m.password);
  Edit_password->setEchoMode(QLineEdit::Password);
  auto* ComboBox_tls = named(new QComboBox, "ComboBox_tls");
  for (const Text& t : AlertWindowModel::kTlsChoices) ComboBox_tls->addItem(qs(t));
  bind({}, [ComboBox_tls, &m] { ComboBox_tls->setCurrentIndex(m.tls_shown()); });
  auto* Edit_ca = edit("Edit_ca", m.ca);
  Edit_ca->setPlaceholderText("certificats du système");
  auto* Button_test_mail = button("Button_test_mail", "Test Mail", [this] { model_.test_mail(); });
  auto* CheckBox_redemarrage_pc = check(
      "CheckBox_redemarrage_pc", "Après redémarrage automatique suite à un arrêt du PC", m.redemarrage_pc);
  auto* Edit_reactivation = edit("Edit_reactivation", m.reactivation);
  Edit_reactivation->setValidator(new KeyFilter(Edit_reactivation));
  auto* Button_sauvegarder = button("Button_sauvegarder", "Sauvegarder", [this] { model_.sauvegarder(); });
  auto* Button_retour = button("Button_retour", "Retour Vireluz");
  bind({}, [this] { refresh_grid(); });

  // Layout: settings, warning, grid and rule fields, bottom row.
  auto* top = new QVBoxLayout(this);
  auto* head = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  left->addWidget(CheckBox_actif);
  left->addWidget(label("Label_entete", "Entête des Mails d'alerte"));
  left->addWidget(Edit_entete);
  left->addWidget(CheckBox_redemarrage_pc);
  auto* warning = label("Label_attention",
                        qs(AlertWindowModel::kWarningLines[0] + "\n" + AlertWindowModel::kWarningLines[1] +
                           "\n" + AlertWindowModel::kWarningLines[2]));
  warning->setStyleSheet("color: red;");
  left->addWidget(warning);
  left->addStretch(1);
  head->addLayout(left, 1);
  auto* GroupBox_email = named(new QGroupBox("Configuration Email"), "GroupBox_email");
  auto* mail = new QGridLayout(GroupBox_email);
  mail->addWidget(label("Label_emetteur", "Adresse de l'émetteur du Mail"), 0, 0);
  mail->addWidget(Edit_emetteur, 0, 1);
  mail->addWidget(label("Label_destinataire", "Adresse du destinataire"), 1, 0);
  mail->addWidget(Edit_destinataire, 1, 1);
  mail->addWidget(label("Label_smtp", "Serveur sortant (SMTP)"), 2, 0);
  mail->addWidget(Edit_smtp, 2, 1);
  mail->addWidget(label("Label_port", "Port SMTP"), 3, 0);
  mail->addWidget(Edit_port, 3, 1);
  mail->addWidget(label("Label_password", "Mot de passe"), 4, 0);
  mail->addWidget(Edit_password, 4, 1);
  mail->addWidget(label("Label_tls", "Chiffrement"), 5, 0);
  mail->addWidget(ComboBox_tls, 5, 1);
  auto* tls_note = label("Label_tls_note", qs(AlertWindowModel::kTlsNote));
  tls_note->setWordWrap(true);
  mail->addWidget(tls_note, 6, 0, 1, 2);
  mail->addWidget(label("Label_ca", "Autorité (CA)"), 7, 0);
  mail->addWidget(Edit_ca, 7, 1);
  mail->addWidget(Button_test_mail, 8, 1, Qt::AlignRight);
  head->addWidget(GroupBox_email, 1);
  top->addLayout(head);

  auto* GroupBox_alertes = named(new QGroupBox("Alertes programmées:"), "GroupBox_alertes");
  auto* rules = new QGridLayout(GroupBox_alertes);
  rules->addWidget(StringGrid_alertes_, 0, 0, 1, 6);
  rules->addWidget(label("Label_compteur", "Compteur"), 1, 0);
  rules->addWidget(label("Label_indicateur", "Indicateur vireluz à surveiller"), 1, 1);
  rules->addWidget(label("Label_signe", "signe"), 1, 2);
  rules->addWidget(label("Label_valeur", "Valeur"), 1, 3);
  rules->addWidget(label("Label_reactivation_mode", "Réactivation"), 1, 4);
  rules->addWidget(ComboBox_compteur, 2, 0);
  rules->addWidget(ComboBox_indicateur, 2, 1);
  rules->addWidget(ComboBox_signe, 2, 2);
  rules->addWidget(Edit_valeur, 2, 3);  // the value list takes the same place
  rules->addWidget(ComboBox_valeur, 2, 3);
  rules->addWidget(ComboBox_reactivation, 2, 4);
  rules->addWidget(CheckBox_activer, 2, 5);
  rules->addWidget(CheckBox_plage_horaire, 3, 0);
  rules->addWidget(label("Label_debut", "Début"), 3, 1, Qt::AlignRight);
  rules->addWidget(TimeEdit_debut, 3, 2);
  rules->addWidget(label("Label_fin", "Fin"), 3, 3, Qt::AlignRight);
  rules->addWidget(TimeEdit_fin, 3, 4);
  rules->addWidget(label("Label_message", "Message"), 4, 0);
  rules->addWidget(Edit_message, 4, 1, 1, 5);
  auto* rule_buttons = new QHBoxLayout;
  rule_buttons->addWidget(Button_valider);
  rule_buttons->addWidget(Button_nouvelle);
  rule_buttons->addWidget(Button_supprimer);
  rule_buttons->addStretch(1);
  rules->addLayout(rule_buttons, 5, 0, 1, 6);
  top->addWidget(GroupBox_alertes, 1);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(label("Label_reactivation", "Réactivation de l'Alerte au bout de x minutes:"));
  bottom->addWidget(Edit_reactivation);
  bottom->addStretch(1);
  bottom->addWidget(Button_retour);
  bottom->addWidget(Button_sauvegarder);
  top->addLayout(bottom);

  connect(ComboBox_indicateur, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (!pushing_) run([this, i] { model_.set_quantity(i); });
  });
  connect(ComboBox_reactivation, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (!pushing_) run([this, i] { model_.set_rearm_mode(i); });
  });
  // The protection is stored once the user picks it; until then the list
  // shows the default, which follows the password.
  connect(ComboBox_tls, &QComboBox::activated, this, [this](int i) {
    if (!pushing_) model_.mail.tls = i;
  });
  connect(Edit_password, &QLineEdit::textChanged, this, [this, ComboBox_tls](const QString& text) {
    if (pushing_) return;
    model_.mail.password = cp(text);
    ComboBox_tls->setCurrentIndex(model_.mail.tls_shown());
  });
  connect(Edit_reactivation, &QLineEdit::editingFinished, this,
          [this] { run([this] { model_.reactivation_left(); }); });

  Timer_grille_ = new QTimer(this);
  Timer_grille_->setObjectName("Timer_grille");
  Timer_grille_->setInterval(1000);
  connect(Timer_grille_, &QTimer::timeout, this, &TForm_alertes_mail::refresh_grid);

  push();
}

void TForm_alertes_mail::showEvent(QShowEvent* event) {
  SettingsWindow::showEvent(event);
  Timer_grille_->start();
}

void TForm_alertes_mail::hideEvent(QHideEvent* event) {
  Timer_grille_->stop();
  SettingsWindow::hideEvent(event);
}

void TForm_alertes_mail::refresh_grid() {
  const bool was = std::exchange(pushing_, true);
  fill_grid(StringGrid_alertes_, model_.row_count(), AlertRule::kColumns,
            [this](int r, int c) { return model_.table()[static_cast<std::size_t>(r)][c]; });
  if (StringGrid_alertes_->currentRow() != model_.selected_row)
    StringGrid_alertes_->setCurrentCell(model_.selected_row, 0);
  pushing_ = was;
}

}  // namespace vireluz
