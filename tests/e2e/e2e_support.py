"""Helpers shared by the end-to-end tests of the headless program: INI files
written as the Windows program writes them, runs of the program with a dump,
free ports and local peers that are always stopped."""

import contextlib
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


# Under AddressSanitizer (scripts/sanitize.sh sets VIRELUZ_SANITIZED=1) the
# program is several times slower and bigger than the one users run.
SANITIZED = os.environ.get("VIRELUZ_SANITIZED") == "1"


def check_limit(condition, message):
    """A time or memory limit: held by the ordinary build, only reported
    under the sanitizers."""
    if SANITIZED:
        if not condition:
            print("(sanitizers, not checked) " + message)
        return
    check(condition, message)


def main(test):
    """Runs test() and turns its outcome into the exit status CTest reads."""
    try:
        test()
    except Failure as e:
        print("ECHEC: " + str(e), file=sys.stderr)
        sys.exit(1)
    print("OK")


def write_ini(path, sections):
    """sections: list of (name, [(key, value), ...]); Windows-1252, CR LF."""
    lines = []
    for name, items in sections:
        lines.append("[%s]" % name)
        lines.extend("%s=%s" % (k, v) for k, v in items)
        lines.append("")
    with open(path, "wb") as f:
        f.write("\r\n".join(lines).encode("cp1252"))


def scramble(clear):
    """A key or password as the program stores it (each byte XOR 0x1F, for
    texts whose scrambled bytes need no escaping)."""
    out = bytes(b ^ 0x1F for b in clear.encode("cp1252"))
    assert all(b >= 0x20 and b != 0x10 for b in out)
    return out.decode("cp1252")


def grid(rows, colcount):
    """The INI sections of a table stored as a grid: GENERAL and one section
    per column holding its non-empty cells."""
    sections = [("GENERAL", [("COLCOUNT", colcount), ("ROWCOUNT", len(rows))])]
    for c in range(colcount):
        cells = [(str(r), row.get(c, "")) for r, row in enumerate(rows) if row.get(c, "") != ""]
        if cells:
            sections.append((str(c), cells))
    return sections


@contextlib.contextmanager
def temp_dir(prefix):
    d = tempfile.mkdtemp(prefix="vireluz_e2e_" + prefix + "_")
    try:
        yield d
    finally:
        shutil.rmtree(d, ignore_errors=True)


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Headless:
    """One run of `vireluz --headless` with a dump file; stderr lines are
    collected with the time (seconds since launch) each one arrived."""

    def __init__(self, exe, config_dir, run_for, args=(), prefix=(), env=None):
        self.dump_path = os.path.join(config_dir, "dump.json")
        self.cmd = list(prefix) + [exe, "--headless", "--config-dir", config_dir, "--run-for",
                                   str(run_for), "--dump", self.dump_path] + list(args)
        self.run_for = run_for
        self.lines = []  # (seconds since launch, text)
        full_env = dict(os.environ)
        full_env.update(env or {})
        self.start = time.monotonic()
        self.proc = subprocess.Popen(self.cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE, env=full_env, start_new_session=True)
        self.simulated_notices = 0
        self._reader = threading.Thread(target=self._read_stderr, daemon=True)
        self._reader.start()

    def _read_stderr(self):
        for raw in self.proc.stderr:
            text = raw.decode("utf-8", "replace").rstrip("\r\n")
            # The notice that the interface is simulated is expected, not a message.
            if text.startswith(SIMULATED_NOTICE):
                self.simulated_notices += 1
                continue
            self.lines.append((time.monotonic() - self.start, text))

    def elapsed(self):
        return time.monotonic() - self.start

    def stop(self):
        """Ends the run as a user would (SIGTERM: the dump is still written)."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)

    def wait(self, grace=20):
        """Waits for the end of the run; returns (exit status, stderr texts, dump)."""
        try:
            self.proc.wait(timeout=max(0, self.run_for - self.elapsed()) + grace)
        except subprocess.TimeoutExpired:
            self.kill()
            raise Failure("le programme ne s'est pas arrêté : " + " ".join(self.cmd))
        self._reader.join(5)
        dump = None
        if os.path.exists(self.dump_path):
            with open(self.dump_path, encoding="utf-8") as f:
                dump = json.load(f)
        return self.proc.returncode, [t for _, t in self.lines], dump

    def kill(self):
        if self.proc.poll() is None:
            with contextlib.suppress(ProcessLookupError):
                os.killpg(self.proc.pid, signal.SIGKILL)
            self.proc.wait()


# The first line of a run on the simulated interface.
SIMULATED_NOTICE = "vireluz: interface simulée"


@contextlib.contextmanager
def headless(*args, **kwargs):
    run = Headless(*args, **kwargs)
    try:
        yield run
    finally:
        run.kill()


def wait_until(predicate, timeout, step=0.5):
    """Polls predicate() until it gives a true value or timeout seconds pass."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() >= end:
            return value
        time.sleep(step)


def write_config(config_dir, prg=(), extra_sections=()):
    """vireluz_cfg.ini with CONFIG_PRG (records kept inside config_dir unless
    prg names another folder) and any further sections."""
    items = dict([("REPERTOIR_ENR", config_dir)] + list(prg))
    write_ini(os.path.join(config_dir, "vireluz_cfg.ini"),
              [("CONFIG_PRG", list(items.items()))] + list(extra_sections))


# The index fields that carry a meter's readings, by tariff kind.
INDEX_FIELDS = {0: ["HCHP", "HCHC"], 1: ["BASE"], 2: ["EJPHN", "EJPHPM"],
                3: ["BBRHCJB", "BBRHPJB", "BBRHCJW", "BBRHPJW", "BBRHCJR", "BBRHPJR"], 4: ["EAIT"]}


def check_meter_decoded(dump, meter):
    """The meter (1 or 2) was identified and its power and indexes decoded."""
    m = dump["meters"][meter - 1]
    label = "compteur %d" % meter
    check(m["identified"] and m["ADCO"] != "", "%s non identifié : %s" % (label, m))
    check(m["PAPP"].isdigit(), "%s : PAPP absent : %r" % (label, m["PAPP"]))
    fields = INDEX_FIELDS.get(m["tariff_kind"])
    check(fields is not None, "%s : option tarifaire inattendue %r" % (label, m["tariff_kind"]))
    for f in fields:
        check(m[f].isdigit(), "%s : index %s absent : %r" % (label, f, m[f]))
    return m


def write_alert_always_true(cfg, smtp_port):
    """An alert file whose one rule holds all the time (meter 1's power above
    0), mailed to a server on 127.0.0.1:smtp_port."""
    rule = {0: "Compteur 1", 1: "Puissance apparente", 2: ">", 3: "0", 4: "P=%V VA", 5: "0", 6: "4",
            7: "3", 8: "0", 9: "Après tempo.", 10: " ", 11: "0", 13: "0", 14: "0"}
    write_ini(os.path.join(cfg, "alertes_mails.ini"), [
        ("CONFIG_MAIL", [("ACTIF", 1), ("EMETTEUR", "vireluz@example.org"),
                         ("DESTINATAIRE", "moi@example.org"), ("SMTP", "127.0.0.1"),
                         ("PORT SMTP", smtp_port), ("ENTETE", "Alerte"), ("TABLEAU VIDE", "NON")]),
        ("CONFIG_ALERTE", [("REACTIVATION", 1), ("REDEMARRAGE PC", 0)]),
    ] + grid([rule], 17))
