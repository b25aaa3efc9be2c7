#include "app/alert_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QTime>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QValidator>
#include <exception>

#include "app/qt_support.h"

namespace vireluz {

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

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

void set_items(QComboBox* box, const std::vector<Text>& items) {
  for (const Text& t : items) box->addItem(qs(t));
}

}  // namespace

TForm_alertes_mail::TForm_alertes_mail(Settings& settings, UserMessages& messages, AlertEngine& engine,
                                       QWidget* parent)
    : QDialog(parent), model_(settings, messages, engine), messages_(messages) {
  setObjectName("TForm_alertes_mail");
  setWindowTitle(qs(AlertWindowModel::kCaption));
  auto named = [](auto* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
  };
  auto label = [&](const char* name, const QString& text) { return named(new QLabel(text), name); };
  auto button = [&](const char* name, const char* text) { return named(new QPushButton(u(text)), name); };
  auto edit = [&](const char* name) { return named(new QLineEdit, name); };
  auto combo = [&](const char* name, const std::vector<Text>& items) {
    auto* box = named(new QComboBox, name);
    set_items(box, items);
    return box;
  };
  auto time_edit = [&](const char* name) {
    auto* t = named(new QTimeEdit, name);
    t->setDisplayFormat("HH:mm:ss");
    return t;
  };

  // The grid: no title row, the index columns hidden.
  StringGrid_alertes_ = named(new QTableWidget, "StringGrid_alertes");
  StringGrid_alertes_->setColumnCount(AlertRule::kColumns);
  for (int c = 0; c < AlertRule::kColumns; ++c)
    StringGrid_alertes_->setColumnHidden(c, !AlertWindowModel::column_visible(c));
  StringGrid_alertes_->horizontalHeader()->hide();
  StringGrid_alertes_->verticalHeader()->hide();
  StringGrid_alertes_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  StringGrid_alertes_->setSelectionBehavior(QAbstractItemView::SelectRows);
  StringGrid_alertes_->setSelectionMode(QAbstractItemView::SingleSelection);
  StringGrid_alertes_->horizontalHeader()->setStretchLastSection(true);

  // Rule-editing fields.
  ComboBox_compteur_ = combo("ComboBox_compteur", AlertWindowModel::meters());
  ComboBox_indicateur_ = combo("ComboBox_indicateur", AlertWindowModel::quantities());
  ComboBox_signe_ = combo("ComboBox_signe", AlertWindowModel::signs());
  Edit_valeur_ = edit("Edit_valeur");
  Edit_valeur_->setValidator(new KeyFilter(Edit_valeur_));
  ComboBox_valeur_ = combo("ComboBox_valeur", {});
  ComboBox_reactivation_ = combo("ComboBox_reactivation", AlertWindowModel::rearm_modes());
  CheckBox_activer_ = named(new QCheckBox("Activer"), "CheckBox_activer");
  CheckBox_plage_horaire_ = named(new QCheckBox("Suivant plage horaire"), "CheckBox_plage_horaire");
  TimeEdit_debut_ = time_edit("TimeEdit_debut");
  TimeEdit_fin_ = time_edit("TimeEdit_fin");
  Edit_message_ = edit("Edit_message");
  auto* Button_valider = button("Button_valider", "Valider Alerte");
  auto* Button_nouvelle = button("Button_nouvelle", "Nouvelle Alerte");
  auto* Button_supprimer = button("Button_supprimer", "Supprimer");

  // Settings fields.
  CheckBox_actif_ = named(new QCheckBox("Activer les alertes par Mail"), "CheckBox_actif");
  Edit_entete_ = edit("Edit_entete");
  Edit_emetteur_ = edit("Edit_emetteur");
  Edit_destinataire_ = edit("Edit_destinataire");
  Edit_smtp_ = edit("Edit_smtp");
  Edit_port_ = edit("Edit_port");
  Edit_password_ = edit("Edit_password");
  Edit_password_->setEchoMode(QLineEdit::Password);
  std::vector<Text> tls_items(AlertWindowModel::kTlsChoices.begin(), AlertWindowModel::kTlsChoices.end());
  ComboBox_tls_ = combo("ComboBox_tls", tls_items);
  Edit_ca_ = edit("Edit_ca");
  Edit_ca_->setPlaceholderText(u("certificats du système"));
  auto* Button_test_mail = button("Button_test_mail", "Test Mail");
  CheckBox_redemarrage_pc_ = named(new QCheckBox(u("Après redémarrage automatique suite à un arrêt du PC")),
                                   "CheckBox_redemarrage_pc");
  Edit_reactivation_ = edit("Edit_reactivation");
  Edit_reactivation_->setValidator(new KeyFilter(Edit_reactivation_));
  auto* Button_sauvegarder = button("Button_sauvegarder", "Sauvegarder");
  auto* Button_retour = button("Button_retour", "Retour Vireluz");

  // Layout: settings, warning, grid and rule fields, bottom row.
  auto* top = new QVBoxLayout(this);
  auto* head = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  left->addWidget(CheckBox_actif_);
  left->addWidget(label("Label_entete", u("Entête des Mails d'alerte")));
  left->addWidget(Edit_entete_);
  left->addWidget(CheckBox_redemarrage_pc_);
  auto* warning = label("Label_attention",
                        qs(AlertWindowModel::kWarningLines[0] + "\n" + AlertWindowModel::kWarningLines[1] +
                           "\n" + AlertWindowModel::kWarningLines[2]));
  warning->setStyleSheet("color: red;");
  left->addWidget(warning);
  left->addStretch(1);
  head->addLayout(left, 1);
  auto* GroupBox_email = named(new QGroupBox("Configuration Email"), "GroupBox_email");
  auto* mail = new QGridLayout(GroupBox_email);
  mail->addWidget(label("Label_emetteur", u("Adresse de l'émetteur du Mail")), 0, 0);
  mail->addWidget(Edit_emetteur_, 0, 1);
  mail->addWidget(label("Label_destinataire", "Adresse du destinataire"), 1, 0);
  mail->addWidget(Edit_destinataire_, 1, 1);
  mail->addWidget(label("Label_smtp", "Serveur sortant (SMTP)"), 2, 0);
  mail->addWidget(Edit_smtp_, 2, 1);
  mail->addWidget(label("Label_port", "Port SMTP"), 3, 0);
  mail->addWidget(Edit_port_, 3, 1);
  mail->addWidget(label("Label_password", "Mot de passe"), 4, 0);
  mail->addWidget(Edit_password_, 4, 1);
  mail->addWidget(label("Label_tls", "Chiffrement"), 5, 0);
  mail->addWidget(ComboBox_tls_, 5, 1);
  auto* tls_note = label("Label_tls_note", qs(AlertWindowModel::kTlsNote));
  tls_note->setWordWrap(true);
  mail->addWidget(tls_note, 6, 0, 1, 2);
  mail->addWidget(label("Label_ca", u("Autorité (CA)")), 7, 0);
  mail->addWidget(Edit_ca_, 7, 1);
  mail->addWidget(Button_test_mail, 8, 1, Qt::AlignRight);
  head->addWidget(GroupBox_email, 1);
  top->addLayout(head);

  auto* GroupBox_alertes = named(new QGroupBox(u("Alertes programmées:")), "GroupBox_alertes");
  auto* rules = new QGridLayout(GroupBox_alertes);
  rules->addWidget(StringGrid_alertes_, 0, 0, 1, 6);
  rules->addWidget(label("Label_compteur", "Compteur"), 1, 0);
  rules->addWidget(label("Label_indicateur", u("Indicateur vireluz à surveiller")), 1, 1);
  rules->addWidget(label("Label_signe", "signe"), 1, 2);
  rules->addWidget(label("Label_valeur", "Valeur"), 1, 3);
  rules->addWidget(label("Label_reactivation_mode", u("Réactivation")), 1, 4);
  rules->addWidget(ComboBox_compteur_, 2, 0);
  rules->addWidget(ComboBox_indicateur_, 2, 1);
  rules->addWidget(ComboBox_signe_, 2, 2);
  rules->addWidget(Edit_valeur_, 2, 3);  // the value list takes the same place
  rules->addWidget(ComboBox_valeur_, 2, 3);
  rules->addWidget(ComboBox_reactivation_, 2, 4);
  rules->addWidget(CheckBox_activer_, 2, 5);
  rules->addWidget(CheckBox_plage_horaire_, 3, 0);
  rules->addWidget(label("Label_debut", u("Début")), 3, 1, Qt::AlignRight);
  rules->addWidget(TimeEdit_debut_, 3, 2);
  rules->addWidget(label("Label_fin", "Fin"), 3, 3, Qt::AlignRight);
  rules->addWidget(TimeEdit_fin_, 3, 4);
  rules->addWidget(label("Label_message", "Message"), 4, 0);
  rules->addWidget(Edit_message_, 4, 1, 1, 5);
  auto* rule_buttons = new QHBoxLayout;
  rule_buttons->addWidget(Button_valider);
  rule_buttons->addWidget(Button_nouvelle);
  rule_buttons->addWidget(Button_supprimer);
  rule_buttons->addStretch(1);
  rules->addLayout(rule_buttons, 5, 0, 1, 6);
  top->addWidget(GroupBox_alertes, 1);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(label("Label_reactivation", u("Réactivation de l'Alerte au bout de x minutes:")));
  bottom->addWidget(Edit_reactivation_);
  bottom->addStretch(1);
  bottom->addWidget(Button_retour);
  bottom->addWidget(Button_sauvegarder);
  top->addLayout(bottom);

  auto action = [this](QPushButton* b, std::function<void()> op) {
    connect(b, &QPushButton::clicked, this, [this, op] { run(op); });
  };
  action(Button_valider, [this] { model_.valider_alerte(); });
  action(Button_nouvelle, [this] { model_.nouvelle_alerte(); });
  action(Button_supprimer, [this] { model_.supprimer(); });
  action(Button_sauvegarder, [this] { model_.sauvegarder(); });
  action(Button_test_mail, [this] { model_.test_mail(); });
  connect(Button_retour, &QPushButton::clicked, this, &QDialog::reject);

  connect(ComboBox_indicateur_, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (!pushing_) run([this, i] { model_.set_quantity(i); });
  });
  connect(ComboBox_reactivation_, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (!pushing_) run([this, i] { model_.set_rearm_mode(i); });
  });
  // The protection is stored once the user picks it; until then the list
  // shows the default, which follows the password.
  connect(ComboBox_tls_, &QComboBox::activated, this, [this](int i) {
    if (!pushing_) model_.mail.tls = i;
  });
  connect(Edit_password_, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (pushing_) return;
    model_.mail.password = cp(text);
    ComboBox_tls_->setCurrentIndex(model_.mail.tls_shown());
  });
  connect(Edit_reactivation_, &QLineEdit::editingFinished, this,
          [this] { run([this] { model_.reactivation_left(); }); });
  connect(StringGrid_alertes_, &QTableWidget::currentCellChanged, this, [this](int r, int, int, int) {
    if (!pushing_ && r >= 0) run([this, r] { model_.select_row(r); });
  });
  connect(StringGrid_alertes_, &QTableWidget::cellClicked, this,
          [this](int r, int) { run([this, r] { model_.select_row(r); }); });

  Timer_grille_ = new QTimer(this);
  Timer_grille_->setObjectName("Timer_grille");
  Timer_grille_->setInterval(1000);
  connect(Timer_grille_, &QTimer::timeout, this, &TForm_alertes_mail::refresh_grid);

  push();
}

