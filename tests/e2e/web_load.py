"""The page under load: 31 pages following the live stream and one client
sending its request a byte every three seconds (32 connections, the limit;
a 33rd is refused at once), for 40 s of a headless run on the simulated
interface recording every 10 s. The records keep their times, the event
loop never stalls 50 ms, every page gets the frames, the slow client is
cut off at 10 s each time. Prints the resident memory with and without the
pages and the longest stall."""

import asyncio
import json
import os
import socket
import sys
import threading
import time

from e2e_support import check, check_limit, free_port, headless, main, temp_dir, write_config
from web_support import get, wait_listening, web_section

VIREL = sys.argv[1]
PAGES = 31
LOAD_S = 40

try:
    import websockets
except ImportError:
    websockets = None


def rss_kib(pid, key="VmRSS"):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return 0


class SlowClient(threading.Thread):
    """Sends a request head a byte every 3 s, again and again; notes how long
    each connection lasted before the server cut it."""

    def __init__(self, port, until):
        super().__init__(daemon=True)
        self.port, self.until, self.cut_after = port, until, []

    def run(self):
        while time.monotonic() < self.until - 12:
            s = socket.create_connection(("127.0.0.1", self.port))
            s.settimeout(3.0)
            start = time.monotonic()
            try:
                for b in b"GET / HTTP/1.1\r\nHost: h\r\nX-Lent: aaaaaaaaaaaaaaaaaaaa":
                    s.sendall(bytes([b]))
                    try:
                        if s.recv(1) == b"":
                            break
                    except socket.timeout:
                        pass
            except (BrokenPipeError, ConnectionResetError):
                pass
            self.cut_after.append(time.monotonic() - start)
            s.close()


async def page(port, counts, i, until):
    async with websockets.connect("ws://127.0.0.1:%d/flux" % port, origin="http://127.0.0.1:%d" % port,
                                  max_size=2 ** 20) as ws:
        while time.monotonic() < until:
            try:
                msg = await asyncio.wait_for(ws.recv(), max(0.1, until - time.monotonic()))
            except asyncio.TimeoutError:
                break
            if json.loads(msg)["type"] == "state":
                counts[i] += 1


async def load(port, run_pid, until):
    counts = [0] * PAGES
    tasks = [asyncio.create_task(page(port, counts, i, until)) for i in range(PAGES)]
    await asyncio.sleep(3)
    rss_loaded = rss_kib(run_pid)
    loop = asyncio.get_running_loop()
    refused = await loop.run_in_executor(None, lambda: get(port, "/")[0])
    await asyncio.gather(*tasks)
    return counts, rss_loaded, refused


def test():
    if websockets is None:
        sys.exit(77)
    with temp_dir("web_load") as d:
        port = free_port()
        stall = os.path.join(d, "stall.txt")
        write_config(d, prg=[("PERIODE_ENR", "7")], extra_sections=[web_section(port)])
        with headless(VIREL, d, LOAD_S + 40, args=["--simulate"], env={"VIRELUZ_WEB_STALL_FILE": stall}) as run:
            check(wait_listening(port), "la page n'est pas servie")
            time.sleep(4)
            rss_idle = rss_kib(run.proc.pid)
            t_start = time.monotonic()
            until = t_start + LOAD_S
            slow = SlowClient(port, until + 12)
            # The slow client first, so that the pages and it make 32 connections.
            slow.start()
            time.sleep(0.5)
            counts, rss_loaded, refused = asyncio.run(load(port, run.proc.pid, until))
            slow.join(20)
            hwm = rss_kib(run.proc.pid, "VmHWM")
            with open(stall) as f:
                seconds = [tuple(map(int, line.split())) for line in f if line.strip()]
            run.stop()
            rc, lines, _ = run.wait()
        check(rc == 0, "code de sortie %s : %s" % (rc, lines))
        check(refused == 503, "33e connexion : %s" % refused)
        check(min(counts) >= LOAD_S // 4, "messages reçus par page : %s" % counts)
        check(slow.cut_after and all(9.0 <= c <= 13.5 for c in slow.cut_after), "client lent : %s" % slow.cut_after)
        # The stall of every second of the load (the first seconds of the run,
        # start-up included, are left out).
        loaded = seconds[-(LOAD_S + 8):-4] if len(seconds) > LOAD_S + 12 else seconds[4:]
        worst = max(s for _, s in loaded)
        # Records every 10 s, on time.
        with open(os.path.join(d, "enregistrements.csv"), encoding="cp1252") as f:
            times = [l.split(",")[1] for l in f if l[:2].isdigit() and l.count(",") > 2]
        secs = [int(t[0:2]) * 3600 + int(t[3:5]) * 60 + int(t[6:8]) for t in times]
        gaps = [b - a for a, b in zip(secs, secs[1:])]
        check(len(gaps) >= LOAD_S // 10 - 1 and all(9 <= g <= 11 for g in gaps), "écarts des lignes : %s" % gaps)
        print("pages : %d, messages par page : %d à %d ; client lent coupé après %s s"
              % (PAGES, min(counts), max(counts), ", ".join("%.1f" % c for c in slow.cut_after)))
        print("mémoire résidente : %d Kio sans page, %d Kio avec %d pages et le client lent (pic %d Kio)"
              % (rss_idle, rss_loaded, PAGES, hwm))
        print("plus long retard de la boucle pendant la charge : %d ms ; lignes toutes les %s s" % (worst, sorted(set(gaps))))
        check_limit(worst < 50, "la boucle a pris %d ms de retard" % worst)


if __name__ == "__main__":
    main(test)
