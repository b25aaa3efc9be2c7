#!/usr/bin/env bash
# The Debian package, as a user gets it:
#  1. cpack -G DEB builds it from the build folder (kept in BUILD_DIR/package
#     for the installation test);
#  2. it holds the maintainer scripts, its programs carry Debian's hardening
#     (hardening-check), and lintian finds no error in it (the warnings kept
#     are explained in the README, "The Debian package");
#  3. extracted (dpkg-deb -x) into a temporary root that the running user
#     cannot write, the program runs headless for 20 s on the simulated
#     interface as an unprivileged user with a fresh HOME: its INI files and
#     records are in that user's configuration folder, nothing else is
#     written, and no error line is printed;
#  4. systemd-analyze accepts the service unit and rates it "OK" (2.0 or
#     less) in its security review (skipped without systemd-analyze).
#   package_test.sh BUILD_DIR
set -euo pipefail
BUILD=$1
RUN_S=${VIRELUZ_PACKAGE_RUN_S:-20}
for tool in cpack dpkg-deb dpkg-shlibdeps lintian hardening-check; do
  command -v "$tool" >/dev/null || { echo "$tool manque : test sauté (scripts/install-deps.sh)"; exit 77; }
done
WORK=$(mktemp -d /tmp/vireluz_pkg.XXXXXX)
trap 'chmod -R u+w "$WORK" 2>/dev/null; rm -rf "$WORK"' EXIT
chmod 755 "$WORK"

echo "== cpack"
rm -rf "$BUILD/package"
cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$BUILD/package" >"$WORK/cpack.log" 2>&1 ||
  { cat "$WORK/cpack.log"; exit 1; }
