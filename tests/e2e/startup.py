"""The program's command line as a user or a menu entry meets it: any first
word other than exactly "start" is a normal launch, an unknown option gives
the usage, --help lists every option, the records of a run given
--config-dir go to that folder when no record folder is set, and the
windowed program and the headless runner start alike."""

import json
import os
import subprocess
import sys

from e2e_support import SIMULATED_NOTICE, check, main, temp_dir, write_ini

PROGRAM = sys.argv[1]
OPTIONS = ["start", "--simulate", "--auto", "--config-dir", "--headless", "--sim-options",
           "--sim-options-file", "--run-for", "--dump", "--help"]


def run(*args, timeout=60):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", LC_ALL="C.UTF-8")
    return subprocess.run([PROGRAM] + list(args), capture_output=True, timeout=timeout, env=env)


def command_line():
    with temp_dir("startup") as d:
        # Windowed, offscreen: a first word other than "start" launches normally.
        for word in ("START", "Start", "demarrer"):
            r = run(word, "--simulate", "--config-dir", d, "--run-for", "1")
            err = r.stderr.decode("utf-8", "replace")
            check(r.returncode == 0 and "option inconnue" not in err,
                  "%s : code %s, %r" % (word, r.returncode, err))
    r = run("--bogus")
    err = r.stderr.decode("utf-8", "replace")
    check(r.returncode == 2 and "option inconnue : --bogus" in err and "usage:" in err,
          "option inconnue : code %s, %r" % (r.returncode, err))
    r = run("--help")
    out = r.stdout.decode("utf-8", "replace")
    check(r.returncode == 0, "--help : code %s" % r.returncode)
    for option in OPTIONS:
        check(option in out, "--help ne cite pas %s :\n%s" % (option, out))


def records_in_the_data_folder():
    program_dir = os.path.dirname(os.path.abspath(PROGRAM))
    beside = os.path.join(program_dir, "enregistrements.csv")
    stamp = lambda: os.stat(beside).st_mtime_ns if os.path.exists(beside) else None
    before = stamp()
    with temp_dir("data") as d:
        write_ini(os.path.join(d, "vireluz_cfg.ini"), [("CONFIG_PRG", [("PERIODE_ENR", 7)])])
        r = run("--headless", "--simulate", "--config-dir", d, "--run-for", "12", timeout=60)
        err = r.stderr.decode("utf-8", "replace").splitlines()
        check(r.returncode == 0, "code %s : %s" % (r.returncode, err))
        check([l for l in err if not l.startswith(SIMULATED_NOTICE)] == [], "erreurs : %s" % err)
        check(os.path.getsize(os.path.join(d, "enregistrements.csv")) > 0,
              "pas d'enregistrement dans %s : %s" % (d, os.listdir(d)))
        check(stamp() == before, "enregistrement dans le dossier du programme")


def graphs_scale_at_start():
    """Both runs end by writing --dump: the graphs' vertical scale is 15 from
    the start (no meter sends anything here), windowed as headless."""
    for mode in ([], ["--headless"]):
        with temp_dir("dump") as d:
            dump = os.path.join(d, "dump.json")
            r = run(*mode, "--simulate", "--sim-options", "meter1=unplugged meter2=unplugged",
                    "--config-dir", d, "--run-for", "2", "--dump", dump)
            check(r.returncode == 0 and os.path.exists(dump),
                  "%s : code %s, %r" % (mode, r.returncode, r.stderr.decode("utf-8", "replace")))
            with open(dump, encoding="utf-8") as f:
                tops = [g["top"] for g in json.load(f)["graphs"]]
            check(tops == [15, 15], "%s : échelle des graphes %s" % (mode, tops))


def test():
    command_line()
    records_in_the_data_folder()
    graphs_scale_at_start()


main(test)
