"""What open pages cost the program: two headless runs on the simulated
interface side by side for the same minute, one with two pages open (each
loads the page's files, then follows the live stream as the browser does),
one with its page served but none open. Prints the CPU seconds of each
process over the minute and their ratio. Not part of the test suite (it
takes a minute per round): run it by hand.
  web_cost.py VIRELUZ [SECONDS] [ROUNDS]"""

import asyncio
import os
import sys
import time

from e2e_support import free_port, headless, temp_dir, write_config
from web_support import get, wait_listening, web_section

import websockets

VIREL = sys.argv[1]
SECONDS = float(sys.argv[2]) if len(sys.argv) > 2 else 60
ROUNDS = int(sys.argv[3]) if len(sys.argv) > 3 else 1


def cpu_s(pid):
    """CPU time of every thread of the process, in seconds (scheduler
    statistics: nanoseconds, where /proc/PID/stat counts 10 ms ticks)."""
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        with open("/proc/%d/task/%s/schedstat" % (pid, task)) as f:
            total += int(f.read().split()[0])
    return total / 1e9


async def page(port, until):
    for path in ["/", "/app.js", "/style.css", "/favicon.svg"]:
        await asyncio.get_running_loop().run_in_executor(None, get, port, path)
    async with websockets.connect("ws://127.0.0.1:%d/flux" % port, origin="http://127.0.0.1:%d" % port) as ws:
        while time.monotonic() < until:
            try:
                await asyncio.wait_for(ws.recv(), max(0.1, until - time.monotonic()))
            except asyncio.TimeoutError:
                break


def one_round(pages_on):
    """pages_on: which of the two runs (0 or 1) gets the pages, so that rounds
    can swap them and a difference between the two processes cancels out."""
    with temp_dir("web_cost_a") as da, temp_dir("web_cost_b") as db:
        ports = free_port(), free_port()
        for d, p in zip((da, db), ports):
            write_config(d, extra_sections=[web_section(p)])
        with headless(VIREL, da, SECONDS + 30, args=["--simulate"]) as a, \
                headless(VIREL, db, SECONDS + 30, args=["--simulate"]) as b:
            for p in ports:
                wait_listening(p)
            time.sleep(3)
            pids = [a.proc.pid, b.proc.pid]
            start = [cpu_s(pid) for pid in pids]
            until = time.monotonic() + SECONDS

            async def two_pages():
                await asyncio.gather(page(ports[pages_on], until), page(ports[pages_on], until))
            asyncio.run(two_pages())
            end = [cpu_s(pid) for pid in pids]
            a.stop()
            b.stop()
            a.wait()
            b.wait()
    with_pages, without = end[pages_on] - start[pages_on], end[1 - pages_on] - start[1 - pages_on]
    scale = 60.0 / SECONDS
    print("CPU par minute : %.3f s avec 2 pages ouvertes, %.3f s sans page ; rapport %.3f (charge %s)"
          % (with_pages * scale, without * scale, with_pages / without if without else float("nan"),
             open("/proc/loadavg").read().split()[0]), flush=True)
    return with_pages / without


ratios = sorted(one_round(i % 2) for i in range(ROUNDS))
print("rapport médian sur %d manches : %.3f" % (ROUNDS, ratios[len(ratios) // 2]))
