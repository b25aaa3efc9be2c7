#include "app/small_windows.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/qt_support.h"

namespace vireluz {

TForm_a_propos::TForm_a_propos(QWidget* parent) : QDialog(parent) {
  setObjectName("TForm_a_propos");
  setWindowTitle("A propos");
  setWindowIcon(program_icon());
  setPalette(QApplication::palette());  // the system's button-face colour
  auto* l = new QVBoxLayout(this);
  auto centred = [&](const QString& text, const char* name, int grow = 0, bool bold = false) {
    auto* lab = new QLabel(text);
    lab->setObjectName(name);
    lab->setAlignment(Qt::AlignCenter);
    QFont f = lab->font();
    f.setPointSize(f.pointSize() + grow);
    f.setBold(bold);
    lab->setFont(f);
    l->addWidget(lab);
    return lab;
  };
  centred("VIRELUZ 2 compteurs", "Label_titre", 6, true);
  centred("Version 1.43J", "Label_version", 2);
  auto* logo = new QLabel;
  logo->setObjectName("Image_logo");
  logo->setPixmap(program_icon().pixmap(64, 64));
  logo->setAlignment(Qt::AlignCenter);
  l->addWidget(logo);
  centred(QString::fromUtf8("Suivi des compteurs électriques par la télé-information client"),
          "Label_auteur");
  centred("interface  USB 2 compteurs", "Label_interface1");
  centred("interface  XBEE 2 compteurs", "Label_interface2");
  centred("interface  USB 1 compteur", "Label_interface3");
  auto* b = new QPushButton("Retour VIRELUZ");
  b->setObjectName("Button_retour");
  connect(b, &QPushButton::clicked, this, &QDialog::accept);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(b);
  row->addStretch(1);
  l->addLayout(row);
}

TForm_pas_vireluz::TForm_pas_vireluz(QWidget* parent) : QDialog(parent) {
  setObjectName("TForm_pas_vireluz");
  setWindowTitle(QString::fromUtf8("Vireluz compteur non activée !"));
  setModal(false);
  auto* l = new QVBoxLayout(this);
  label_ = new QLabel;
  label_->setObjectName("Label_pas_tele");
  label_->setAlignment(Qt::AlignCenter);
  label_->setWordWrap(true);
  l->addWidget(label_);
  auto* b = new QPushButton("OK");
  b->setObjectName("Button_ok");
  connect(b, &QPushButton::clicked, this, &QDialog::close);
  l->addWidget(b, 0, Qt::AlignCenter);
  setFixedSize(420, 140);
}

void TForm_pas_vireluz::show_label(const Text& text) {
  label_->setText(qs(text));
  show();
  raise();
}

void QtUserMessages::show_message(const UserMessage& m) {
  if (intercept) {
    intercept(m);
    return;
  }
  boxes_.show(m);
}

void QtUserMessages::show_no_tic(const Text& label) {
  if (no_tic_) no_tic_->show_label(label);
}

}  // namespace vireluz
