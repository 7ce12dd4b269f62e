#!/usr/bin/env bash
# The library's core and the interfaces of its platform and host layers
# include no system's headers: only the C++ standard library's (and
# <stdint.h> for the C interfaces), so that the core builds unchanged for
# every system and a system call can only be made through the platform layer.
#   core_includes_test.sh LINKLIB_SOURCE_DIR
set -euo pipefail
src=$1/src
# A platform's own helpers (platform/win32_*.h) belong to its implementations.
interfaces=$(ls "$src"/platform/*.h | grep -v '/win32_[^/]*\.h$')
# shellcheck disable=SC2086
found=$(grep -HnE '^\s*#\s*include\s*<[^>]*[./][^>]*>' \
  "$src"/core/*.cpp "$src"/core/*.h $interfaces "$src"/host/*.h |
  grep -vE '#\s*include\s*<stdint\.h>' || true)
if [ -n "$found" ]; then
  echo "system headers where only the standard library belongs:" >&2
  echo "$found" >&2
  exit 1
fi
echo "core and layer interfaces include standard headers only"
