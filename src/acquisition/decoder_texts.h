#pragma once
// The captions and texts that the decoder writes into the main window, in
// Windows-1252, built once.
#include "common/text.h"

namespace vireluz::dtext {

inline const Text kUnitA = " A";
inline const Text kUnitVA = " VA";
inline const Text kUnitV = " V";
inline const Text kUnitKwh = " kWh";
inline const Text kComputed = w(" (valeur calculée)");

// Option display.
inline const Text kOptionHC = "Option Heures Creuses";
inline const Text kOptionBase = "Option Base";
inline const Text kOptionEJP = "Option EJP";
inline const Text kOptionTempo = "Option Tempo";
inline const Text kIndexHP = "Index Heures pleines";
inline const Text kIndexHC = "Index Heures creuses";
inline const Text kIndexBase = "Index Base";
inline const Text kEjpHN = "EJP Heures normales";
inline const Text kEjpPM = "EJP Heures pointe mobile";
inline const Text kPreavisEjp = w("Préavis EJP 30mn");
inline const Text kTempo[6] = {"Heures creuses jours bleus",  "Heures pleines jours bleus",
                               "Heures creuses jours blancs", "Heures pleines jours blancs",
                               "Heures creuses jours rouges", "Heures pleines jours rouges"};
inline const Text kIndexProd = "Index de NON consommation";
inline const Text kPowerInjected = w("Puissance App Injectée");

// Periods (PTEC).
inline const Text kPeriods[11] = {"Toutes les Heures",
                                  "Heures Creuses",
                                  "Heures Pleines",
                                  "Heures Normales",
                                  "Heures de Pointe Mobile",
                                  "Heures Creuses Jours Bleus",
                                  "Heures Creuses Jours Blancs",
                                  "Heures Creuses Jours Rouges",
                                  "Heures Pleines Jours Bleus",
                                  "Heures Pleines Jours Blancs",
                                  "Heures Pleines Jours Rouges"};

// Tomorrow's colour.
inline const Text kBleu = "Bleu";
inline const Text kBlanc = "Blanc";
inline const Text kRouge = "Rouge";

// Standard mode.
inline const Text kURms = "U RMS";
inline const Text kKvaSouscrit = "kVA souscrit";

// Yellow meters.
inline const Text kTarifJaune = "Tarification JAUNE";
inline const Text kPosteHoraire = "Poste horaire en cours";
inline const Text kEte = w("« été »");
inline const Text kHiver = w("« hiver »");
inline const Text kPointeMobile = w("« période de pointe mobile »");
inline const Text kSlots[4] = {w("« Heures Pleines »"), w("« Heures Creuses »"), w("« Heures de Pointe »"),
                               w("« Heures de Pointe Mobile »")};
inline const Text kPreavisDepassement = w("PREAVIS de dépassement");
inline const Text kEnerg[4] = {"H. Pleine Hiver ou Pointe Mobile(PM)", "H. Creuse Hiver ou Heure Hiver(HH)",
                               w("H. Pleines d’Eté (HPE)"), w("H. Creuses d’Eté (HCE)")};

// TIC output not activated.
inline const Text kNotActivated[2][2] = {
    {w("Vireluz compteur 1 non activée, contactez ERDF !"),
     w("Vireluz compteur 2 non activée, contactez ERDF !")},
    {w("Vireluz compteur 1 non activée (testez en inversant les fils de Vireluz), contactez ENEDIF !"),
     w("Vireluz compteur 2 non activée (testez en inversant les fils de Vireluz), contactez ENEDIF !")}};

}  // namespace vireluz::dtext
