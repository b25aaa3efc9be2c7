#include "config/config_window.h"

#include "config/config_files.h"

namespace vireluz {

const std::array<Text, 8>& ConfigWindow::delais_items() {
  static const std::array<Text, 8> items = {"Toutes les minutes",    "Toutes les 5 minutes",
                                            "Toutes les 10 minutes", "Toutes les 15 minutes",
                                            "Toutes les 30 minutes", "Toutes les heures",
                                            "Chaque heure 8h 9h...", "10 sec en mode 1 compteur !"};
  return items;
}
const std::array<Text, 2>& ConfigWindow::mode_interface_items() {
  static const std::array<Text, 2> items = {"1 compteur CPT1", "2 compteurs CPT1+2"};
  return items;
}
const std::array<Text, 2>& ConfigWindow::type_abo_items() {
  static const std::array<Text, 2> items = {w("Monophasé"), w("Triphasé")};
  return items;
}
const std::array<Text, 2>& ConfigWindow::mode_tic_items() {
  static const std::array<Text, 2> items = {"Historique", "Standard"};
  return items;
}

ConfigWindow::ConfigWindow(UserMessages& messages, std::string program_path, Hooks hooks)
    : messages_(messages), program_path_(std::move(program_path)), hooks_(std::move(hooks)) {
  if (!hooks_.write_config) hooks_.write_config = [](const Settings& s) { write_config_prg(s); };
  if (!hooks_.write_autostart)
    hooks_.write_autostart = [this] { return write_autostart_entry(program_path_, autostart_config_dir); };
  if (!hooks_.remove_autostart) hooks_.remove_autostart = [] { return remove_autostart_entry(); };
}

namespace {
// A list shows the stored index when it names one of its items, nothing otherwise.
int list_index(int value, int items) { return value >= 0 && value < items ? value : -1; }
}  // namespace

void ConfigWindow::FormShow(const Settings& settings, bool one_tic_interface) {
  const PrgSettings& p = settings.prg;
  close_requested = false;
  controls.ComboBox_mode_interface = list_index(p.MODE_INTERFACE, 2);
  controls.ComboBox_delais = list_index(p.PERIODE_ENR, 8);
  controls.ComboBox_type_abo = list_index(p.MODE_MONO_TRI, 2);
  controls.ComboBox_type_abo_cpt2 = list_index(p.MODE_MONO_TRI_cpt2, 2);
  controls.ComboBox_mode1 = list_index(p.MODE_TIC_cpt1, 2);
  controls.ComboBox_mode2 = list_index(p.MODE_TIC_cpt2, 2);
  controls.Edit_nom_cpt1 = p.NOM_CPT1;
  controls.Edit_nom_cpt2 = p.NOM_CPT2;
  shown_data_folder_ = p.REPERTOIR_ENR.empty() ? utf8_to_cp1252(settings.ConfigDir) : Text();
  controls.DirectoryListBox1 = p.REPERTOIR_ENR.empty() ? shown_data_folder_ : p.REPERTOIR_ENR;

  // The one-meter interface allows one meter only: the list shows it, locked.
  if (one_tic_interface) controls.ComboBox_mode_interface = 0;
  controls.ComboBox_mode_interface_enabled = !one_tic_interface;
  controls.ComboBox_type_abo_cpt2_enabled = !one_tic_interface;
  controls.Edit_nom_cpt2_enabled = !one_tic_interface;

  if (p.TYPE_NOM_FICHIER == 1)
    Radio_enregistrementdateClick();
  else
    Radio_enregistrementClick();
  select_entete(p.ENTETE_CSV != 0);
  if (p.CPT_PROD == 2 || p.CPT_PROD == 1) select_prod(p.CPT_PROD);
  if (p.REDEMARRAGE_AUTOMATIQUE == 0)
    RadioButton_sansdemautoClick();
  else if (p.REDEMARRAGE_AUTOMATIQUE == 1)
    RadioButton_demAUTOClick();
  SansRedemarrageChoisi = false;
  if (p.GRAPHE_IouPA == 0)
    RadioButton_intensiteClick();
  else if (p.GRAPHE_IouPA == 1)
    RadioButton_PAClick();
  select_isous(p.MODE_ECHELLE_GRAPHE != 0);
  controls.new_format_date = p.FORMAT_DATE == 1;
  controls.production_csv = p.FICHIER_PROD_CSV == 1;
  controls.CheckBox_PTEC = p.PTEC_A_ENREGISTRER != 0;
}

void ConfigWindow::Radio_enregistrementClick() {
  controls.Radio_enregistrement = true;
  controls.Radio_enregistrementdate = false;
  controls.new_format_date_enabled = false;
  controls.new_format_date = false;
}

void ConfigWindow::Radio_enregistrementdateClick() {
  controls.Radio_enregistrement = false;
  controls.Radio_enregistrementdate = true;
  controls.new_format_date_enabled = true;
}

void ConfigWindow::RadioButton_PAClick() {
  controls.RadioButton_intensite = false;
  controls.RadioButton_PA = true;
  controls.GroupBox_echellegraphe_enabled = false;
}

void ConfigWindow::RadioButton_intensiteClick() {
  controls.RadioButton_intensite = true;
  controls.RadioButton_PA = false;
  controls.GroupBox_echellegraphe_enabled = true;
}

void ConfigWindow::RadioButton_sansdemautoClick() {
  controls.RadioButton_demAUTO = false;
  controls.RadioButton_sansdemauto = true;
  SansRedemarrageChoisi = true;
}

void ConfigWindow::RadioButton_demAUTOClick() {
  controls.RadioButton_demAUTO = true;
  controls.RadioButton_sansdemauto = false;
}

void ConfigWindow::select_isous(bool imax) {
  controls.RadioButton_Isous = !imax;
  controls.RadioButton_Imax = imax;
}

void ConfigWindow::select_entete(bool sans) {
  controls.RadioButton_entete = !sans;
  controls.RadioButton_sansentete = sans;
}

void ConfigWindow::select_prod(int meter) {
  controls.RadioPROD1 = meter == 1;
  controls.RadioPROD2 = meter == 2;
}

void ConfigWindow::set_date_format(bool checked) {
  if (controls.new_format_date_enabled) controls.new_format_date = checked;
}

void ConfigWindow::Button2Click(Settings& settings) {
  PrgSettings& p = settings.prg;
  const ConfigControls& c = controls;
  p.PERIODE_ENR = c.ComboBox_delais;
  p.MODE_INTERFACE = c.ComboBox_mode_interface;
  p.MODE_MONO_TRI = c.ComboBox_type_abo;
  p.MODE_MONO_TRI_cpt2 = c.ComboBox_type_abo_cpt2;
  p.MODE_TIC_cpt1 = c.ComboBox_mode1;
  p.MODE_TIC_cpt2 = c.ComboBox_mode2;
  p.NOM_CPT1 = c.Edit_nom_cpt1;
  p.NOM_CPT2 = c.Edit_nom_cpt2;
  p.REPERTOIR_ENR =
      !shown_data_folder_.empty() && c.DirectoryListBox1 == shown_data_folder_ ? Text() : c.DirectoryListBox1;
  if (c.Radio_enregistrement) p.TYPE_NOM_FICHIER = 0;
  if (c.Radio_enregistrementdate) p.TYPE_NOM_FICHIER = 1;
  p.FORMAT_DATE = c.new_format_date ? 1 : 0;
  p.FICHIER_PROD_CSV = c.production_csv ? 1 : 0;
  if (c.RadioPROD1) p.CPT_PROD = 1;
  if (c.RadioPROD2) p.CPT_PROD = 2;
  if (c.RadioButton_entete) p.ENTETE_CSV = 0;
  if (c.RadioButton_sansentete) p.ENTETE_CSV = 1;
  if (c.RadioButton_demAUTO) p.REDEMARRAGE_AUTOMATIQUE = 1;
  if (c.RadioButton_sansdemauto) p.REDEMARRAGE_AUTOMATIQUE = 0;
  p.PTEC_A_ENREGISTRER = c.CheckBox_PTEC ? 1 : 0;
  if (c.RadioButton_Isous) p.MODE_ECHELLE_GRAPHE = 0;
  if (c.RadioButton_Imax) p.MODE_ECHELLE_GRAPHE = 1;
  if (c.RadioButton_intensite) p.GRAPHE_IouPA = 0;
  if (c.RadioButton_PA) p.GRAPHE_IouPA = 1;

  if (c.RadioButton_demAUTO) {
    hooks_.write_autostart();  // an entry that cannot be written is not reported
  } else if (c.RadioButton_sansdemauto && SansRedemarrageChoisi) {
    switch (hooks_.remove_autostart()) {
      case AutostartRemoval::NoFolder:
        break;
      case AutostartRemoval::Removed:
        messages_.show_message({MessageIcon::None, kAppTitle, w("suppression réussie")});
        break;
      case AutostartRemoval::Failed:
        messages_.show_message({MessageIcon::None, kAppTitle, w("Erreur à la suppression")});
        break;
    }
  }
  // The pins are released and the window closes even when the file cannot be
  // written; the error then reaches the general error display.
  try {
    hooks_.write_config(settings);
  } catch (...) {
    Button1Click();
    throw;
  }
  Button1Click();
}

void ConfigWindow::Button1Click() {
  if (hooks_.release_pins) hooks_.release_pins();
  close_requested = true;
}

}  // namespace vireluz
