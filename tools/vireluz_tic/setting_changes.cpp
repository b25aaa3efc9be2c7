#include "setting_changes.h"

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "alerts/alert_engine.h"
#include "alerts/alert_window_model.h"
#include "common/sim_scheduler.h"
#include "config/config_files.h"
#include "config/config_window.h"
#include "mqtt/mqtt_window_model.h"
#include "upload/bdpv_window_model.h"
#include "upload/cosm_window_model.h"
#include "web/web_window_model.h"

namespace vireluz::tic {

namespace {

// Types a value into one field of a window; an error text when the field
// could not hold it (a list without that item, a box that is not 0 or 1).
using Setter = std::function<std::optional<Text>(const Text& value)>;

struct Field {
  const char* key;  // as in the key table
  Setter set;
};

// A window shown with the current settings: its fields, and its save button
// (true when it wrote the file; false after its message).
struct Window {
  std::vector<Field> fields;
  std::function<bool()> save;
};

Setter text(Text& field) {
  return [&field](const Text& v) {
    field = v;
    return std::optional<Text>();
  };
}

// A list: the value is the item's index, counted from `first`.
Setter choice(std::vector<Text> items, int first, std::function<void(int)> select) {
  return [items = std::move(items), first, select = std::move(select)](const Text& v) -> std::optional<Text> {
    const auto i = parse_int(trim(v));
    if (i && *i >= first && *i - first < static_cast<int>(items.size())) {
      select(*i);
      return std::nullopt;
    }
    Text list;
    for (std::size_t k = 0; k < items.size(); ++k)
      list += (k ? ", " : "") + std::to_string(first + static_cast<int>(k)) + " (" + items[k] + ")";
    return w("choisissez ") + list;
  };
}

template <class Items>
Setter choice(const Items& items, int& field) {
  return choice(std::vector<Text>(items.begin(), items.end()), 0, [&field](int i) { field = i; });
}

// Two exclusive choices, or a check box: 0 or 1 (1 or 2 from `first` 1).
Setter pick(int first, std::function<void(int)> select) {
  return [first, select = std::move(select)](const Text& v) -> std::optional<Text> {
    const auto i = parse_int(trim(v));
    if (i && (*i == first || *i == first + 1)) {
      select(*i);
      return std::nullopt;
    }
    return std::to_string(first) + w(" ou ") + std::to_string(first + 1) + w(" attendu");
  };
}

Setter flag(bool& field) {
  return pick(0, [&field](int i) { field = i == 1; });
}

bool is_folder(const Text& path) {
  struct stat st {};
  return ::stat(cp1252_to_utf8(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Window config_window(Settings& s, UserMessages& m) {
  // The automatic start is an entry of a desktop session, which the window
  // writes for the user who clicks; from the command line only the choice
  // is stored.
  ConfigWindow::Hooks hooks;
  hooks.write_config = [](const Settings& x) { write_config_prg(x); };
  hooks.write_autostart = [] { return true; };
  hooks.remove_autostart = [] { return AutostartRemoval::NoFolder; };
  auto win = std::make_shared<ConfigWindow>(m, "", hooks);
  win->FormShow(s, false);
  ConfigWindow& f = *win;
  ConfigControls& c = f.controls;
  return {
      {
          {"PERIODE_ENR", choice(ConfigWindow::delais_items(), c.ComboBox_delais)},
          {"MODE_INTERFACE", choice(ConfigWindow::mode_interface_items(), c.ComboBox_mode_interface)},
          {"MODE_MONO_TRI", choice(ConfigWindow::type_abo_items(), c.ComboBox_type_abo)},
          {"MODE_MONO_TRI_cpt2", choice(ConfigWindow::type_abo_items(), c.ComboBox_type_abo_cpt2)},
          {"MODE_TIC_cpt1", choice(ConfigWindow::mode_tic_items(), c.ComboBox_mode1)},
          {"MODE_TIC_cpt2", choice(ConfigWindow::mode_tic_items(), c.ComboBox_mode2)},
          {"NOM_CPT1", text(c.Edit_nom_cpt1)},
          {"NOM_CPT2", text(c.Edit_nom_cpt2)},
          // The window's folder list shows folders that exist.
          {"REPERTOIR_ENR",
           [&c](const Text& v) -> std::optional<Text> {
             if (!v.empty() && (v.front() != '/' || !is_folder(v)))
               return w("le dossier « ") + v +
                      w(" » n'existe pas (chemin complet attendu ; vide : le dossier de données)");
             c.DirectoryListBox1 = v;
             return std::nullopt;
           }},
          {"TYPE_NOM_FICHIER",
           pick(0, [&f](int i) { i ? f.Radio_enregistrementdateClick() : f.Radio_enregistrementClick(); })},
          {"ENTETE_CSV", pick(0, [&f](int i) { f.select_entete(i == 1); })},
          {"REDEMARRAGE_AUTOMATIQUE",
           pick(0, [&f](int i) { i ? f.RadioButton_demAUTOClick() : f.RadioButton_sansdemautoClick(); })},
          // The box is greyed unless the files are named by date.
          {"FORMAT_DATE",
           [&f, box = flag(c.new_format_date)](const Text& v) -> std::optional<Text> {
             if (!f.controls.new_format_date_enabled && trim(v) != "0")
               return w("ne s'applique qu'aux fichiers nommés par date (TYPE_NOM_FICHIER=1)");
             return box(v);
           }},
          {"PTEC_A_ENREGISTRER", flag(c.CheckBox_PTEC)},
          {"MODE_ECHELLE_GRAPHE", pick(0, [&f](int i) { f.select_isous(i == 1); })},
          {"GRAPHE IouPA",
           pick(0, [&f](int i) { i ? f.RadioButton_PAClick() : f.RadioButton_intensiteClick(); })},
          {"FICHIER_PROD_CSV", flag(c.production_csv)},
          {"CPT_PROD", pick(1, [&f](int i) { f.select_prod(i); })},
      },
      [win, &s] {
        win->Button2Click(s);
        return true;
      }};
}

Window bdpv_window(Settings& s, UserMessages& m) {
  auto win = std::make_shared<BdpvWindowModel>(s, m);
  win->show();
  BdpvWindowModel& f = *win;
  return {{
              {"BDPV actif", flag(f.actif)},
              {"nom utilisateur", text(f.nom_utilisateur)},
              {"mot de passe", text(f.mot_de_passe)},
              {"heure envoie BDPV", text(f.heure)},
              {"compteur production", pick(1, [&f](int i) { f.production = i; })},
          },
          [win] { return win->enregistrer(); }};
}

Window cosm_window(Settings& s, UserMessages& m) {
  auto win = std::make_shared<CosmWindowModel>(s, m);
  win->show();
  CosmWindowModel& f = *win;
  return {{
              {"COSM actif", flag(f.actif)},
              {"feed", text(f.feed)},
              {"key", text(f.key)},
              {"Interval envoi", choice(CosmWindowModel::interval_items(), f.interval_index)},
          },
          [win] { return win->enregistrer(); }};
}

Window mqtt_window(Settings& s, UserMessages& m) {
  auto win = std::make_shared<MqttWindowModel>(s, m, nullptr);
  win->show();
  MqttWindowModel& f = *win;
  return {{
              {"ACTIF", flag(f.actif)},
              {"SERVEUR", text(f.serveur)},
              {"PORT", text(f.port)},
              {"UTILISATEUR", text(f.utilisateur)},
              {"MOT DE PASSE", text(f.mot_de_passe)},
              {"TLS", flag(f.tls)},
              {"CA", text(f.ca)},
              {"PREFIXE", text(f.prefixe)},
              {"DECOUVERTE", flag(f.decouverte)},
              {"PREFIXE DECOUVERTE", text(f.prefixe_decouverte)},
              {"PERIODE", text(f.periode)},
          },
          [win] { return win->enregistrer(); }};
}

Window web_window(Settings& s, UserMessages& m) {
  auto win = std::make_shared<WebWindowModel>(s, m);
  win->show();
  WebWindowModel& f = *win;
  return {{
              {"ACTIF", flag(f.actif)},
              {"ADRESSE", text(f.adresse)},
              {"PORT", text(f.port)},
              {"UTILISATEUR", text(f.utilisateur)},
              {"MOT DE PASSE", text(f.mot_de_passe)},
              {"CERTIFICAT", text(f.certificat)},
              {"CLE", text(f.cle)},
          },
          [win] { return win->enregistrer(); }};
}

// The alert window with what it needs around it: no mail is ever sent.
struct AlertWindow {
  struct NoMail : MailSender {
    RequestHandle send(const MailMessage&, const SmtpSettings&, Done) override { return nullptr; }
  };
  AlertWindow(Settings& s, UserMessages& m)
      : engine(s, measures, time, sender, time, m), model(s, m, engine) {}
  SimScheduler time;
  NoMail sender;
  MeasureTable measures;
  AlertEngine engine;
  AlertWindowModel model;
};

Window alert_window(Settings& s, UserMessages& m) {
  auto win = std::make_shared<AlertWindow>(s, m);
  win->model.show_window();
  AlertWindowModel::MailFields& f = win->model.mail;
  return {{
              {"ACTIF", flag(f.actif)},
              {"EMETTEUR", text(f.emetteur)},
              {"DESTINATAIRE", text(f.destinataire)},
              {"SMTP", text(f.smtp)},
              {"PORT SMTP", text(f.port)},
              {"ENTETE", text(f.entete)},
              {"PASSWORD", text(f.password)},
              {"TLS", choice(AlertWindowModel::kTlsChoices, f.tls)},
              {"CA", text(f.ca)},
              // The minutes field takes digits and the point only.
              {"REACTIVATION",
               [&f](const Text& v) -> std::optional<Text> {
                 if (v.empty() || !std::all_of(v.begin(), v.end(), AlertWindowModel::accept_key))
                   return w("un nombre de minutes attendu (de 1 à 1440)");
                 f.reactivation = v;
                 return std::nullopt;
               }},
              {"REDEMARRAGE PC", flag(f.redemarrage_pc)},
          },
          [win] {
            win->model.sauvegarder();
            return true;
          }};
}

struct WindowKind {
  std::vector<std::string_view> sections;
  Window (*show)(Settings&, UserMessages&);
};

const std::vector<WindowKind> kWindows = {
    {{"CONFIG_PRG"}, config_window},
    {{"CONFIG_BDPV"}, bdpv_window},
    {{"CONFIG_COSM"}, cosm_window},
    {{"CONFIG_MQTT"}, mqtt_window},
    {{"CONFIG_WEB"}, web_window},
    {{"CONFIG_MAIL", "CONFIG_ALERTE"}, alert_window},
};

Text name_of(const SettingKey& k) { return Text(k.section) + "." + k.key; }

void refuse(UserMessages& m, const SettingKey& k, const Text& why) {
  m.show_message({MessageIcon::Warning, "", w("« ") + name_of(k) + w(" » : ") + why});
}

std::size_t table_index(const SettingKey* k) { return static_cast<std::size_t>(k - setting_keys().data()); }

}  // namespace

std::optional<SettingChange> parse_setting_change(std::string_view arg, std::string& error) {
  const auto dot = arg.find('.');
  const auto eq = arg.find('=', dot == std::string_view::npos ? 0 : dot);
  if (dot == std::string_view::npos || eq == std::string_view::npos) {
    error = "« " + std::string(arg) + " » : SECTION.CLE=VALEUR attendu";
    return std::nullopt;
  }
  const std::string_view section = trim(arg.substr(0, dot)), key = trim(arg.substr(dot + 1, eq - dot - 1));
  const std::string_view value = arg.substr(eq + 1);
  const SettingKey* k = find_setting_key(section, key);
  const std::string name = std::string(section) + "." + std::string(key);
  if (!k) {
    const bool grid = section == "GENERAL" ||
                      (!section.empty() && std::all_of(section.begin(), section.end(),
                                                       [](char c) { return c >= '0' && c <= '9'; }));
    error =
        "« " + name + " » : " +
        (grid ? "les tableaux (alertes, flux Cosm) se règlent dans leur fenêtre"
              : "réglage inconnu (les sections et les clés sont celles qu'affiche « vireluz-tic settings »)");
    return std::nullopt;
  }
  if (k->write == KeyWrite::kAfterGrid) {
    error = "« " + name + " » suit le tableau, qui se règle dans sa fenêtre";
    return std::nullopt;
  }
  const Text text = utf8_to_cp1252(value);
  if (cp1252_to_utf8(text) != value) {
    error = "« " + name +
            " » : la valeur n'est pas du texte UTF-8 dont chaque caractère existe en Windows-1252, " +
            "le codage des fichiers INI";
    return std::nullopt;
  }
  if (has_control_char(text)) {
    error = "« " + name + " » : la valeur contient un caractère de contrôle (saut de ligne, tabulation...)";
    return std::nullopt;
  }
  return SettingChange{k, text};
}

bool apply_setting_changes(Settings& s, const std::vector<SettingChange>& changes, UserMessages& m) {
  // In the order of the key table, as the window's fields come (the file
  // naming before the date format); a key given twice: the last one.
  std::vector<const SettingChange*> todo;
  for (const auto& c : changes) todo.push_back(&c);
  std::stable_sort(todo.begin(), todo.end(), [](const SettingChange* a, const SettingChange* b) {
    return table_index(a->key) < table_index(b->key);
  });

  std::vector<const SettingChange*> alone;  // keys that no window shows
  for (const WindowKind& kind : kWindows) {
    std::vector<const SettingChange*> mine;
    for (const SettingChange* c : todo)
      if (std::find(kind.sections.begin(), kind.sections.end(), c->key->section) != kind.sections.end())
        mine.push_back(c);
    if (mine.empty()) continue;
    Window win = kind.show(s, m);
    bool typed = false;
    for (const SettingChange* c : mine) {
      const auto f = std::find_if(win.fields.begin(), win.fields.end(),
                                  [&](const Field& x) { return std::string_view(x.key) == c->key->key; });
      if (f == win.fields.end()) {
        alone.push_back(c);
        continue;
      }
      if (const auto why = f->set(c->value)) {
        refuse(m, *c->key, *why);
        return false;
      }
      typed = true;
    }
    if (typed && !win.save()) return false;
  }
  for (const SettingChange* c : todo)
    if (std::none_of(kWindows.begin(), kWindows.end(), [&](const WindowKind& kind) {
          return std::find(kind.sections.begin(), kind.sections.end(), c->key->section) !=
                 kind.sections.end();
        }))
      alone.push_back(c);

  for (const SettingChange* c : alone) {
    if (c->key->kind == KeyKind::kInt && !parse_int(trim(c->value))) {
      refuse(m, *c->key, w("un nombre entier attendu"));
      return false;
    }
    set_from_clear(s, *c->key, trim(c->value));
    write_setting(s, *c->key);
  }
  return true;
}

}  // namespace vireluz::tic
