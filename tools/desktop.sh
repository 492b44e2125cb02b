# Drives prelivo.exe from outside, as a person would: a private X display,
# the program under Wine in a virtual desktop there (so that Wine draws the
# frame and the caption), text or a picture put on the X clipboard by another
# program, real pointer and key events through XTEST, and the clipboard read
# back as the next program would paste it. Sourced by tools/run.sh (the
# demonstration) and tests/e2e/e2e_test.sh (the end-to-end test).
#
# Every Wine and X call is bounded in time. Call desk_cleanup when done
# (the callers do it from an EXIT trap); it ends everything started here.

DESK_NAME=prelivo
DESK_SIZE=1024x768
DESK_TITLE='^Prelivo--Korvessa'
DESK_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

desk_fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# desk_start_display WORKDIR
# Starts Xvfb on the first free display from :60 up and exports DISPLAY.
desk_start_display() {
  mkdir -p "$1"
  DESK_WORK=$(realpath "$1")
  local n
  for n in $(seq 60 96); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    # Bounded too, in case nothing is left to clean up after a killed run.
    timeout 900 Xvfb ":$n" -screen 0 "${DESK_SIZE}x24" -nolisten tcp >"$DESK_WORK/xvfb.log" 2>&1 &
    DESK_XVFB_PID=$!
    local tries owner
    for tries in $(seq 100); do
      # Another run may have taken the number a moment earlier: its server
      # then answers on the display and holds the lock file, this Xvfb ends,
      # and the next number is tried.
      kill -0 "$DESK_XVFB_PID" 2>/dev/null || break
      if timeout 5 xdpyinfo -display ":$n" >/dev/null 2>&1; then
        owner=$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null) || break
        [ "$(ps -o ppid= -p "$owner" | tr -d ' ')" = "$DESK_XVFB_PID" ] || break
        export DISPLAY=":$n"
        return 0
      fi
      sleep 0.05
    done
    kill "$DESK_XVFB_PID" 2>/dev/null || true
    DESK_XVFB_PID=
  done
  desk_fail "no free X display between :60 and :96"
}

# desk_make_prefix
# A Wine prefix of this run's own, so that its clipboard and desktop are not
# shared with Wine programs running at the same time. It is copied from the
# project's prefix (made by tools/wine-prefix) with hard links for the large
# Windows folder, which Wine only reads; what Wine writes (the registry, the
# user folders) is copied.
desk_make_prefix() {
  local template=${WINEPREFIX:-$HOME/.wine-prelivo}
  WINEPREFIX=$template "$DESK_ROOT/tools/wine-prefix"
  DESK_PREFIX=$DESK_WORK/prefix
  mkdir -p "$DESK_PREFIX/drive_c"
  cp -a "$template/dosdevices" "$template"/*.reg "$template/.update-timestamp" "$DESK_PREFIX/"
  local entry
  for entry in "$template/drive_c"/*; do
    if [ "${entry##*/}" = windows ]; then
      cp -al "$entry" "$DESK_PREFIX/drive_c/" 2>/dev/null || cp -a "$entry" "$DESK_PREFIX/drive_c/"
    else
      cp -a "$entry" "$DESK_PREFIX/drive_c/"
    fi
  done
  export WINEPREFIX=$DESK_PREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

# desk_start_program PRELIVO_EXE PROBE_EXE
# Starts the program in a virtual desktop through the probe's launcher, which
# records the exit code, waits for its window and sets DESK_WINDOW_{X,Y,W,H}
# (the outer window on the screen) and DESK_POINT_{X,Y}, the middle of the
# window, which lies in the edit box.
desk_start_program() {
  # Windows programs get Unix paths through drive Z:, whole ones only.
  local program
  program=$(realpath "$1")
  DESK_PROBE=$(realpath "$2")
  DESK_EXIT_FILE=$DESK_WORK/exit-code
  rm -f "$DESK_EXIT_FILE"
  timeout 300 wine explorer "/desktop=$DESK_NAME,$DESK_SIZE" "$DESK_PROBE" launch "$program" "$DESK_EXIT_FILE" \
    >"$DESK_WORK/wine.log" 2>&1 &
  DESK_WINE_PID=$!
  local id
  id=$(timeout 60 xdotool search --sync --onlyvisible --name "$DESK_TITLE" 2>/dev/null | head -n 1)
  [ -n "$id" ] || desk_fail "the window of $1 did not appear"
  local info
  info=$(timeout 10 xwininfo -id "$id")
  DESK_WINDOW_X=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
  DESK_WINDOW_Y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
  DESK_WINDOW_W=$(sed -n 's/.*Width: *//p' <<<"$info")
  DESK_WINDOW_H=$(sed -n 's/.*Height: *//p' <<<"$info")
  DESK_POINT_X=$((DESK_WINDOW_X + DESK_WINDOW_W / 2))
  DESK_POINT_Y=$((DESK_WINDOW_Y + DESK_WINDOW_H / 2))
  # The window is up once the edit box shows its help text.
  desk_await_text_length nonzero
}

desk_probe() {
  timeout 60 wine "$DESK_PROBE" "$@"
}

# The number of characters in the edit box, read by the probe.
desk_text_length() {
  desk_probe text-length "$DESK_NAME" | tr -d '\r'
}

