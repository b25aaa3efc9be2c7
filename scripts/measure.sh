#!/usr/bin/env bash
# Measures VIRELUZ as a user feels it, on the simulated two-meter interface:
#   - start-up: launch to ready (configuration read, interface found, event
#     loop running), launch to the first decoded frame, and, for the windowed
#     program, launch to the main window shown;
#   - a run of DURATION seconds (default 600) reading both meters, headless
#     and windowed (under xvfb-run): average CPU % = (user + sys) / elapsed and
#     peak resident memory, from /usr/bin/time -v.
#
# usage: scripts/measure.sh [DURATION_S]
# environment:
#   VIRELUZ_BIN     the program (default: the first of build*/vireluz, newest first)
#   MEASURE_MODES   "headless windowed" (default) or either one
#
# Window shown: the program is started with VIRELUZ_SHOWN_FILE=<path>; a
# program that honours it writes there, once its main window is first exposed,
# the wall-clock time in milliseconds since the epoch (one integer). Without
# that hook the windowed figure is n/a; the headless "launch to ready" (a run
# that quits as soon as the event loop runs) is then the start-up figure.
set -euo pipefail

DURATION="${1:-600}"
case "$DURATION" in
  '' | *[!0-9.]*) echo "measure.sh: durée invalide : $DURATION" >&2; exit 2 ;;
esac
MODES="${MEASURE_MODES:-headless windowed}"
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
PY=/usr/bin/python3
[ -x "$PY" ] || PY=python3

BIN="${VIRELUZ_BIN:-}"
if [ -z "$BIN" ]; then
  BIN="$(ls -t "$ROOT"/build*/vireluz 2>/dev/null | head -n 1 || true)"
fi
if [ -z "$BIN" ] || [ ! -x "$BIN" ]; then
  echo "measure.sh: programme vireluz introuvable (construire, ou donner VIRELUZ_BIN)" >&2
  exit 2
fi
if [ ! -x /usr/bin/time ]; then
  echo "measure.sh: /usr/bin/time est nécessaire (paquet time)" >&2
  exit 2
fi

WORK="$(mktemp -d /tmp/vireluz_measure.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/cfg" "$WORK/enr"
# Two historic meters, a record every minute into the work folder, alerts and
# uploads off (nothing leaves the machine).
printf '[CONFIG_PRG]\r\nPERIODE_ENR=0\r\nMODE_INTERFACE=1\r\nTYPE_NOM_FICHIER=1\r\nREPERTOIR_ENR=%s\r\n' \
  "$WORK/enr" >"$WORK/cfg/vireluz_cfg.ini"
printf '[CONFIG_MAIL]\r\nACTIF=0\r\n' >"$WORK/cfg/alertes_mails.ini"

export LC_ALL=C.UTF-8
COMMON=(--simulate --config-dir "$WORK/cfg")

now_ms() { date +%s%3N; }

# Field of /usr/bin/time -v output: elapsed (s), user+sys (s), peak RSS (KiB).
time_fields() {
  "$PY" - "$1" <<'EOF'
import re, sys
t = open(sys.argv[1], encoding="utf-8", errors="replace").read()
def num(label):
    m = re.search(re.escape(label) + r":\s*([0-9.:]+)", t)
    return m.group(1) if m else "0"
el = num("Elapsed (wall clock) time (h:mm:ss or m:ss)")
parts = [float(p) for p in el.split(":")]
secs = 0.0
for p in parts:
    secs = secs * 60 + p
cpu = float(num("User time (seconds)")) + float(num("System time (seconds)"))
print(f"{secs:.3f} {cpu:.3f} {num('Maximum resident set size (kbytes)')}")
EOF
}

# meters[0].frame_count + meters[1].frame_count of a dump, 0 when missing.
decoded_frames() {
  "$PY" -c '
import json, sys
try:
    j = json.load(open(sys.argv[1]))
    print(sum(int(m.get("frame_count", 0)) for m in j.get("meters", [])))
except Exception:
    print(0)' "$1"
}

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {if (NR) print a[int((NR+1)/2)]; else print "n/a"}'; }

# run_timed OUT_PREFIX WRAPPER... -- ARGS: runs the program under /usr/bin/time -v
# (after the words of $LIMIT, e.g. "timeout -s TERM 600", when set).
LIMIT=""
run_timed() {
  local out="$1"; shift
  local wrap=()
  while [ "$1" != "--" ]; do wrap+=("$1"); shift; done
  shift
  # shellcheck disable=SC2086
  "${wrap[@]}" /usr/bin/time -v -o "$out.time" $LIMIT "$BIN" "$@" >"$out.stdout" 2>"$out.stderr" || true
}

