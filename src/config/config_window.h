#pragma once
// The configuration window (TForm_cfg) without its toolkit: the state of its
// controls, loading them from Settings, the selection handlers, saving and
// leaving. The Qt window mirrors `controls` and forwards the user's actions.
#include <array>
#include <functional>
#include <string>

#include "common/text.h"
#include "common/user_messages.h"
#include "config/autostart.h"
#include "config/settings.h"

namespace vireluz {

struct ConfigControls {
  // Item indexes of the six lists (-1: nothing selected).
  int ComboBox_delais = -1;
  int ComboBox_mode_interface = -1;
  int ComboBox_type_abo = -1;
  int ComboBox_type_abo_cpt2 = -1;
  int ComboBox_mode1 = -1;
  int ComboBox_mode2 = -1;
  Text Edit_nom_cpt1, Edit_nom_cpt2;
  Text DirectoryListBox1;  // the record folder (the data folder while REPERTOIR_ENR is empty)

  bool Radio_enregistrement = false, Radio_enregistrementdate = false;
  bool new_format_date = false, new_format_date_enabled = false;
  bool production_csv = false;
  bool RadioPROD1 = false, RadioPROD2 = true;
  bool RadioButton_entete = true, RadioButton_sansentete = false;
  bool RadioButton_demAUTO = false, RadioButton_sansdemauto = false;
  bool CheckBox_PTEC = false;
  bool RadioButton_Isous = false, RadioButton_Imax = false;
  bool GroupBox_echellegraphe_enabled = true;  // the group and both its buttons
  bool RadioButton_intensite = false, RadioButton_PA = false;

  // Locked with the one-meter interface.
  bool ComboBox_mode_interface_enabled = true;
  bool ComboBox_type_abo_cpt2_enabled = true;
  bool Edit_nom_cpt2_enabled = true;
};

class ConfigWindow {
 public:
  struct Hooks {
    // Writes [CONFIG_PRG] (default: write_config_prg).
    std::function<void(const Settings&)> write_config;
    // Set_Interface_Pins(7, 0, InterfaceDescription): both meters deselected.
    std::function<void()> release_pins;
    // The autostart entry (defaults: write_autostart_entry(program_path),
    // remove_autostart_entry()).
    std::function<bool()> write_autostart;
    std::function<AutostartRemoval()> remove_autostart;
  };

  static constexpr const char* kCaption = "Configuration Interface VIRELUZ 2 compteurs";
  static const std::array<Text, 8>& delais_items();
  static const std::array<Text, 2>& mode_interface_items();
  static const std::array<Text, 2>& type_abo_items();
  static const std::array<Text, 2>& mode_tic_items();

  // program_path: the executable written in the autostart entry.
  ConfigWindow(UserMessages& messages, std::string program_path, Hooks hooks = {});
  ConfigWindow(const ConfigWindow&) = delete;
  ConfigWindow& operator=(const ConfigWindow&) = delete;

  ConfigControls controls;
  // The user clicked "SANS redémarrage" during this showing.
  bool SansRedemarrageChoisi = false;
  // Set by Button2Click and Button1Click: the window closes.
  bool close_requested = false;

  void FormShow(const Settings& settings, bool one_tic_interface);

  // Selecting a radio button deselects its partner, then runs its handler.
  void Radio_enregistrementClick();
  void Radio_enregistrementdateClick();
  void RadioButton_PAClick();
  void RadioButton_intensiteClick();
  void RadioButton_sansdemautoClick();
  void RadioButton_demAUTOClick();
  void select_isous(bool imax);        // RadioButton_Isous / RadioButton_Imax
  void select_entete(bool sans);       // RadioButton_entete / RadioButton_sansentete
  void select_prod(int meter);         // RadioPROD1 / RadioPROD2
  void set_date_format(bool checked);  // ignored while the box is disabled

  // "Sauvegarder et Quitter": copies the controls into `settings`, updates the
  // autostart entry, writes the file, releases the pins, closes.
  void Button2Click(Settings& settings);
  // "Quitter sans sauvegarder".
  void Button1Click();

  // The --config-dir of this run, repeated in the autostart entry ("" without).
  std::string autostart_config_dir;

 private:
  UserMessages& messages_;
  std::string program_path_;
  // The data folder shown for an empty REPERTOIR_ENR ("" when it was set): kept
  // empty at saving unless the user chose another folder.
  Text shown_data_folder_;
  Hooks hooks_;
};

}  // namespace vireluz
