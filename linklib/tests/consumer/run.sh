#!/usr/bin/env bash
# Installs the build into a scratch prefix, then builds and runs a small C
# program against the installed library, found through pkg-config and as a
# CMake package.
#   run.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
pc=$(dirname "$(find "$prefix" -name veska.pc | head -n 1)")
export PKG_CONFIG_PATH=$pc
echo "pkg-config: veska $(pkg-config --modversion veska)"
here=$(dirname "$0")
cc -std=c11 -Wall -Wextra -Werror -o "$prefix/consumer" "$here/consumer.c" \
  $(pkg-config --cflags --libs veska) -Wl,-rpath,"$(pkg-config --variable=libdir veska)"
"$prefix/consumer"
# The same program through the CMake package.
cmake -S "$here" -B "$prefix/cmake-consumer" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_RPATH="$(pkg-config --variable=libdir veska)" >/dev/null
cmake --build "$prefix/cmake-consumer" >/dev/null
"$prefix/cmake-consumer/consumer"
# The example in the API reference builds as it stands.
awk '/^```c$/{f=1;next}/^```$/{f=0}f' "$here/../../../docs/api.md" >"$prefix/example.c"
cc -std=c11 -Wall -Wextra -Werror -o "$prefix/example" "$prefix/example.c" $(pkg-config --cflags --libs veska)
echo "the API reference's example builds"
# The installed tools run from the prefix and find the installed library.
"$prefix/bin/veskactl" --version
# The Qt host modules land where the installed library looks for them.
if [ -e "$build/lib/veska/veska-qthost.so" ]; then
  test -e "$(pkg-config --variable=libdir veska)/veska/veska-qthost.so"
  test -e "$(pkg-config --variable=libdir veska)/veska/veska-qtwindow.so"
  echo "the Qt host modules are installed beside the library"
fi