void TForm_alertes_mail::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) run([this] { model_.show_window(); });
  Timer_grille_->start();
  QDialog::showEvent(event);
}

void TForm_alertes_mail::hideEvent(QHideEvent* event) {
  Timer_grille_->stop();
  QDialog::hideEvent(event);
}

void TForm_alertes_mail::run(const std::function<void()>& operation) {
  report_errors(messages_, [&] {
    pull();
    operation();
  });
  push();
}

void TForm_alertes_mail::pull() {
  AlertWindowModel::RuleFields& r = model_.rule;
  r.meter = ComboBox_compteur_->currentIndex();
  r.quantity = ComboBox_indicateur_->currentIndex();
  r.sign = ComboBox_signe_->currentIndex();
  r.value_text = cp(Edit_valeur_->text());
  r.value_item = ComboBox_valeur_->currentIndex();
  r.rearm_mode = ComboBox_reactivation_->currentIndex();
  r.activer = CheckBox_activer_->isChecked();
  r.plage_horaire = CheckBox_plage_horaire_->isChecked();
  r.debut = cp(TimeEdit_debut_->time().toString("HH:mm:ss"));
  r.fin = cp(TimeEdit_fin_->time().toString("HH:mm:ss"));
  r.message = cp(Edit_message_->text());

  AlertWindowModel::MailFields& m = model_.mail;
  m.actif = CheckBox_actif_->isChecked();
  m.emetteur = cp(Edit_emetteur_->text());
  m.destinataire = cp(Edit_destinataire_->text());
  m.smtp = cp(Edit_smtp_->text());
  m.port = cp(Edit_port_->text());
  m.entete = cp(Edit_entete_->text());
  m.password = cp(Edit_password_->text());
  m.ca = cp(Edit_ca_->text());
  m.redemarrage_pc = CheckBox_redemarrage_pc_->isChecked();
  m.reactivation = cp(Edit_reactivation_->text());
}

