#!/usr/bin/env bash
# Sets up what is missing, builds every configuration and runs every test:
# the native build (core, prelivo-join, benchmark build), the same tests
# under AddressSanitizer and UndefinedBehaviorSanitizer, the libFuzzer
# targets for a bounded time, and the 32- and 64-bit Windows builds, whose
# tests run under Wine on a virtual X display. Ends with CTest's summary
# over all of them.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

bash tools/setup.sh
tools/wine-prefix

presets=(native asan fuzz win32 win64)
for preset in "${presets[@]}"; do
  echo "== build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

# One CTest run over all configurations, so that one summary closes it.
mkdir -p build/all
{
  for preset in "${presets[@]}"; do echo "subdirs(\"$root/build/$preset\")"; done
} > build/all/CTestTestfile.cmake

# Windows tests that open windows need an X display; a private one keeps
# them off any real desktop, on the first free display number.
# shellcheck source=desktop.sh
. tools/desktop.sh
desk_start_display build/all/display
trap 'desk_cleanup; WINEPREFIX="${WINEPREFIX:-$HOME/.wine-prelivo}" timeout 20 wineserver -k 2>/dev/null || true' EXIT

ctest --test-dir build/all --output-on-failure -j "$jobs"