declare -A R
for mode in $MODES; do
  case "$mode" in
    headless) WRAP=(env); EXTRA=(--headless) ;;
    windowed)
      if ! command -v xvfb-run >/dev/null; then
        echo "measure.sh: xvfb-run absent, mesure fenêtrée ignorée" >&2
        continue
      fi
      WRAP=(xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb)
      EXTRA=()
      ;;
    *) echo "measure.sh: mode inconnu : $mode" >&2; exit 2 ;;
  esac

  # Launch to ready: the run ends as soon as the event loop runs. (Only
  # headless: the windowed program's --run-for does not end it, its main
  # window refuses the quit.)
  R[$mode.ready]="n/a"
  if [ "$mode" = headless ]; then
    ready=""
    for i in 1 2 3 4 5; do
      run_timed "$WORK/$mode.ready$i" "${WRAP[@]}" -- "${EXTRA[@]}" "${COMMON[@]}" --run-for 0.001
      read -r el _ _ < <(time_fields "$WORK/$mode.ready$i.time")
      ready="$ready $el"
    done
    R[$mode.ready]="$(echo "$ready" | median)"
  fi

  # Launch to window shown, when the program reports it.
  R[$mode.shown]="n/a"
  if [ "$mode" = windowed ]; then
    shown=""
    for i in 1 2 3; do
      rm -f "$WORK/shown"
      t0="$(now_ms)"
      "${WRAP[@]}" VIRELUZ_SHOWN_FILE="$WORK/shown" timeout -s TERM 6 "$BIN" "${COMMON[@]}" \
        >/dev/null 2>&1 || true
      if [ -s "$WORK/shown" ]; then
        shown="$shown $("$PY" -c "print(($(head -c 20 "$WORK/shown") - $t0) / 1000)")"
      fi
    done
    [ -n "$shown" ] && R[$mode.shown]="$(echo "$shown" | median) (with xvfb-run)"
  fi

  # Launch to the first decoded frame: the shortest run whose dump holds one.
  R[$mode.first]="> 12"
  if [ "$mode" = headless ]; then
    for t in 1 1.5 2 2.5 3 3.5 4 4.5 5 5.5 6 7 8 10 12; do
      run_timed "$WORK/$mode.first" "${WRAP[@]}" -- "${EXTRA[@]}" "${COMMON[@]}" --run-for "$t" \
        --dump "$WORK/dump.json"
      if [ "$(decoded_frames "$WORK/dump.json")" -gt 0 ]; then
        R[$mode.first]="<= $t"
        break
      fi
    done
  else
    R[$mode.first]="(see headless)"
  fi

  # The long run. The windowed program reads from the automatic start
  # ("start": minimised, reading without a click); its --run-for does not end
  # it (the main window refuses the quit), so a SIGTERM at the end of the
  # duration does, and it writes no dump.
  echo "measure.sh: $mode, ${DURATION} s..." >&2
  if [ "$mode" = windowed ]; then
    LIMIT="timeout -s TERM $DURATION"
    run_timed "$WORK/$mode.run" "${WRAP[@]}" -- start "${COMMON[@]}"
    LIMIT=""
  else
    run_timed "$WORK/$mode.run" "${WRAP[@]}" -- "${EXTRA[@]}" "${COMMON[@]}" --run-for "$DURATION" \
      --dump "$WORK/$mode.dump.json"
  fi
  read -r el cpu rss < <(time_fields "$WORK/$mode.run.time")
  R[$mode.elapsed]="$el"
  R[$mode.cpu]="$("$PY" -c "e=$el; print(f'{100*$cpu/e:.2f}' if e > 0 else 'n/a')")"
  R[$mode.rss]="$("$PY" -c "print(f'{$rss/1024:.1f}')")"
  R[$mode.frames]="n/a"
  [ -f "$WORK/$mode.dump.json" ] && R[$mode.frames]="$(decoded_frames "$WORK/$mode.dump.json")"
  # Qt's notice about XDG_RUNTIME_DIR is not the program's.
  R[$mode.errors]="$({ grep -v -e '^\s*$' -e 'XDG_RUNTIME_DIR' "$WORK/$mode.run.stderr" || true; } | wc -l)"
  if [ "${R[$mode.errors]}" != 0 ]; then
    echo "measure.sh: $mode: stderr du programme :" >&2
    { grep -v -e '^\s*$' -e 'XDG_RUNTIME_DIR' "$WORK/$mode.run.stderr" || true; } | head -n 5 >&2
  fi
done

echo
echo "VIRELUZ, simulated two-meter interface, $(basename "$BIN") = $BIN"
printf '%-34s' "measure"
for mode in $MODES; do printf '%28s' "$mode"; done
echo
row() {
  printf '%-34s' "$1"
  for mode in $MODES; do printf '%28s' "${R[$mode.$2]:-n/a}"; done
  echo
}
row "launch to ready (s, median of 5)" ready
row "launch to window shown (s)" shown
row "launch to first decoded frame (s)" first
row "run elapsed (s)" elapsed
row "average CPU (%)" cpu
row "peak RSS (MiB)" rss
row "frames decoded in the run" frames
row "stderr lines in the run" errors