rm -rf "$BUILD/package/_CPack_Packages"
DEB=$(ls "$BUILD"/package/*.deb)
echo "$(basename "$DEB"): $(stat -c %s "$DEB") octets"
dpkg-deb -f "$DEB" Package Version Depends Installed-Size

echo "== contents"
dpkg-deb -c "$DEB" | awk '{print $1, $6}' >"$WORK/contents"
for f in ./usr/bin/vireluz ./usr/bin/vireluz-tic ./usr/share/applications/vireluz.desktop \
  ./usr/share/icons/hicolor/scalable/apps/vireluz.svg ./usr/lib/udev/rules.d/60-vireluz-ftdi.rules \
  ./usr/lib/systemd/system/vireluz.service ./usr/share/doc/vireluz/copyright; do
  grep -q " $f\$" "$WORK/contents" || { cat "$WORK/contents"; echo "manque dans le paquet : $f"; exit 1; }
done
grep -q '^-rwxr-xr-x ./usr/bin/vireluz$' "$WORK/contents" || { echo "vireluz n'est pas exécutable"; exit 1; }
dpkg-deb -f "$DEB" Depends | grep -q 'libqt6widgets6' || { echo "Depends sans Qt : shlibdeps ?"; exit 1; }
for script in postinst prerm postrm; do
  dpkg-deb --ctrl-tarfile "$DEB" | tar -tvf - | grep -q "^-rwxr-xr-x .* ./$script\$" ||
    { dpkg-deb --ctrl-tarfile "$DEB" | tar -tvf -; echo "script $script absent ou non exécutable"; exit 1; }
done

echo "== lintian"
# Without errors; the tags left are warnings and informations explained in the README.
lintian --tag-display-limit 0 --fail-on error "$DEB" >"$WORK/lintian.log" 2>&1 || true
cat "$WORK/lintian.log"
if grep -q '^E: ' "$WORK/lintian.log"; then echo "lintian : erreurs"; exit 1; fi
if grep -qiE 'internal error|^lintian: ' "$WORK/lintian.log"; then echo "lintian n'a pas pu vérifier"; exit 1; fi

ROOT=$WORK/root
dpkg-deb -x "$DEB" "$ROOT"

echo "== hardening"
# Stack protector, fortified functions, RELRO, BIND_NOW and PIE, each "yes"
# (Debian 12's dpkg-buildflags asks for no control-flow protection).
if [ "${VIRELUZ_SANITIZED:-0}" = 1 ]; then
  # A sanitizer build is not built with the package's flags (scripts/sanitize.sh).
  echo "build avec les sanitizers : durcissement non vérifié"
else
  hardening-check --nocfprotection "$ROOT/usr/bin/vireluz" "$ROOT/usr/bin/vireluz-tic" ||
    { echo "durcissement incomplet"; exit 1; }
fi

echo "== run as an unprivileged user"
HOME_DIR=$WORK/home
mkdir -p "$HOME_DIR"
if [ "$(id -u)" -eq 0 ]; then
  RUN_USER=nobody
  chown -R root:root "$ROOT"
  chmod -R go-w "$ROOT"
  chown "$RUN_USER" "$HOME_DIR"
  as_user() { runuser -u "$RUN_USER" -- "$@"; }
else
  chmod -R a-w "$ROOT"
  as_user() { "$@"; }
fi
if as_user test -w "$ROOT/usr/bin"; then echo "la racine extraite reste modifiable"; exit 1; fi
CFG=$HOME_DIR/.config/vireluz
# The user's configuration: a record every 10 seconds.
as_user mkdir -p "$CFG"
printf '[CONFIG_PRG]\r\nPERIODE_ENR=7\r\n' | as_user tee "$CFG/vireluz_cfg.ini" >/dev/null
before=$(cd "$ROOT" && find . | sort | md5sum)
set +e
as_user env -i HOME="$HOME_DIR" PATH=/usr/bin:/bin LC_ALL=C.UTF-8 \
  "$ROOT/usr/bin/vireluz" --headless --simulate --run-for "$RUN_S" >"$WORK/out.txt" 2>"$WORK/err.txt"
rc=$?
set -e
echo "exit $rc; stderr:"
cat "$WORK/err.txt"
[ $rc -eq 0 ] || { echo "le programme a échoué"; exit 1; }
# The first line says the interface is simulated; nothing else is said.
if [ "$(grep -vc '^vireluz: interface simulée' "$WORK/err.txt")" -ne 0 ]; then echo "ligne d'erreur"; exit 1; fi
ls -l "$CFG"
[ -s "$CFG/enregistrements.csv" ] || { echo "pas d'enregistrement dans $CFG"; exit 1; }
rows=$(grep -c '^[0-9][0-9]/' "$CFG/enregistrements.csv" || true)
[ "$rows" -ge 1 ] || { cat "$CFG/enregistrements.csv"; echo "aucune ligne enregistrée"; exit 1; }
[ -f "$CFG/vireluz_cfg.ini" ] || { echo "configuration disparue"; exit 1; }
after=$(cd "$ROOT" && find . | sort | md5sum)
[ "$before" = "$after" ] || { echo "le programme a écrit dans son dossier d'installation"; exit 1; }
# Nothing beside the configuration folder in the fresh HOME.
extra=$(cd "$HOME_DIR" && find . -mindepth 1 | grep -v '^./.config$' | grep -v '^./.config/vireluz' || true)
[ -z "$extra" ] || { echo "écrit hors du dossier de configuration : $extra"; exit 1; }

echo "== systemd unit"
if command -v systemd-analyze >/dev/null; then
  # The unit as installed, its command pointed at the extracted program;
  # systemd-analyze prints a line for every key or value it does not accept.
  mkdir "$WORK/unit"
  sed "s|/usr/bin/vireluz|$ROOT/usr/bin/vireluz|" "$ROOT/usr/lib/systemd/system/vireluz.service" \
    >"$WORK/unit/vireluz.service"
  set +e
  systemd-analyze verify "$WORK/unit/vireluz.service" >"$WORK/verify.log" 2>&1
  rc=$?
  set -e
  cat "$WORK/verify.log"
  if [ $rc -ne 0 ] || [ -s "$WORK/verify.log" ]; then echo "systemd-analyze refuse l'unité"; exit 1; fi
  systemd-analyze security --offline=true "$WORK/unit/vireluz.service" >"$WORK/security.log" 2>&1 || true
  grep -v '^✓' "$WORK/security.log"
  score=$(sed -n 's/.*Overall exposure level for vireluz.service: \([0-9.]*\).*/\1/p' "$WORK/security.log")
  [ -n "$score" ] || { echo "systemd-analyze security n'a pas noté l'unité"; exit 1; }
  awk -v s="$score" 'BEGIN { exit !(s <= 2.0) }' || { echo "unité trop exposée : $score"; exit 1; }
  # The interface's devices stay reachable, as systemd reads the unit: the
  # FTDI chip through libusb (/dev/bus/usb) and its serial port.
  for dev in char-usb_device:rw char-ttyUSB:rw; do
    grep '^✗ DeviceAllow=' "$WORK/security.log" | grep -q " $dev" || { echo "$dev non autorisé"; exit 1; }
  done
  grep -q '^ExecStart=/usr/bin/vireluz --headless --config-dir /var/lib/vireluz$' \
    "$ROOT/usr/lib/systemd/system/vireluz.service" || { echo "commande du service"; exit 1; }
else
  echo "systemd absent : vérification de l'unité sautée"
fi
echo "paquet correct"