# desk_await_text_length N|nonzero: waits up to ten seconds.
desk_await_text_length() {
  local length tries
  for tries in $(seq 50); do
    length=$(desk_text_length) || true
    case $1 in
      nonzero) [ -n "$length" ] && [ "$length" -gt 0 ] && return 0 ;;
      *) [ "$length" = "$1" ] && return 0 ;;
    esac
    sleep 0.2
  done
  desk_fail "the edit box holds ${length:-?} characters, not $1"
}

desk_stop_clipboard_owner() {
  if [ -n "${DESK_XCLIP_PID:-}" ]; then
    kill "$DESK_XCLIP_PID" 2>/dev/null || true
    wait "$DESK_XCLIP_PID" 2>/dev/null || true
    DESK_XCLIP_PID=
  fi
}

# desk_copy_text FILE: another program (xclip) owns the X clipboard with the
# UTF-8 text of FILE, and Windows programs see it.
desk_copy_text() {
  desk_stop_clipboard_owner
  timeout 300 xclip -quiet -selection clipboard -i "$1" >/dev/null 2>&1 &
  DESK_XCLIP_PID=$!
  desk_probe await-text "$DESK_NAME" "$(realpath "$1")" || desk_fail "Wine did not take over the text on the X clipboard"
}

# desk_copy_picture PNG: the X clipboard holds a picture and no text.
desk_copy_picture() {
  desk_stop_clipboard_owner
  timeout 300 xclip -quiet -selection clipboard -t image/png -i "$1" >/dev/null 2>&1 &
  DESK_XCLIP_PID=$!
  desk_probe await-no-text "$DESK_NAME" || desk_fail "Wine did not take over the picture on the X clipboard"
}

# True while the program that copied still owns the X clipboard.
desk_clipboard_owner_alive() {
  [ -n "${DESK_XCLIP_PID:-}" ] && kill -0 "$DESK_XCLIP_PID" 2>/dev/null
}

# Waits until a Windows program has taken the X clipboard over from xclip,
# which then ends.
desk_await_clipboard_taken() {
  local tries
  for tries in $(seq 100); do
    desk_clipboard_owner_alive || return 0
    sleep 0.1
  done
  desk_fail "nothing replaced the text on the X clipboard"
}

# Two clicks at one place within the double-click time (500 ms unless a
# user changes it) make a double-click, as they would for a person; a single
# click therefore waits until that time has passed since the last one.
desk_pause_after_last_click() {
  if [ -n "${DESK_LAST_CLICK_US:-}" ]; then
    local now_us=${EPOCHREALTIME/./}
    local wait_us=$((DESK_LAST_CLICK_US + 700000 - now_us))
    [ "$wait_us" -le 0 ] || sleep "$(printf '0.%06d' "$wait_us")"
  fi
}

desk_click() {
  desk_pause_after_last_click
  timeout 10 xdotool mousemove "$DESK_POINT_X" "$DESK_POINT_Y" click 1
  DESK_LAST_CLICK_US=${EPOCHREALTIME/./}
}

desk_double_click() {
  desk_pause_after_last_click
  timeout 10 xdotool mousemove "$DESK_POINT_X" "$DESK_POINT_Y" click --repeat 2 --delay 60 1
  DESK_LAST_CLICK_US=${EPOCHREALTIME/./}
}

# What the next program would paste: the X clipboard's UTF-8 text.
desk_paste() {
  timeout 10 xclip -o -selection clipboard -t UTF8_STRING
}

desk_clipboard_targets() {
  timeout 10 xclip -o -selection clipboard -t TARGETS
}

# desk_screenshot FILE: the window as it is on the screen.
desk_screenshot() {
  timeout 30 import -window root \
    -crop "${DESK_WINDOW_W}x${DESK_WINDOW_H}+${DESK_WINDOW_X}+${DESK_WINDOW_Y}" +repage "$1"
}

# desk_close: presses Esc and prints the program's exit code.
desk_close() {
  timeout 10 xdotool mousemove "$DESK_POINT_X" "$DESK_POINT_Y" key Escape
  local tries
  for tries in $(seq 100); do
    if [ -f "$DESK_EXIT_FILE" ]; then
      tr -d '\r\n' <"$DESK_EXIT_FILE"
      echo
      return 0
    fi
    sleep 0.1
  done
  desk_fail "the program did not end after Esc"
}

desk_cleanup() {
  desk_stop_clipboard_owner
  if [ -n "${DESK_PREFIX:-}" ] && [ -d "$DESK_PREFIX" ]; then
    WINEPREFIX=$DESK_PREFIX timeout 20 wineserver -k 2>/dev/null || true
    WINEPREFIX=$DESK_PREFIX timeout 20 wineserver -w 2>/dev/null || true
  fi
  if [ -n "${DESK_WINE_PID:-}" ]; then
    kill "$DESK_WINE_PID" 2>/dev/null || true
    wait "$DESK_WINE_PID" 2>/dev/null || true
  fi
  if [ -n "${DESK_XVFB_PID:-}" ]; then
    kill "$DESK_XVFB_PID" 2>/dev/null || true
    wait "$DESK_XVFB_PID" 2>/dev/null || true
  fi
  if [ -n "${DESK_PREFIX:-}" ]; then
    rm -rf "$DESK_PREFIX"
  fi
}
