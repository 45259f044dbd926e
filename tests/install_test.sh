#!/usr/bin/env bash
# Installs the build into a scratch prefix, then builds and runs the tiny
# consumer against it twice: as a CMake project (find_package) and with
# pkg-config. Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$1"
src="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
libdir="$(dirname "$(find "$work/prefix" -name 'libvorta.so' | head -n 1)")"

cmake -S "$src/tests/consumer" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
LD_LIBRARY_PATH="$libdir" "$work/cmake/consumer"

export PKG_CONFIG_PATH="$libdir/pkgconfig"
cc -std=c11 -Wall -Wextra -o "$work/consumer_pc" "$src/tests/consumer/consumer.c" \
   $(pkg-config --cflags --libs vorta)
LD_LIBRARY_PATH="$libdir" "$work/consumer_pc"
