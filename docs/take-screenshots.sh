#!/usr/bin/env bash
# Takes the README's pictures of the desktop tools as a user sees them: on a
# virtual X display (Xvfb) with a window manager (openbox), so that every
# window has its frame, title and program icon, against simulated terminals.
# The manual tool's main window, progress window, settings dialog, a
# confirmation and an error box; the auto tools' main windows, job editors,
# job confirmation, run window and the file dialog, in docs/screenshots.
#   docs/take-screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
need=()
for p in xvfb xauth openbox; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "take-screenshots: missing packages: ${need[*]}; run as root (or install them) first" >&2
    exit 1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
scripts/setup default
cmake --build --preset default --target veskam_screenshots veska_auto_screenshots

# Inside the display: the window manager first, then the pictures.
# shellcheck disable=SC2016
inside='
set -euo pipefail
ready=$(mktemp -u)
openbox --startup "touch $ready" >/dev/null 2>&1 &
wm=$!
trap "kill $wm 2>/dev/null || true; rm -f $ready" EXIT
for _ in $(seq 100); do [ -e "$ready" ] && break; sleep 0.1; done
[ -e "$ready" ] || { echo "take-screenshots: the window manager did not start" >&2; exit 1; }
build/bin/veskam_screenshots docs/screenshots
build/bin/veska_auto_screenshots docs/screenshots
'
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x900x24" bash -c "$inside"
