#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into fuzz/corpus/<target>/.

fuzz_decoder seeds are a 4-byte header (see fuzz_decoder.cpp) followed by a
serial stream of frames built here: historic (HC, BASE, EJP, TEMPO,
three-phase), standard, JAUNE and CONTRAT frames with valid checksums.
fuzz_decoder_fast seeds are the same frames behind its 2-byte header (see
fuzz_decoder_fast.cpp). fuzz_ini seeds are INI files shaped like the ones the
configuration tests write. fuzz_tables seeds are byte strings for its
FuzzedDataProvider. Files named regress-* were added by hand (inputs that
once failed) and are left as they are.

Usage: fuzz/make_corpus.py
"""
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")

STX, ETX = b"\x02", b"\x03"


def cks(covered: bytes) -> bytes:
    return bytes([(sum(covered) & 0x3F) + 0x20])


def hg(label: str, value: str) -> bytes:
    """Historic group: LF label SP value SP checksum CR (checksum over label SP value)."""
    covered = (label + " " + value).encode("latin-1")
    return b"\n" + covered + b" " + cks(covered) + b"\r"


def sg(label: str, value: str, date: str = None) -> bytes:
    """Standard group: LF label HT [date HT] value HT checksum CR (checksum up to the last HT)."""
    parts = [label] + ([date] if date is not None else []) + [value]
    covered = ("\t".join(parts) + "\t").encode("latin-1")
    return b"\n" + covered + cks(covered) + b"\r"


def frame(groups) -> bytes:
    return STX + b"".join(groups) + ETX


def hist_common(optarif, isousc="30", adco="021728123456"):
    return [hg("ADCO", adco), hg("OPTARIF", optarif), hg("ISOUSC", isousc)]


HISTORIC = {
    "hc": frame(hist_common("HC..", "45") + [hg("HCHC", "001234567"), hg("HCHP", "012345678"),
               hg("PTEC", "HP.."), hg("IINST", "012"), hg("IMAX", "045"), hg("PAPP", "02760"),
               hg("HHPHC", "A"), hg("MOTDETAT", "000000")]),
    "base": frame(hist_common("BASE") + [hg("BASE", "010151175"), hg("PTEC", "TH.."), hg("IINST", "004"),
                 hg("IMAX", "030"), hg("PAPP", "00930"), hg("MOTDETAT", "000000")]),
    "ejp": frame(hist_common("EJP.") + [hg("EJPHN", "000111222"), hg("EJPHPM", "000003333"),
                hg("PEJP", "30"), hg("PTEC", "PM.."), hg("IINST", "007"), hg("IMAX", "040"),
                hg("PAPP", "01610")]),
    "tempo": frame(hist_common("BBR(", "60") + [hg("BBRHCJB", "000000001"), hg("BBRHPJB", "000000002"),
                  hg("BBRHCJW", "000000003"), hg("BBRHPJW", "000000004"), hg("BBRHCJR", "000000005"),
                  hg("BBRHPJR", "000001006"), hg("PTEC", "HPJR"), hg("DEMAIN", "ROUG"),
                  hg("IINST", "002"), hg("IMAX", "060"), hg("PAPP", "00460")]),
    "tri": frame(hist_common("BASE", "20") + [hg("BASE", "010151175"), hg("PTEC", "TH.."),
                hg("IINST1", "004"), hg("IINST2", "002"), hg("IINST3", "009"), hg("IMAX1", "060"),
                hg("IMAX2", "060"), hg("IMAX3", "060"), hg("PMAX", "03500"), hg("PAPP", "03080"),
                hg("PPOT", "00")]),
    "bad_optarif": frame([hg("ADCO", "021728123456"), b"\nOPTARIF 217281 X\r", hg("ISOUSC", "30")]),
}

STANDARD = {
    "std_base": frame([sg("ADSC", "064468368739"), sg("VTIC", "02"), sg("DATE", "", "H260115143000"),
                      sg("NGTF", "     BASE       "), sg("LTARF", "      BASE       "),
                      sg("EAST", "011887262"), sg("EASF01", "011887262"), sg("EASF02", "000000000"),
                      sg("IRMS1", "001"), sg("URMS1", "232"), sg("PREF", "06"), sg("PCOUP", "06"),
                      sg("SINSTS", "00241"), sg("STGE", "003A0001"), sg("MSG1", "PAS DE          MESSAGE")]),
    "std_prod": frame([sg("ADSC", "031764953443"), sg("VTIC", "02"), sg("NGTF", "PRODUCTEUR"),
                      sg("LTARF", " INDEX NON CONSO"), sg("EAIT", "003626876"), sg("SINSTI", "01670"),
                      sg("IRMS1", "007"), sg("URMS1", "240"), sg("PREF", "12"), sg("STGE", "00000401")]),
    "std_tri_tempo": frame([sg("ADSC", "812345678901"), sg("VTIC", "02"), sg("NGTF", "TEMPO"),
                           sg("LTARF", "HP BLEU"), sg("EASF01", "000123456"), sg("EASF02", "000234567"),
                           sg("EASF03", "000000012"), sg("EASF04", "000000034"), sg("EASF05", "0"),
                           sg("EASF06", "000000099"), sg("IRMS1", "003"), sg("IRMS2", "004"),
                           sg("IRMS3", "005"), sg("URMS1", "231"), sg("SINSTS", "02400"),
                           sg("STGE", "013A4C01")]),
    "std_v1": frame([sg("ADSC", "712345678901"), sg("VTIC", "01"), sg("NGTF", "HC."), sg("SINST1", "00500"),
                    sg("EASF01", "12345678")]),
}


def jaune_value(code="21", notice="", power="00000550"):
    v = "12:30:45:0100:" + code + ":" + notice + ":" + power
    return v.ljust(26)[:26]


JAUNE = {
    "jaune": frame([hg("JAUNE", jaune_value()), hg("ENERG", "000123:45:6:0".ljust(27)), hg("PERCC", "00")]),
    "jaune_dep": frame([hg("JAUNE", jaune_value("14", "DEP")), hg("ENERG", "999999:0:12:34".ljust(27))]),
    "contrat": frame([hg("CONTRAT", "BT 4 SUP36"), hg("DATECOUR", "15 01 26 14 30"), hg("EA", "000123")]),
}

HEADERS = {
    # ActiveMeter 1, skip 1, no mail, PacketCount past the skip, block sizes up to 64.
    "m1": bytes([0x01, 0x21, 63, 7]),
    # Meter 2, XBee skip, three-phase both, power graphs, mail on with a failing hook.
    "m2": bytes([0x02 | 0x04 | 0x08 | 0x10 | 0x20 | 0x80, 0x02 | 0x20, 255, 99]),
    # Switching meters after every packet, '.' separator, manual graph scale.
    "sw": bytes([0x01 | 0x40, 0x08 | 0x04 | 0x01 | 0x20, 15, 3]),
}


def write(target, name, data):
    d = os.path.join(CORPUS, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def decoder_corpus():
    frames = {}
    frames.update(HISTORIC)
    frames.update(STANDARD)
    frames.update(JAUNE)
    for fname, f in sorted(frames.items()):
        # Two copies of the frame: the first is dropped by the skip rule when it applies.
        write("fuzz_decoder", fname, HEADERS["m1"] + f + f)
    for hname, h in HEADERS.items():
        if hname == "m1":
            continue
        for fname in ("hc", "tri", "std_tri_tempo", "jaune"):
            write("fuzz_decoder", hname + "_" + fname, h + frames[fname] * 3)
    # A two-meter sequence: consumption and production frames in turn.
    write("fuzz_decoder", "sw_pair", HEADERS["sw"] + (HISTORIC["hc"] + STANDARD["std_prod"]) * 3)
    # Skip counts 0, 3 and 3 + 10 (byte 1, bits 6-7).
    write("fuzz_decoder", "skip0_hc", bytes([0x01, 0x40 | 0x01, 63, 7]) + HISTORIC["hc"] * 3)
    write("fuzz_decoder", "skip3_std_base", bytes([0x01, 0x80 | 0x20, 63, 7]) + STANDARD["std_base"] * 5)
    write("fuzz_decoder", "skip13_tri", bytes([0x01, 0xC0, 255, 10]) + HISTORIC["tri"] * 15)
    # Start and stop strings changed mid-stream: ESC + selector (see fuzz_decoder.cpp), once between
    # blocks (STX / ETX alone), once from inside the next packet's handler (back to STX / CR ETX).
    write("fuzz_decoder", "strings_mid", HEADERS["m1"] + HISTORIC["hc"] * 2 + b"\x1b" + bytes([0x08]) +
          STANDARD["std_base"] * 2 + b"\x1b" + bytes([0x40]) + HISTORIC["base"] * 3)
    # A line feed and other control bytes inside values whose checksums hold: the file lines built
    # from them must stay whole.
    write("fuzz_decoder", "regress-lf-in-values", HEADERS["m1"] + frame(
        [sg("ADSC", "0644\n68368739"), sg("VTIC", "02"), sg("NGTF", "BA\nSE"), sg("LTARF", "BASE\x01"),
         sg("EAST", "0118\n87262"), sg("EASF01", "011\r887262"), sg("EAIT", "00\n36"), sg("IRMS1", "0\n1"),
         sg("SINSTS", "00\n241")]) * 3 + frame(
        hist_common("BASE", "3\n0", "0217\n8123456") + [hg("BASE", "0101\n1175"), hg("PTEC", "T\n.."),
                                                        hg("IINST", "0\n4"), hg("PAPP", "00\n30")]) * 3)


def decoder_fast_corpus():
    frames = dict(HISTORIC, **STANDARD, **JAUNE)
    for fname, f in sorted(frames.items()):
        # Meter 1 through the framer, blocks seeded with 7.
        write("fuzz_decoder_fast", fname, bytes([0x01, 7]) + f * 2)
    # Meter 2, both meters three-phase, power graphs, '.' separator; straight to the decoder.
    for fname in ("hc", "tri", "tempo", "std_base", "std_tri_tempo", "std_prod", "jaune"):
        write("fuzz_decoder_fast", "direct_" + fname,
              bytes([0x02 | 0x0C | 0x10 | 0x40 | 0x80, 0]) + frames[fname] * 2)
    # Consumption and production frames in turn, manual graph scale.
    write("fuzz_decoder_fast", "pair",
          bytes([0x01 | 0x20, 200]) + (HISTORIC["hc"] + STANDARD["std_prod"]) * 2)


CRLF = "\r\n"


def ini(lines):
    return (CRLF.join(lines) + CRLF).encode("cp1252")


CFG_FULL = ini([
    "[CONFIG_PRG]", "PERIODE_ENR=7", "MODE_INTERFACE=2", "MODE_MONO_TRI=1", "MODE_MONO_TRI_cpt2=0",
    "MODE_TIC_cpt1=1", "MODE_TIC_cpt2=0", "NOM_CPT1=Maison", "NOM_CPT2=Panneaux", "REPERTOIR_ENR=/tmp/rec",
    "TYPE_NOM_FICHIER=1", "ENTETE_CSV=1", "REDEMARRAGE_AUTOMATIQUE=0", "FORMAT_DATE=1",
    "PTEC_A_ENREGISTRER=1", "MODE_ECHELLE_GRAPHE=1", "GRAPHE IouPA=1", "FICHIER_PROD_CSV=1", "CPT_PROD=2",
    "[CONFIG_BDPV]", "BDPV actif=1", "nom utilisateur=jean", "mot de passe=" + "".join(
        chr(ord(c) ^ 0x1F) for c in "secret"), "heure envoie BDPV=2145", "compteur production=2",
    "[CONFIG_COSM]", "COSM actif=1", "feed=12345", "key=" + "".join(chr(ord(c) ^ 0x1F) for c in "abcKEY"),
    "Interval envoi=2", "[GENERAL]", "COLCOUNT=5", "ROWCOUNT=2", "TABLEAU VIDE=NON",
    "[0]", "0=conso", "1=prod", "[1]", "0=EDF", "1=Solaire", "[2]", "0=PAPP", "1=PAPP", "[3]", "0=0", "1=1",
    "[4]", "0=4", "1=4",
])

ALERT_FULL = ini([
    "[CONFIG_MAIL]", "ACTIF=1", "EMETTEUR=vireluz@example.org", "DESTINATAIRE=a@example.org, b@example.org",
    "SMTP=127.0.0.1", "PORT SMTP=2525", "ENTETE=Alerte VIRELUZ", "PASSWORD=" + "".join(
        chr(ord(c) ^ 0x1F) for c in "pw"), "[CONFIG_ALERTE]", "REACTIVATION=5", "REDEMARRAGE PC=1",
    "[GENERAL]", "COLCOUNT=17", "ROWCOUNT=2", "[CONFIG_MAIL]", "TABLEAU VIDE=NON",
    "[0]", "0=EDF", "1=Solaire", "[1]", "0=Courant", "1=Puissance", "[2]", "0=>", "1=<", "[3]", "0=30",
    "1=100", "[4]", "0=Courant fort", "1=Pas de production", "[5]", "0=0", "1=1", "[6]", "0=0", "1=4",
    "[7]", "0=3", "1=0", "[8]", "0=30", "1=100", "[9]", "0=Apres tempo.", "1=Manuel", "[10]", "0=Active",
    "1=Active", "[11]", "0=0", "1=0", "[12]", "0=1", "1=1", "[13]", "0=0", "1=1", "[14]", "0=0", "1=1",
    "[15]", "1=08:00:00", "[16]", "1=18:30:00",
])

MARKER = b"\n--alertes_mails.ini--\n"


def ini_corpus():
    write("fuzz_ini", "full", CFG_FULL + MARKER + ALERT_FULL)
    write("fuzz_ini", "cfg_only", CFG_FULL)
    write("fuzz_ini", "alert_only", MARKER + ALERT_FULL)
    write("fuzz_ini", "empty_tables",
          ini(["[CONFIG_COSM]", "TABLEAU VIDE=OUI"]) + MARKER + ini(["[CONFIG_MAIL]", "TABLEAU VIDE=OUI"]))
    # Odd shapes: LF-only lines, blanks around names, duplicate keys and sections, comments,
    # accented bytes, a key without '=', a missing closing bracket, escaped secrets.
    write("fuzz_ini", "odd",
          b"; comment\n[ config_prg ]\n periode_enr = 3 \nPERIODE_ENR=5\nNOM_CPT1=\xc9lectricit\xe9\nnokey\n"
          b"[CONFIG_BDPV\nmot de passe=\x10\x60\x10\x5f\n[CONFIG_PRG]\nCPT_PROD=1\n[GENERAL]\nROWCOUNT=-4\n"
          b"COLCOUNT=abc\n[0]\n00=x\n0=y\n" + MARKER +
          b"[CONFIG_MAIL]\r\nACTIF=1\r\nTABLEAU VIDE=NON\r\nPASSWORD=\x10\x50abc\x10\r\n[GENERAL]\r\n"
          b"COLCOUNT=99\r\nROWCOUNT=100000\r\n[16]\r\n9999=12:00:00\r\n")
    for name, data in TEST_FILES.items():
        write("fuzz_ini", name, data)
    # A UTF-8 byte-order mark before a section line left open: the line must not run into the next.
    write("fuzz_ini", "regress-bom-unclosed-section",
          b"\xef\xbb\xbf[CONFIG_BDPV\rNOM_CPT1=x\r[CONFIG_PRG]\nNOM_CPT2=Toit \xc3\xa9t\xc3\xa9\n" + MARKER +
          b"\xef\xbb\xbf[CONFIG_MAIL]\r\nENTETE=\xc3\xa9\r\n[CONFIG_ALERTE\r\n")
    # Values in quotes, as hand-edited files of the Windows version hold them.
    write("fuzz_ini", "quotes", ini(["[CONFIG_PRG]", 'NOM_CPT1="Maison"', "NOM_CPT2=' Toit '", 'PERIODE_ENR="3"',
                                     'REPERTOIR_ENR="/data\'', "[CONFIG_BDPV]", 'nom utilisateur=""jean""']) +
          MARKER + ini(["[CONFIG_MAIL]", 'SMTP="smtp.exemple.fr"', 'PORT SMTP="587"', "ENTETE=''"]))
    # Above 8 KiB: an alert table of 20 rules.
    rows = 20
    big = ["[CONFIG_MAIL]", "ACTIF=1", "TABLEAU VIDE=NON", "[GENERAL]", "COLCOUNT=17", "ROWCOUNT=%d" % rows]
    for c in range(17):
        big.append("[%d]" % c)
        big += ["%d=%s" % (r, "valeur %d de la colonne %d" % (r, c)) for r in range(rows)]
    data = MARKER + ini(big)
    assert len(data) > 8192
    write("fuzz_ini", "big_alert_table", data)


# Files of the configuration tests, byte for byte.
TEST_FILES = {
    "test_periods": b"[CONFIG_PRG]\r\nPERIODE_ENR=9\r\n[CONFIG_COSM]\r\nInterval envoi=4\r\n",
    "test_windows_conventions":
        b"; written on Windows\r\n[config_prg]\r\nperiode_enr = 3 \r\nPERIODE_ENR=5\r\ngraphe ioupa=1\r\n"
        b"  NOM_CPT1  =   Cuisine \xE9t\xE9  \r\nMODE_INTERFACE=deux\r\nCPT_PROD=1x\r\n[CONFIG_BDPV]\r\n"
        b"BDPV ACTIF=1\r\nNom Utilisateur=jean\r\nserveur=127.0.0.1:8080\r\n[Empty]\r\n[CONFIG_COSM]\r\n"
        b"serveur=localhost\r\nFEED=+42\r\n" + b"\n--alertes_mails.ini--\n" +
        b"[Config_Mail]\r\nport smtp=587\r\nEntete=Alerte \xE0 la maison\r\nActif=1\r\n"
        b"[CONFIG_ALERTE]\r\nredemarrage pc=1\r\n",
    "test_foreign_keys":
        b"\r\n[Perso]\r\ncle=valeur \xE9\r\n[config_prg]\r\n; nom du compteur\r\nnom_cpt1=Ancien\r\n"
        b"Foreign=1\r\nNOM_CPT1=Doublon\r\n[CONFIG_BDPV]\r\nserveur=127.0.0.1:8080\r\nBDPV actif=1\r\n"
        b"; fin du fichier\r\n",
}


def tables_corpus():
    rnd = random.Random(1234)
    for i in range(16):
        n = rnd.choice([16, 64, 256, 1024, 4096])
        write("fuzz_tables", "seed_%02d" % i, bytes(rnd.getrandbits(8) for _ in range(n)))


def main():
    decoder_corpus()
    decoder_fast_corpus()
    ini_corpus()
    tables_corpus()
    for t in sorted(os.listdir(CORPUS)):
        print(t, len(os.listdir(os.path.join(CORPUS, t))), "files")


if __name__ == "__main__":
    main()
