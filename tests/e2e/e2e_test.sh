#!/usr/bin/env bash
# End-to-end test of prelivo.exe as a person uses it, from outside the
# program: another program copies, the pointer clicks in the edit box, and
# the next program pastes. Runs on the build machine and starts its own X
# display and Wine prefix (tools/desktop.sh).
#
# e2e_test.sh PRELIVO_EXE DESKTOP_PROBE_EXE JOIN_PROGRAM COPIED_TEXT OUT_DIR
#
# JOIN_PROGRAM is prelivo-join (run under Wine when it is an .exe): the
# expected paste is what it makes of COPIED_TEXT with LF line ends, since
# Wine's clipboard bridge gives X programs LF where Windows has CR LF.
# The screenshot of the window with the joined text is left in OUT_DIR.
set -eu
prelivo=$1 probe=$2 join=$3 copied=$4 out=$5
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../tools/desktop.sh
. "$here/../../tools/desktop.sh"

mkdir -p "$out"
work=$(mktemp -d "$out/run.XXXXXX")
trap 'desk_cleanup; rm -rf "$work"' EXIT

fail() { desk_fail "$@"; }
step() { echo "== $*"; }

desk_start_display "$work"
desk_make_prefix
desk_start_program "$prelivo" "$probe"
echo "Prelivo's window at ${DESK_WINDOW_X},${DESK_WINDOW_Y} (${DESK_WINDOW_W}x${DESK_WINDOW_H}) on $DISPLAY"

expected=$work/expected.txt
case $join in
  *.exe) timeout 60 wine "$join" --newline=lf <"$copied" >"$expected" ;;
  *) timeout 60 "$join" --newline=lf <"$copied" >"$expected" ;;
esac
[ -s "$expected" ] || fail "prelivo-join made no expected text"
# Windows holds the text as UTF-16 with CR LF: its length in the edit box.
expected_length=$(($(iconv -f UTF-8 -t UTF-16LE <"$expected" | wc -c) / 2 + $(tr -cd '\n' <"$expected" | wc -c)))

step "a picture on the clipboard: a click leaves it there"
# Start-up left the help text in the box; the click empties the box, which
# shows that the click has been handled.
timeout 30 import -window root -crop 32x32+0+0 +repage "$work/picture.png"
desk_copy_picture "$work/picture.png"
desk_click
desk_await_text_length 0
# Windows programs still see the picture and no text, and the program that
# copied it still owns the X clipboard with nothing but the picture.
desk_probe await-no-text "$DESK_NAME" || fail "the click put text on the clipboard"
desk_clipboard_owner_alive || fail "the click took the X clipboard away from the picture's program"
targets=$(desk_clipboard_targets)
grep -qx 'image/png' <<<"$targets" || fail "the X clipboard no longer offers the picture: $targets"
if grep -qE '^(UTF8_STRING|STRING|TEXT|text/plain.*)$' <<<"$targets"; then
  fail "the X clipboard offers text: $targets"
fi

step "copied text: a click joins it, and the next program pastes the joined text"
desk_copy_text "$copied"
desk_click
desk_await_clipboard_taken
pasted=$work/pasted.txt
desk_paste >"$pasted"
if ! cmp -s "$expected" "$pasted"; then
  diff "$expected" "$pasted" | head -n 40 >&2 || true
  fail "the pasted text is not what prelivo-join makes of the copied text"
fi
# A few facts on their own, whatever prelivo-join says.
grep -qF '门口那两棵梧桐树比粮站还要老。' "$pasted" || fail "a broken line was not joined"
grep -qF '照相机 and the word 北京sstays' "$pasted" || fail "京s kept a break: marks are whole characters, not bytes"
grep -qxF '注意﹕' "$pasted" || fail "﹕ at a line's end lost its break"
grep -qxF '(note)' "$pasted" || fail ") at a line's end lost its break"
for mark in ” ？ '?' 。 . ！ ! ’ 〞 ﹕ ︰ ﹔ ； ） ')' 〉 '>' ﹜ '}' 』 〗 ］ 》 」 】; do
  awk -v mark="$mark" 'substr($0, length($0) - length(mark) + 1) == mark { found = 1 } END { exit !found }' \
    "$pasted" || fail "no line ends with the mark $mark"
done
for emoji in 📒 😀 👍; do
  grep -qF "$emoji" "$pasted" || fail "the emoji $emoji was lost"
done
! grep -q $'\r' "$pasted" || fail "the pasted text has CR bytes"
desk_await_text_length "$expected_length"
[ "$(wc -l <"$expected")" -gt 20 ] || fail "the joined text is too short to be longer than the box shows"

step "screenshot"
desk_screenshot "$out/prelivo-window.png"
echo "saved $out/prelivo-window.png"

step "a double-click empties the box; the clipboard keeps the joined text"
desk_double_click
desk_await_text_length 0
desk_paste >"$pasted"
cmp -s "$expected" "$pasted" || fail "after the double-click the clipboard no longer holds the joined text"

step "Esc closes the window; the program ends with exit code 0"
code=$(desk_close)
[ "$code" = 0 ] || fail "exit code $code"

echo "end-to-end test passed"
