"""A broker that accepts the TCP connection and never answers (a listening
socket whose connections are never taken: the system completes them and
keeps what the program sends). Two headless runs of 40 s publish to it, one
in plain MQTT with both meters, one with TLS; a third run without MQTT is
the reference. Waiting for an answer must cost next to nothing: each MQTT run
stays under 4 s of CPU, and says once which step got no answer."""

import contextlib
import os
import socket
import sys

from e2e_support import check, headless, main, temp_dir, write_config

VIREL = sys.argv[1]
RUN_S = 40
LIMIT_CPU_S = 4.0


def cpu_seconds(proc):
    """CPU time of a finished run (user + system), reaping it."""
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = os.waitstatus_to_exitcode(status)
    return usage.ru_utime + usage.ru_stime


def test():
    silent = socket.create_server(("127.0.0.1", 0), backlog=64)
    port = silent.getsockname()[1]
    runs_def = {
        "mqtt": ("--simulate", [("ACTIF", 1), ("SERVEUR", "127.0.0.1"), ("PORT", port)]),
        "tls": ("--simulate=usb1", [("ACTIF", 1), ("SERVEUR", "127.0.0.1"), ("PORT", port), ("TLS", 1)]),
        "off": ("--simulate", [("ACTIF", 0)]),
    }
    with temp_dir("mqtt_silent") as work, contextlib.ExitStack() as stack:
        runs, cpu = {}, {}
        for name, (kind, mqtt) in runs_def.items():
            d = os.path.join(work, name)
            os.mkdir(d)
            write_config(d, extra_sections=[("CONFIG_MQTT", mqtt)])
            runs[name] = stack.enter_context(headless(VIREL, d, RUN_S, [kind]))
        for name, run in runs.items():
            cpu[name] = cpu_seconds(run.proc)
            run._reader.join(5)
            check(run.proc.returncode == 0, "%s : code %s" % (name, run.proc.returncode))
    silent.close()
    print("CPU in %d s: MQTT to a silent broker %.2f s, with TLS (one meter) %.2f s, MQTT off %.2f s"
          % (RUN_S, cpu["mqtt"], cpu["tls"], cpu["off"]))
    for name, step in (("mqtt", "pas de réponse à la demande de connexion"), ("tls", "négociation TLS inachevée")):
        check(cpu[name] < LIMIT_CPU_S, "%s : %.2f s de CPU en %d s" % (name, cpu[name], RUN_S))
        lines = [t for _, t in runs[name].lines]
        check(len(lines) == 1 and "ne répond pas : " + step in lines[0], "%s : messages %s" % (name, lines))


main(test)
