#!/usr/bin/env bash
# Builds the Debian packages from a build folder (veska: the library, veskactl
# and the simulator, for a server without any graphical library;
# veska-desktop: the desktop tools), then takes them apart in a scratch folder
# and checks what they hold and declare, and that what they install runs from
# where it lands.
#   test-package.sh BUILD_DIR PACKAGE_FILE_NAME DESKTOP_PACKAGE_FILE_NAME
set -euo pipefail
build=$(cd "$1" && pwd)
expected_name=$2
desktop_name=$3
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# --- the packages ----------------------------------------------------------
if ! cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  echo "FAIL: cpack" >&2
  exit 1
fi
deb="$scratch/out/$expected_name"
desktop_deb="$scratch/out/$desktop_name"
for d in "$deb" "$desktop_deb"; do
  if [ ! -f "$d" ]; then
    echo "FAIL: no $(basename "$d"); cpack made: $(cd "$scratch/out" && ls ./*.deb 2>/dev/null)" >&2
    exit 1
  fi
  echo "built $(basename "$d") ($(stat -c %s "$d") bytes)"
done

# --- what they declare ---------------------------------------------------------
version=${expected_name#veska_}
version=${version%%_*}
# Whether the list of relations $1 names the package $2 (with any version).
declares() { tr ',|' '\n' <<<"$1" | awk '{print $1}' | grep -qxF "$2"; }
for d in "$deb" "$desktop_deb"; do
  field() { dpkg-deb -f "$d" "$1"; }
  name=$(basename "$d")
  [ "$(field Version)" = "$version" ] || fail "$name: Version is '$(field Version)', not $version"
  [ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "$name: Architecture is '$(field Architecture)'"
  [ -n "$(field Maintainer)" ] || fail "$name: no Maintainer"
  [ "$(field Section)" = comm ] || fail "$name: Section is '$(field Section)'"
  [ -n "$(field Description)" ] || fail "$name: no Description"
  [ -z "$(field Homepage)" ] || fail "$name: a Homepage is declared"
  echo "$(field Package): Depends: $(field Depends)"
  [ -z "$(field Recommends)" ] || echo "$(field Package): Recommends: $(field Recommends)"
  # Everything under /usr, nothing under /usr/local or outside /usr.
  outside=$(dpkg-deb -c "$d" | awk '{print $6}' | grep -Ev '^\./(usr/?)?$' | grep -Ev '^\./usr/' || true)
  [ -z "$outside" ] || fail "$name: files outside /usr: $outside"
  ! dpkg-deb -c "$d" | awk '{print $6}' | grep -q '^\./usr/local' || fail "$name: files under /usr/local"
done
[ "$(dpkg-deb -f "$deb" Package)" = veska ] || fail "Package is '$(dpkg-deb -f "$deb" Package)'"
[ "$(dpkg-deb -f "$desktop_deb" Package)" = veska-desktop ] ||
  fail "the desktop package is '$(dpkg-deb -f "$desktop_deb" Package)'"

# The library's package runs on a server without a display: no graphical
# library among its dependencies.
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libc6 libstdc++6 libqt6core6; do
  declares "$depends" "$dep" || fail "veska: Depends lacks $dep"
done
for gui in libqt6gui6 libqt6widgets6 libqt6network6 qt6-qpa-plugins; do
  declares "$depends" "$gui" && fail "veska: Depends names the graphical $gui"
done
# The desktop tools: the same build's library, the toolkit, its platform
# plugin and Japanese texts, and IPA Gothic at least recommended.
depends=$(dpkg-deb -f "$desktop_deb" Depends)
for dep in veska libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 qt6-qpa-plugins \
  qt6-translations-l10n; do
  declares "$depends" "$dep" || fail "veska-desktop: Depends lacks $dep"
done
grep -qF "veska (= $version)" <<<"$depends" || fail "veska-desktop does not depend on veska (= $version)"
declares "$depends, $(dpkg-deb -f "$desktop_deb" Recommends)" fonts-ipafont-gothic ||
  fail "fonts-ipafont-gothic is neither a Depends nor a Recommends of veska-desktop"
# Packages built against the library learn which package and version they need.
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./shlibs 2>/dev/null | grep -qx "libveska 2 veska (>= $version)" ||
  fail "no shlibs line for libveska.so.2"

# What goes where.
holds() { dpkg-deb -c "$1" | awk '{print $6}' | grep -qx "\./usr/$2"; }
man1=share/man/man1
completion=share/bash-completion/completions/veskactl
for f in bin/veskactl bin/veska-htsim lib/veska/veska-qthost.so include/veska.h \
  $man1/veskactl.1.gz $man1/veska-htsim.1.gz $completion; do
  holds "$deb" "$f" || fail "veska lacks /usr/$f"
  holds "$desktop_deb" "$f" && fail "veska-desktop holds /usr/$f"
done
for f in bin/veskam bin/veskad bin/veskau lib/veska/veska-qtwindow.so share/applications/veskam.desktop \
  $man1/veskam.1.gz $man1/veskad.1.gz $man1/veskau.1.gz; do
  holds "$desktop_deb" "$f" || fail "veska-desktop lacks /usr/$f"
  holds "$deb" "$f" && fail "veska holds /usr/$f"
done

# Dependencies that this machine's package lists cannot satisfy: the library's
# package alone, and both.
if command -v apt-get >/dev/null; then
  if ! apt-get install --simulate --no-install-recommends "$deb" >"$scratch/apt.log" 2>&1; then
    cat "$scratch/apt.log" >&2
    fail "apt-get cannot install veska"
  fi
  if ! apt-get install --simulate --no-install-recommends "$deb" "$desktop_deb" >"$scratch/apt.log" 2>&1; then
    cat "$scratch/apt.log" >&2
    fail "apt-get cannot install veska and veska-desktop"
  fi
fi

# --- what it installs ---------------------------------------------------------
root="$scratch/root"
dpkg-deb -x "$deb" "$root"
dpkg-deb -x "$desktop_deb" "$root"
usr="$root/usr"
lib="$usr/lib"
must_exist() {
  for f in "$@"; do [ -e "$usr/$f" ] || fail "missing /usr/$f"; done
}
programs=(veskactl veska-htsim veskam veskad veskau)
for p in "${programs[@]}"; do
  [ -x "$usr/bin/$p" ] || fail "missing or not executable: /usr/bin/$p"
done
must_exist "lib/libveska.so.$version" include/veska.h lib/pkgconfig/veska.pc \
  lib/veska/veska-qthost.so \
  lib/cmake/veska/veskaConfig.cmake lib/cmake/veska/veskaConfigVersion.cmake \
  lib/cmake/veska/veskaTargets.cmake
compgen -G "$lib/cmake/veska/veskaTargets-*.cmake" >/dev/null || fail "no per-configuration targets file"
soname=$(readelf -d "$lib/libveska.so.$version" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libveska.so.2 ] || fail "SONAME is '$soname'"
for link in libveska.so.2 libveska.so; do
  [ -L "$lib/$link" ] || fail "/usr/lib/$link is not a symbolic link"
  [ "$(readlink -f "$lib/$link")" = "$(readlink -f "$lib/libveska.so.$version")" ] ||
    fail "/usr/lib/$link does not lead to libveska.so.$version"
done

for tool in veskam veskad veskau; do
  entry="$usr/share/applications/$tool.desktop"
  must_exist "share/applications/$tool.desktop" "share/icons/hicolor/scalable/apps/$tool.svg"
  [ -f "$entry" ] || continue
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$entry" || fail "$tool.desktop does not validate"
  fi
  grep -qx "Exec=$tool" "$entry" || fail "$tool.desktop does not start $tool"
  grep -qx "Icon=$tool" "$entry" || fail "$tool.desktop does not show the $tool icon"
  grep -q '^Name\[ja\]=.' "$entry" || fail "$tool.desktop has no Japanese name"
  grep -q '^Comment\[ja\]=.' "$entry" || fail "$tool.desktop has no Japanese comment"
  png="$usr/share/icons/hicolor/48x48/apps/$tool.png"
  file -b "$png" 2>/dev/null | grep -q '^PNG image data, 48 x 48' || fail "no 48x48 PNG icon for $tool"
done

# The manual pages: compressed, and man renders each without a warning (in
# a UTF-8 locale: the desktop tools' pages quote their Japanese texts).
for p in "${programs[@]}"; do
  page="$usr/$man1/$p.1.gz"
  [ -f "$page" ] || continue
  gzip -t "$page" 2>/dev/null || fail "$p.1.gz is not gzip-compressed"
  if ! command -v man >/dev/null; then
    fail "man (man-db) is missing: the manual pages cannot be checked"
    break
  fi
  if ! said=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >"$scratch/page.txt") ||
    [ -n "$said" ]; then
    fail "$p.1 does not render cleanly: $said"
  fi
  grep -q "^NAME" "$scratch/page.txt" || fail "$p.1 renders without a NAME section"
done
# The completion, sourced as bash-completion does, completes veskactl.
if said=$(bash -c 'source "$1" && complete -p veskactl' _ "$usr/$completion" 2>&1); then
  grep -q -- '-F _veskactl veskactl$' <<<"$said" || fail "the completion registers: $said"
else
  fail "the packaged completion does not load: $said"
fi

# Stripped, and found by RPATH relative to where they are, never the build folder.
modules=("$lib/veska/veska-qthost.so" "$lib/veska/veska-qtwindow.so")
for f in "${programs[@]/#/$usr/bin/}" "$lib/libveska.so.$version" "${modules[@]}"; do
  readelf -S "$f" | grep -q '\.debug_info' && fail "$f carries debug information"
  grep -qF "$build" "$f" && fail "$f names the build folder"
done
for p in "${programs[@]}"; do
  readelf -d "$usr/bin/$p" | grep -q "R.*PATH.*\[\$ORIGIN/../lib\]" || fail "$p has no \$ORIGIN/../lib RPATH"
done

# --- it runs from where it lands ------------------------------------------------
for p in veskactl veskam veskad veskau; do
  resolved=$(env -u LD_LIBRARY_PATH ldd "$usr/bin/$p" | awk '$1 == "libveska.so.2" {print $3}')
  if [ -z "$resolved" ] || [ "$(readlink -f "$resolved")" != "$(readlink -f "$lib/libveska.so.2")" ]; then
    fail "$p finds libveska.so.2 at '$resolved'"
  fi
  env -u LD_LIBRARY_PATH ldd "$usr/bin/$p" | grep -q 'not found' && fail "$p lacks a library"
done
for m in "${modules[@]}"; do
  env -u LD_LIBRARY_PATH ldd "$m" | grep -q 'not found' && fail "$(basename "$m") lacks a library"
done
# What a server without a display runs maps no graphical library.
for f in "$usr/bin/veskactl" "$usr/bin/veska-htsim" "$lib/libveska.so.$version" "$lib/veska/veska-qthost.so"; do
  gui=$(env -u LD_LIBRARY_PATH ldd "$f" | awk '{print $1}' | grep -E '^lib(Qt6(Gui|Widgets|Network)|X11|xcb|EGL|GL|fontconfig|dbus)' || true)
  [ -z "$gui" ] || fail "$(basename "$f") needs graphical libraries: $(tr '\n' ' ' <<<"$gui")"
done
if help=$(env -u LD_LIBRARY_PATH "$usr/bin/veskactl" --help 2>&1); then
  grep -q '^Usage: veskactl' <<<"$help" || fail "veskactl --help shows no usage"
  grep -q 'job show|run' <<<"$help" || fail "the packaged veskactl has no job commands"
else
  echo "$help" >&2
  fail "the extracted veskactl --help failed"
fi
env -u LD_LIBRARY_PATH "$usr/bin/veska-htsim" --help >/dev/null || fail "veska-htsim --help failed"
# The desktop tools start as themselves, with the toolkit's Japanese texts
# found (a tool says on stderr when they are missing).
if said=$(env -u LD_LIBRARY_PATH QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$scratch" \
  "$usr/bin/veskam" --version 2>&1); then
  grep -q '2\.03' <<<"$said" || fail "veskam --version says: $said"
  grep -q 'translations' <<<"$said" && fail "veskam: $said"
else
  fail "the extracted veskam --version failed: $said"
fi

# A program built against the extracted header, .pc file and library, with Qt
# loaded, makes the library load its Qt module from the extracted tree.
export PKG_CONFIG_PATH="$lib/pkgconfig"
[ "$(pkg-config --modversion veska)" = "$version" ] || fail "pkg-config gives version $(pkg-config --modversion veska)"
# shellcheck disable=SC2046
if cc -std=c11 -Wall -Wextra -Werror -o "$scratch/qthost_probe" "$here/qthost_probe.c" \
  $(pkg-config --cflags --libs veska) -Wl,-rpath,"$(pkg-config --variable=libdir veska)"; then
  if loaded=$(env -u LD_LIBRARY_PATH "$scratch/qthost_probe"); then
    [ "$(readlink -f "$loaded")" = "$(readlink -f "$lib/veska/veska-qthost.so")" ] ||
      fail "the library loaded its Qt module from $loaded"
    echo "the extracted library loaded $loaded"
  else
    fail "the extracted library did not load its Qt module"
  fi
else
  fail "a program does not build against the extracted header and .pc file"
fi

# The CMake package finds the extracted library.
mkdir -p "$scratch/consumer"
cat >"$scratch/consumer/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(veska_package_consumer C)
find_package(veska 2 REQUIRED)
get_target_property(location veska::veska LOCATION)
message(STATUS "veska::veska is ${location}")
EOF
if cmake_out=$(cmake -S "$scratch/consumer" -B "$scratch/consumer/build" -DCMAKE_PREFIX_PATH="$usr" 2>&1); then
  grep -qF "veska::veska is $lib/libveska.so.$version" <<<"$cmake_out" ||
    fail "find_package(veska) found: $(grep 'veska::veska is' <<<"$cmake_out")"
else
  echo "$cmake_out" >&2
  fail "find_package(veska) failed on the extracted CMake package"
fi

# The example service unit, pointed at the unpacked veskactl, parses without
# a word from systemd (which only warns about what it ignores).
if command -v systemd-analyze >/dev/null; then
  unit="$scratch/units/veska-job@check.service"
  mkdir -p "$scratch/units"
  sed "s|/usr/bin/veskactl|$usr/bin/veskactl|" "$here/../docs/systemd/veska-job@.service" >"$unit"
  if ! said=$(systemd-analyze verify "$unit" 2>&1) || [ -n "$said" ]; then
    echo "$said" >&2
    fail "systemd-analyze verify finds fault with docs/systemd/veska-job@.service"
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) of $expected_name failed" >&2
  exit 1
fi
echo "$expected_name: every check passed"
