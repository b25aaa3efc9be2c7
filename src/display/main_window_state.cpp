#include "display/main_window_state.h"

namespace vireluz {

std::string_view colour_name(Colour c) {
  switch (c) {
    case Colour::Default:
      return "";
    case Colour::Black:
      return "black";
    case Colour::Yellow:
      return "yellow";
    case Colour::Gray:
      return "gray";
    case Colour::Red:
      return "red";
    case Colour::Blue:
      return "blue";
    case Colour::Lime:
      return "lime";
    case Colour::White:
      return "white";
    case Colour::Green:
      return "green";
  }
  return "";
}

MainWindowState design_main_window() {
  MainWindowState s;
  auto caption = [&s](FieldId id, const Text& text, bool enabled = true, bool visible = true) {
    Field& f = s[id];
    f.text = text;
    f.enabled = enabled;
    f.visible = visible;
  };
  auto colours = [&s](FieldId id, Colour background, Colour font, bool bold) {
    Field& f = s[id];
    f.background = background;
    f.font = font;
    f.bold = bold;
  };

  const Text group_captions[2] = {"Compteur 1 :", w("Compteur 2 : Production électricité solaire")};
  const Text tempo[6] = {"Heures creuses jours bleus",  "Heures pleines jours bleus",
                         "Heures creuses jours blancs", "Heures pleines jours blancs",
                         "Heures creuses jours rouges", "Heures pleines jours rouges"};
  const Text i_inst[3] = {w("I instantanée"), "phase 2", "phase 3"};
  const Text imax[3] = {"I Max", "I Max 2", "I Max 3"};
  const Colour phase_bg[3] = {Colour::Red, Colour::Blue, Colour::Lime};
  const Colour phase_font[3] = {Colour::Black, Colour::White, Colour::Black};

  for (std::size_t m = 0; m < 2; ++m) {
    const MeterComponents& c = kMeter[m];
    caption(c.group_box, group_captions[m]);
    caption(c.label_adco, "ADCO");
    caption(c.label_isousc, w("Intensité souscrite"));
    caption(c.label_optarif, "Type d'abonnement");
    caption(c.label_ptec, w("Période tarifaire en cours"));
    for (std::size_t i = 0; i < 6; ++i) caption(c.label_index[i], tempo[i]);
    for (std::size_t i = 0; i < 3; ++i) {
      caption(c.label_i_inst[i], i_inst[i]);
      caption(c.label_imax[i], imax[i]);
      colours(c.i_inst[i], phase_bg[i], phase_font[i], true);
      colours(c.imax[i], Colour::Black, Colour::Yellow, true);
    }
    caption(c.label_pa, "Puissance apparente");
    caption(c.label_pilote, "Etat sortie pilote", false);
    caption(c.label_couleur, "Couleur du lendemain", false);
    caption(c.label_injection, w("Injection réseau"));
    caption(c.label_jaune, w("Compteur « Jaune » (CJE)"), true, false);
    caption(c.label_saison, "Saison en cours", true, false);
    s[c.saison].visible = false;
    for (const FieldId id : {c.adco, c.isousc, c.optarif, c.ptec, c.papp, c.injection, c.saison})
      colours(id, Colour::Black, Colour::Yellow, false);
    for (const FieldId id : c.index) colours(id, Colour::Black, Colour::Yellow, false);
    s[c.led_pilote] = Led{false, Colour::Lime, Colour::Gray, true};
    s[c.led_couleur] = Led{false, Colour::Red, Colour::Gray, true};
  }

  caption(FieldId::Button_lecture, "Lecture");
  caption(FieldId::Button_scan, "Scan Interface");
  caption(FieldId::Label_trame_recue, w("Trame reçue"));
  caption(FieldId::Button1, w("Réduire"));
  caption(FieldId::Button_graphes, "Afficher graphiques");
  caption(FieldId::Panel_demauto, "", true, false);
  s[FieldId::Panel_demauto].background = Colour::Red;
  caption(FieldId::Label_demauto1, w("Démarrage "));
  caption(FieldId::Label_demauto2, "Automatique");
  caption(FieldId::Label_demauto3, "Patienter");

  s[LedId::rmLed_Led_verte] = Led{false, Colour::Lime, Colour::Gray, true};
  s[LedId::rmLed_Led_jaune] = Led{false, Colour::Yellow, Colour::Gray, true};
  s[LedId::rmLed_Led_bleu] = Led{false, Colour::Blue, Colour::Gray, true};
  return s;
}

}  // namespace vireluz
