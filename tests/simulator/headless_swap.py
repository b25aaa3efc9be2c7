"""The headless program on the simulated interface, meter 1 swapping two
digits of an index or a current in 30 % of its frames (the checksum still
holds), meter 2 clean: no record row of meter 1 holds an index lower than the
row before it or risen faster than twice its 30 A allow (the filter's
margin); the dump counts the refused values of meter 1 and none of meter 2."""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from e2e_support import check, check_meter_decoded, headless, main, temp_dir, write_config  # noqa: E402

VIREL = sys.argv[1]


def test():
    with temp_dir("swap") as cfg:
        # A row every 10 s.
        write_config(cfg, [("PERIODE_ENR", 7), ("MODE_INTERFACE", 1)])
        with headless(VIREL, cfg, 45, ["--simulate", "--sim-options", "meter1=historique,base,swap:0.3"]) as run:
            rc, err, dump = run.wait()
        check(rc == 0, "code %s, stderr %s" % (rc, err))
        check(not err, "messages inattendus : %s" % err)
        m1 = check_meter_decoded(dump, 1)
        m2 = check_meter_decoded(dump, 2)
        check(m1["rejected_values"] > 0, "aucune valeur refusée au compteur 1 : %s" % m1)
        check(m2["rejected_values"] == 0, "valeurs refusées au compteur 2 : %s" % m2["rejected_values"])
        with open(os.path.join(cfg, "enregistrements.csv"), "rb") as f:
            lines = f.read().decode("cp1252").split("\r\n")
        # Meter 2 may be decoded after the file was created: a second header
        # then follows; meter 1's columns come first in both.
        rows = []
        for line in lines[2:]:
            cells = line.split(",")
            if line.startswith("date,"):
                check(line.startswith("date,hh:mm:ss,BASE,I,Pap VA,"), "en-tête : %r" % line)
            elif len(cells) >= 5 and cells[2].isdigit():
                h, m, s = (int(x) for x in cells[1].split(":"))
                rows.append(((h * 60 + m) * 60 + s, int(cells[2])))
        check(len(rows) >= 3, "trop peu de lignes : %r" % lines)
        faults = []
        for (t0, v0), (t1, v1) in zip(rows, rows[1:]):
            dt = (t1 - t0) % 86400
            # What the meter can count: twice its 30 A (the filter's margin:
            # a swap of the lowest digits within it passes, and the true
            # values after it are held back until the index reaches it),
            # over the rows' times, which are whole seconds.
            if v1 < v0 or v1 - v0 > 2 * 30 * 230 * (dt + 2) / 3600 + 1:
                faults.append("%d -> %d en %d s" % (v0, v1, dt))
        check(not faults, "index du compteur 1 : " + ", ".join(faults))
        check(rows[-1][1] <= int(m1["BASE"]), "dernière ligne %d, index %s" % (rows[-1][1], m1["BASE"]))


main(test)