void TForm_alertes_mail::push() {
  pushing_ = true;
  const AlertWindowModel::RuleFields& r = model_.rule;
  ComboBox_compteur_->setCurrentIndex(r.meter);
  ComboBox_indicateur_->setCurrentIndex(r.quantity);
  ComboBox_signe_->setCurrentIndex(r.sign);
  ComboBox_signe_->setEnabled(r.sign_enabled);
  Edit_valeur_->setText(qs(r.value_text));
  Edit_valeur_->setVisible(r.value_text_visible);
  bool same_items = ComboBox_valeur_->count() == static_cast<int>(r.value_items.size());
  for (int i = 0; same_items && i < ComboBox_valeur_->count(); ++i)
    same_items = ComboBox_valeur_->itemText(i) == qs(r.value_items[static_cast<std::size_t>(i)]);
  if (!same_items) {
    ComboBox_valeur_->clear();
    set_items(ComboBox_valeur_, r.value_items);
  }
  ComboBox_valeur_->setCurrentIndex(r.value_item);
  ComboBox_valeur_->setVisible(r.value_list_visible);
  ComboBox_reactivation_->setCurrentIndex(r.rearm_mode);
  CheckBox_activer_->setChecked(r.activer);
  CheckBox_activer_->setEnabled(r.activer_enabled);
  CheckBox_plage_horaire_->setChecked(r.plage_horaire);
  TimeEdit_debut_->setTime(time_of(r.debut));
  TimeEdit_fin_->setTime(time_of(r.fin));
  Edit_message_->setText(qs(r.message));

  const AlertWindowModel::MailFields& m = model_.mail;
  CheckBox_actif_->setChecked(m.actif);
  Edit_emetteur_->setText(qs(m.emetteur));
  Edit_destinataire_->setText(qs(m.destinataire));
  Edit_smtp_->setText(qs(m.smtp));
  Edit_port_->setText(qs(m.port));
  Edit_entete_->setText(qs(m.entete));
  Edit_password_->setText(qs(m.password));
  ComboBox_tls_->setCurrentIndex(m.tls_shown());
  Edit_ca_->setText(qs(m.ca));
  CheckBox_redemarrage_pc_->setChecked(m.redemarrage_pc);
  Edit_reactivation_->setText(qs(m.reactivation));
  refresh_grid();
  pushing_ = false;
}

void TForm_alertes_mail::refresh_grid() {
  const bool was = pushing_;
  pushing_ = true;
  const auto& table = model_.table();
  StringGrid_alertes_->setRowCount(model_.row_count());
  for (int r = 0; r < model_.row_count(); ++r) {
    for (int c = 0; c < AlertRule::kColumns; ++c) {
      const QString text = qs(table[static_cast<std::size_t>(r)][c]);
      QTableWidgetItem* item = StringGrid_alertes_->item(r, c);
      if (!item) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        StringGrid_alertes_->setItem(r, c, item);
      }
      if (item->text() != text) item->setText(text);
    }
  }
  if (StringGrid_alertes_->currentRow() != model_.selected_row)
    StringGrid_alertes_->setCurrentCell(model_.selected_row, 0);
  pushing_ = was;
}

}  // namespace vireluz
