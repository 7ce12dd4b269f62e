#!/usr/bin/env bash
# Takes the README's pictures of the desktop tools on a virtual X display
# (Xvfb), against simulated terminals: the manual tool's main window, progress
# window, settings dialog and a confirmation, and the auto tools' main
# windows, job editors, job confirmation and run window, in docs/screenshots.
#   docs/take-screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
need=()
for p in xvfb xauth; do
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
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x900x24" \
  build/bin/veskam_screenshots docs/screenshots
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x900x24" \
  build/bin/veska_auto_screenshots docs/screenshots
