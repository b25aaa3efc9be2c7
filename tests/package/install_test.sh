#!/usr/bin/env bash
# The package installed for real, as root, then purged:
#  1. apt-get installs it; its maintainer scripts record the unit for
#     deb-systemd-helper and leave it not enabled;
#  2. with a running systemd: the service's settings are given from the
#     command line before its first start, the unit is enabled and started
#     (the simulated interface added by a drop-in), and the hardened service
#     writes its record in /var/lib/vireluz; without one (a container), the
#     unit is enabled all the same (systemctl makes the links offline) and the
#     service's folder is made as systemd would;
#  3. apt-get purge leaves no file of the package, no enablement link or mask,
#     no deb-systemd-helper record and no service folder behind.
# Skipped when not root, or when vireluz is already installed on the machine.
#   install_test.sh PACKAGE_DIR (where package_test.sh left the .deb)
set -euo pipefail
DEB=$(realpath "$(ls "$1"/vireluz_*.deb)")
[ "$(id -u)" -eq 0 ] || { echo "installation réelle : root seulement, test sauté"; exit 77; }
for tool in apt-get dpkg-query deb-systemd-helper flock; do
  command -v "$tool" >/dev/null || { echo "$tool manque : test sauté"; exit 77; }
done
# One installation at a time on the machine (several work trees run tests).
exec 9>/tmp/vireluz_install_test.lock
flock -w 900 9
if dpkg-query -W -f='${Status}' vireluz 2>/dev/null | grep -qv 'not-installed'; then
  echo "vireluz est déjà installé sur cette machine : test sauté"
  exit 77
fi
APT=(apt-get -y -q -o DPkg::Lock::Timeout=600)
WORK=$(mktemp -d /tmp/vireluz_install.XXXXXX)
DROPIN=/run/systemd/system/vireluz.service.d
[ -d /var/lib/private ] && made_private=no || made_private=yes
cleanup() {
  rm -rf "$DROPIN"
  if dpkg-query -W -f='${Status}' vireluz 2>/dev/null | grep -qv 'not-installed'; then
    DEBIAN_FRONTEND=noninteractive "${APT[@]}" purge vireluz >/dev/null 2>&1 || true
  fi
  [ $made_private = no ] || rmdir /var/lib/private 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
export DEBIAN_FRONTEND=noninteractive
links() { find /etc/systemd/system -name 'vireluz*' 2>/dev/null | sort; }
[ -z "$(links)" ] || { echo "liens vireluz déjà présents : $(links)"; exit 1; }

echo "== apt-get install"
"${APT[@]}" --no-install-recommends --no-remove install "$DEB" >"$WORK/install.log" 2>&1 || { cat "$WORK/install.log"; exit 1; }
dpkg-query -L vireluz >"$WORK/files"
for f in /usr/bin/vireluz /usr/lib/systemd/system/vireluz.service /usr/lib/udev/rules.d/60-vireluz-ftdi.rules; do
  [ -e "$f" ] || { echo "$f non installé"; exit 1; }
done
[ -e /var/lib/systemd/deb-systemd-helper-enabled/vireluz.service.dsh-also ] ||
  { echo "l'unité n'est pas enregistrée auprès de deb-systemd-helper"; exit 1; }
[ -z "$(links)" ] || { echo "unité activée par l'installation : $(links)"; exit 1; }

echo "== enable"
if [ -d /run/systemd/system ]; then
  # Set up without a screen, before the first start: a record every 10 s.
  vireluz-tic settings --config-dir /var/lib/vireluz --set CONFIG_PRG.PERIODE_ENR=7 >/dev/null
  mkdir -p "$DROPIN"
  printf '[Service]\nExecStart=\nExecStart=/usr/bin/vireluz --headless --config-dir /var/lib/vireluz --simulate\n' \
    >"$DROPIN/simulate.conf"
  systemctl daemon-reload
  systemctl enable --now vireluz
  for _ in $(seq 60); do
    grep -q '^[0-9][0-9]/' /var/lib/vireluz/enregistrements.csv 2>/dev/null && break
    sleep 1
  done
  systemctl status --no-pager vireluz || true
  journalctl -u vireluz --no-pager -n 20 || true
  grep -q '^[0-9][0-9]/' /var/lib/vireluz/enregistrements.csv ||
    { echo "le service durci n'a rien enregistré dans /var/lib/vireluz"; exit 1; }
  # The settings written by root before the start are the service's own.
  [ "$(stat -c %U "$(readlink -f /var/lib/vireluz/vireluz_cfg.ini)")" != root ] ||
    { echo "vireluz_cfg.ini appartient à root"; exit 1; }
  rm -rf "$DROPIN"
else
  echo "systemd ne tourne pas : unité activée hors ligne, service non lancé"
  systemctl enable vireluz
  mkdir -p /var/lib/private/vireluz
  ln -s private/vireluz /var/lib/vireluz
  vireluz-tic settings --config-dir /var/lib/vireluz --set CONFIG_PRG.PERIODE_ENR=7 >/dev/null
fi
links
[ -n "$(links)" ] || { echo "aucun lien d'activation"; exit 1; }

echo "== apt-get purge"
"${APT[@]}" purge vireluz >"$WORK/purge.log" 2>&1 || { cat "$WORK/purge.log"; exit 1; }
left=$(links; ls -d /var/lib/vireluz /var/lib/private/vireluz 2>/dev/null; find /var/lib/systemd -name '*vireluz*')
while read -r f; do
  if [ -e "$f" ] && [ ! -d "$f" ]; then left+=$'\n'"$f"; fi
done <"$WORK/files"
if [ -n "$(echo "$left" | tr -d '[:space:]')" ]; then echo "restes après purge :$left"; exit 1; fi
echo "installation et purge propres"
