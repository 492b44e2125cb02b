#!/usr/bin/env bash
# The README's run command: sets up what is missing, builds, and shows
# Prelivo doing its job. First prelivo-join on the OCR-like sample; then the
# window: on a desktop (DISPLAY set) Prelivo opens there under Wine, to be
# used by hand; without a display a short scripted demonstration runs on a
# virtual one (the sample copied, one click in the edit box, the joined text
# pasted and printed) and a screenshot of the window is saved.
set -eu
cd "$(dirname "$0")/.."
native=${PRELIVO_NATIVE_BUILD:-build/native}
win32=${PRELIVO_WIN32_BUILD:-build/win32}
sample=samples/ocr-sample.txt

bash tools/setup.sh
tools/wine-prefix
cmake --preset native -B "$native" >/dev/null
cmake --build "$native" -j "$(nproc)" --target prelivo-join
cmake --preset win32 -B "$win32" >/dev/null
cmake --build "$win32" -j "$(nproc)" --target prelivo desktop_probe

echo "== $sample, as copied:"
cat "$sample"
echo
echo "== joined by prelivo-join:"
"$native/cli/prelivo-join" "$sample"

if [ -n "${DISPLAY:-}" ]; then
  echo
  echo "== Prelivo's window on $DISPLAY: copy text anywhere, click in the window, paste"
  echo "   the joined text; a double-click empties the box, Esc closes the window."
  # Bounded like every Wine call here, by a day rather than minutes.
  status=0
  PRELIVO_WINE_TIMEOUT=${PRELIVO_WINE_TIMEOUT:-86400} tools/wine-run "$win32/ui/prelivo.exe" || status=$?
  echo "Prelivo ended with exit code $status"
  exit "$status"
fi

# shellcheck source=desktop.sh
. tools/desktop.sh
work=$(mktemp -d "$win32/demo.XXXXXX")
trap 'desk_cleanup; rm -rf "$work"' EXIT
screenshot=$(realpath "$win32")/prelivo-demo.png

echo
echo "== no DISPLAY: Prelivo under Wine on a virtual display"
desk_start_display "$work"
desk_make_prefix
desk_start_program "$win32/ui/prelivo.exe" "$win32/tests/e2e/desktop_probe.exe"
echo "window open on $DISPLAY; $sample copied to the clipboard"
desk_copy_text "$sample"
echo "one click in the edit box"
desk_click
desk_await_clipboard_taken
echo "== pasted from the clipboard after the click:"
desk_paste
echo
desk_screenshot "$screenshot"
echo "Esc closes the window: exit code $(desk_close)"
echo "== screenshot of the window: $screenshot"
