"""The record files written while reading two simulated meters: the periodic
record every 10 seconds, and the yearly daily file written in the minute
23:59 (the clock set just before it with faketime)."""

import datetime
import os
import sys

from e2e_support import check, headless, main, temp_dir, write_config

VIREL = sys.argv[1]
FAKETIME = "/usr/bin/faketime"


def read_lines(path):
    with open(path, "rb") as f:
        data = f.read()
    check(data.endswith(b"\r\n"), "%s : la dernière ligne ne finit pas par CR LF" % path)
    lines = data[:-2].split(b"\r\n")
    check(not any(b"\n" in line or b"\r" in line for line in lines), "%s : fins de ligne mêlées" % path)
    return lines


def periodic_record():
    with temp_dir("record") as cfg:
        rec = os.path.join(cfg, "rec")
        os.mkdir(rec)
        write_config(cfg, [("PERIODE_ENR", 7), ("REPERTOIR_ENR", rec)])
        days = {datetime.date.today().strftime("%d/%m/%Y")}
        with headless(VIREL, cfg, 37, ["--simulate", "--sim-options", "meter1=historique,mono,hc"]) as run:
            rc, err, dump = run.wait()
        days.add(datetime.date.today().strftime("%d/%m/%Y"))
        check(rc == 0, "code %s, stderr %s" % (rc, err))
        check(not err, "messages inattendus : %s" % err)
        path = os.path.join(rec, "enregistrements.csv")
        check(os.path.exists(path), "pas de fichier %s (dossier : %s)" % (path, os.listdir(rec)))
        lines = read_lines(path)
        check(len(lines) >= 5, "moins de deux lignes de données : %r" % lines)
        check(lines[0] == b"VIRELUZ 2 compteurs V 1.43J", "titre 1 : %r" % lines[0])
        m1, m2 = dump["meters"]
        # Every fault of the file is listed, not only the first.
        faults = []
        # Meter 2 is selected for the first time at the first switch, so the
        # file may be created before its option is known: title 2 then
        # describes it with the default option, and a new column header line
        # comes in once it is decoded. Every row must follow the header above it.
        title1 = ("ADCO cpt1: %s - Intensité souscrite: %s A - Type d'abonnement: Option Heures Creuses"
                  " -  ADCO cpt2: " % (m1["ADCO"], m1["ISOUSC"]))
        if b"Intensit\xe9 souscrite" not in lines[1]:
            faults.append("titre 2 pas en Windows-1252 : %r" % lines[1])
        if not lines[1].startswith(title1.encode("cp1252")):
            faults.append("titre 2 : %r, attendu %r..." % (lines[1], title1.encode("cp1252")))
        final_header = b"date,hh:mm:ss,HP,HC,I,Pap VA,BASE2,I2,Pap VA cpt2"
        headers = [l for l in lines[2:] if l.startswith(b"date,hh:mm:ss,")]
        if not lines[2].startswith(b"date,hh:mm:ss,HP,HC,I,Pap VA,"):
            faults.append("en-tête : %r" % lines[2])
        if not headers or headers[-1] != final_header:
            faults.append("dernier en-tête : %r, attendu %r" % (headers[-1:], final_header))
        columns = 0
        for row in lines[2:]:
            if row.startswith(b"date,hh:mm:ss,"):
                columns = row.count(b",") + 1
                continue
            cells = row.decode("cp1252").split(",")
            if len(cells) != columns:
                faults.append("ligne %r : %d colonnes, l'en-tête en a %d" % (row, len(cells), columns))
            if cells[0] not in days:
                faults.append("ligne %r : date %r, attendu %s" % (row, cells[0], days))
            if not all(c.isdigit() or c == "" for c in cells[2:]):
                faults.append("ligne %r : valeur non numérique" % row)
        last = lines[-1].decode("cp1252").split(",")
        if not all(c.isdigit() for c in last[2:]):
            faults.append("dernière ligne incomplète : %r" % lines[-1])
        if last[2:4] != [m1["HCHP"], m1["HCHC"]]:
            faults.append("index du compteur 1 : %r, attendu %s, %s" % (last, m1["HCHP"], m1["HCHC"]))
        check(not faults, "\n  ".join(["fichier d'enregistrement :"] + faults))


def daily_file():
    if not os.path.exists(FAKETIME):
        print("SKIP: %s absent (paquet Debian faketime)" % FAKETIME)
        sys.exit(77)
    with temp_dir("daily") as cfg:
        rec = os.path.join(cfg, "rec")
        os.mkdir(rec)
        write_config(cfg, [("REPERTOIR_ENR", rec)])
        path = os.path.join(rec, "2025vireluz.csv")
        # The clock starts 65 s before midnight and runs at the normal pace; the
        # minute timer, started at launch, ticks at 23:59:55. Qt's timers run on
        # the monotonic clock, which is left alone. The run ends by itself:
        # faketime waits for the program, so a signal sent to it would not reach
        # the program.
        prefix = [FAKETIME, "-f", "@2025-12-31 23:58:55"]
        env = {"FAKETIME_DONT_FAKE_MONOTONIC": "1"}
        with headless(VIREL, cfg, 66, ["--simulate"], prefix=prefix, env=env) as run:
            rc, err, dump = run.wait()
        found = os.path.exists(path)
        check(found, "pas de fichier %s après %.0f s (dossier : %s, stderr %s)"
              % (path, run.elapsed(), os.listdir(rec), err))
        check(rc == 0, "code %s, stderr %s" % (rc, err))
        lines = read_lines(path)
        m1, m2 = dump["meters"]
        header = "HC.,1,%s,CPT2 actif,BAS" % m1["ISOUSC"]
        check(lines[0] == header.encode(), "en-tête : %r, attendu %r" % (lines[0], header))
        check(len(lines) == 2, "une ligne du jour attendue : %r" % lines)
        day = lines[1].decode("cp1252").split(",")
        check(day[:2] == ["12", "31"] and len(day) == 5, "ligne du jour : %r" % lines[1])
        check(all(v.isdigit() for v in day[2:]), "ligne du jour : %r" % lines[1])
        check(m2["BASE"] != "" and int(day[4]) <= int(m2["BASE"]), "index BASE : %r / %s" % (day, m2))


def test():
    # An optional third argument runs one part only ("periodic" or "daily").
    part = sys.argv[3] if len(sys.argv) > 3 else None
    if part in (None, "periodic"):
        periodic_record()
    if part in (None, "daily"):
        daily_file()


main(test)
