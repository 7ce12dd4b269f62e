#!/usr/bin/env bash
# Checks the Windows zip (scripts/package-windows): it holds exactly the
# library, its import library and (where built) veskactl.exe for each of x64
# and x86, veska.h and docs/windows.md, under one top folder; each DLL and
# program is of its folder's machine type, and needs no runtime DLL of the
# compiler (only the system's, and veska.dll beside it).
#   test-windows-zip.sh ZIP
set -euo pipefail
zip=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

top=$(basename "$zip" .zip)
listed=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
# veskactl.exe is packed where the Windows build makes it: both or neither.
expected="$top/docs/windows.md
$top/include/veska.h"
for arch in x64 x86; do
  expected+="
$top/$arch/libveska.dll.a
$top/$arch/veska.dll"
done
if grep -q '/veskactl\.exe$' <<<"$listed"; then
  expected+="
$top/x64/veskactl.exe
$top/x86/veskactl.exe"
  with_cli="with veskactl.exe"
else
  with_cli="without veskactl.exe (not built for Windows)"
fi
expected=$(sort <<<"$expected")
if [ "$listed" != "$expected" ]; then
  fail "the zip holds other files than expected:"
  diff <(echo "$expected") <(echo "$listed") | grep '^[<>]' >&2 || true
fi

unzip -q "$zip" -d "$scratch"
for arch in x64 x86; do
  case $arch in
    x64) tool=x86_64-w64-mingw32 machine='i386:x86-64' format=pei-x86-64 ;;
    x86) tool=i686-w64-mingw32 machine='i386' format=pei-i386 ;;
  esac
  for file in "$scratch/$top/$arch"/*.dll "$scratch/$top/$arch"/*.exe; do
    [ -f "$file" ] || continue
    name=$arch/$(basename "$file")
    header=$("$tool-objdump" -f "$file" 2>&1 || true)
    grep -q "file format $format\$" <<<"$header" ||
      fail "$name is not $format: $(grep -o 'file format.*' <<<"$header")"
    grep -q "^architecture: $machine," <<<"$header" || fail "$name is not for $machine"
    # The DLLs it needs: the system's, or veska.dll from the same folder.
    for dll in $("$tool-objdump" -p "$file" 2>/dev/null | awk '/DLL Name:/ {print $3}'); do
      case $dll in
        veska.dll) [ -f "$scratch/$top/$arch/veska.dll" ] || fail "$name needs veska.dll" ;;
        lib*.dll) fail "$name needs the compiler's $dll" ;;
      esac
    done
  done
  # The import library's members are of the same machine.
  members=$("$tool-objdump" -f "$scratch/$top/$arch/libveska.dll.a" | awk '/file format/ {print $NF}' | sort -u)
  [ "$members" = "pe-${format#pei-}" ] || fail "$arch/libveska.dll.a holds $members"
done

if [ "$failures" -gt 0 ]; then exit 1; fi
echo "test-windows-zip: $(basename "$zip"): x64 and x86 $with_cli, header and notes"
