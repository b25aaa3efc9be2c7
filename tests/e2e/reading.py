"""Reading the simulated interface without windows: two meters in turn (a
historic and a standard one), a meter that is not wired, the XBee interface
and the one-meter interface. The four runs go side by side."""

import contextlib
import sys

from e2e_support import check, check_meter_decoded, headless, main, temp_dir, write_config

VIREL = sys.argv[1]
CHECK = "Vérifier branchement"


def test():
    with contextlib.ExitStack() as stack:
        dirs = [stack.enter_context(temp_dir(n)) for n in ("two", "unplugged", "xbee", "usb1")]
        two_dir, unplugged_dir, xbee_dir, usb1_dir = dirs
        write_config(two_dir, [("MODE_TIC_cpt2", 1)])
        for d in dirs[1:]:
            write_config(d)
        two = stack.enter_context(
            headless(VIREL, two_dir, 30, ["--simulate", "--sim-options", "meter1=historique,mono,hc"]))
        unplugged = stack.enter_context(
            headless(VIREL, unplugged_dir, 25, ["--simulate", "--sim-options", "meter2=unplugged"]))
        xbee = stack.enter_context(headless(VIREL, xbee_dir, 15, ["--simulate=xbee"]))
        usb1 = stack.enter_context(headless(VIREL, usb1_dir, 20, ["--simulate=usb1"]))

        # Two meters: both decoded, switched back and forth, never reported missing.
        rc, err, dump = two.wait()
        check(rc == 0 and dump is not None, "deux compteurs : code %s, stderr %s" % (rc, err))
        check(dump["Simulated"] is True, "Simulated: %r" % dump["Simulated"])
        # Simulated values never pass for real ones: stderr and the label say so.
        check(two.simulated_notices == 1, "avis d'interface simulée : %d" % two.simulated_notices)
        label = dump["fields"]["Label_type_interface"]["text"]
        check(label == "USB 2 compteurs (simulée)", "Label_type_interface : %r" % label)
        check(dump["InterfaceDescription"] == "Interface USB -> Compteur", dump["InterfaceDescription"])
        check_meter_decoded(dump, 1)
        check(check_meter_decoded(dump, 2)["VTIC"] == 2, "compteur 2 pas en mode standard : %s"
              % dump["meters"][1])
        check(dump["meters"][0]["tariff_kind"] == 0, "compteur 1 pas en HC : %s" % dump["meters"][0])
        check(dump["MeterSwitches"] >= 2, "MeterSwitches = %r" % dump["MeterSwitches"])
        check(dump["ReadingActive"] is True, "la lecture s'est arrêtée : %s" % err)
        check(not any(CHECK in line for line in err), "message inattendu : %s" % err)

        # Meter 2 not wired: reading stops on the watchdog after the first switch.
        rc, err, dump = unplugged.wait()
        check(rc == 0 and dump is not None, "compteur 2 débranché : code %s, stderr %s" % (rc, err))
        hits = [(t, line) for t, line in unplugged.lines if "Vérifier branchement Compteur 2" in line]
        check(hits, "pas de message « Vérifier branchement Compteur 2 » : %s" % err)
        # Reading starts at once; the switch comes at a 5 s tick once five packets
        # (about 1.3 s each at 1200 baud) have arrived, i.e. at 10 s, and the
        # watchdog fires one interval later.
        check(dump["MeterSwitches"] == 1, "MeterSwitches = %r" % dump["MeterSwitches"])
        check(8 <= hits[0][0] <= 17, "message à %.1f s du lancement (attendu 10 + 5 s)" % hits[0][0])
        check(dump["ReadingActive"] is False, "ReadingActive: %r" % dump["ReadingActive"])
        check(not any("Compteur 1" in line for line in err), "compteur 1 signalé : %s" % err)
        check_meter_decoded(dump, 1)

        # The XBee interface is recognised by its description.
        rc, err, dump = xbee.wait()
        check(rc == 0 and dump is not None, "XBee : code %s, stderr %s" % (rc, err))
        check(dump["InterfaceFound"] is True, "XBee : interface non trouvée")
        check(dump["InterfaceDescription"] == "Interface XBEE -> Compteur", dump["InterfaceDescription"])
        check_meter_decoded(dump, 1)

        # The one-meter interface never switches.
        rc, err, dump = usb1.wait()
        check(rc == 0 and dump is not None, "un compteur : code %s, stderr %s" % (rc, err))
        check(dump["InterfaceDescription"] == "Interface USB 1 TIC", dump["InterfaceDescription"])
        check(dump["MeterSwitches"] == 0, "un compteur : MeterSwitches = %r" % dump["MeterSwitches"])
        check(dump["ActiveMeter"] == 1 and dump["ReadingActive"] is True, "un compteur : %s" % err)
        check_meter_decoded(dump, 1)
        check(not dump["meters"][1]["identified"], "un compteur : compteur 2 identifié")
        check(not err, "un compteur : stderr %s" % err)


main(test)
