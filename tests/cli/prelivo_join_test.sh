#!/usr/bin/env bash
# The prelivo-join program itself on real files, pipes and devices.
# Usage: prelivo_join_test.sh PROGRAM SAMPLE CASE, CASE one of
#   sample  the sample through a file, a redirect, a pipe, each encoding
#           and CR LF breaks, all with the same result
#   errors  bad input and bad usage: status, message, nothing on stdout
#   output  output that cannot be written: a full device, a closed pipe
set -u
prog=$1
sample=$2
case=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# expect STATUS STDOUT-FILE STDERR-PATTERN -- COMMAND...: runs the command
# with stdout and stderr captured; checks the status, that stdout equals
# the file (or is empty for -), and that stderr matches the pattern (or is
# empty for -).
expect() {
  local status=$1 out=$2 pattern=$3
  shift 4
  "$@" >"$work/out" 2>"$work/err"
  local got=$?
  [ "$got" -eq "$status" ] || fail "$* exited with $got, expected $status; stderr: $(cat "$work/err")"
  if [ "$out" = - ]; then
    [ -s "$work/out" ] && fail "$* wrote to stdout: $(head -c 200 "$work/out")"
  else
    cmp -s "$work/out" "$out" || fail "$* wrote other output than $out"
  fi
  if [ "$pattern" = - ]; then
    [ -s "$work/err" ] && fail "$* wrote to stderr: $(cat "$work/err")"
  else
    grep -q -- "$pattern" "$work/err" || fail "$* stderr lacks '$pattern': $(cat "$work/err")"
  fi
}

case $case in
sample)
  "$prog" "$sample" >"$work/joined" || fail "the sample did not join"
  [ -s "$work/joined" ] || fail "the sample gave no output"
  [ "$(wc -l <"$work/joined")" -lt "$(wc -l <"$sample")" ] || fail "no line of the sample was joined"
  expect 0 "$work/joined" - -- "$prog" <"$sample"
  expect 0 "$work/joined" - -- sh -c 'cat "$1" | "$2"' sh "$sample" "$prog"
  expect 0 "$work/joined" - -- sh -c 'cat "$1" | "$2" - --newline=lf' sh "$sample" "$prog"
  cp "$sample" "$work/样本 文件.txt"
  expect 0 "$work/joined" - -- "$prog" -- "$work/样本 文件.txt"
  # Files are one text: the sample cut in two gives the same result.
  head -c 1000 "$sample" >"$work/part1"  # inside a character
  tail -c +1001 "$sample" >"$work/part2"
  expect 0 "$work/joined" - -- "$prog" "$work/part1" "$work/part2"
  # With CR LF breaks the same lines join, and the kept breaks are CR LF.
  sed 's/$/\r/' "$sample" >"$work/crlf"
  sed 's/$/\r/' "$work/joined" >"$work/joined-crlf"
  expect 0 "$work/joined-crlf" - -- "$prog" "$work/crlf"
  # A large file is mapped and joined in chunks on several threads, which
  # a pipe cannot be: both give the same result, in each encoding.
  cp "$work/crlf" "$work/large"
  for _ in $(seq 11); do cat "$work/large" "$work/large" >"$work/large2" && mv "$work/large2" "$work/large"; done
  for enc in UTF-8 GBK UTF-16LE; do
    opt=$(echo "$enc" | tr 'A-Z' 'a-z')
    iconv -f UTF-8 -t "$enc" "$work/large" >"$work/large.$enc"
    cat "$work/large.$enc" | "$prog" --encoding="$opt" >"$work/large-joined" || fail "the large $enc file did not join"
    [ "$(wc -c <"$work/large-joined")" -gt 1000000 ] || fail "the large $enc file gave too little output"
    expect 0 "$work/large-joined" - -- sh -c '"$1" --encoding="$2" <"$3"' sh "$prog" "$opt" "$work/large.$enc"
  done
  # The other encodings give the same text in their own bytes.
  for enc in GBK UTF-16LE; do
    iconv -f UTF-8 -t "$enc" "$sample" >"$work/in.$enc"
    iconv -f UTF-8 -t "$enc" "$work/joined" >"$work/joined.$enc"
    opt=$(echo "$enc" | tr 'A-Z' 'a-z')
    expect 0 "$work/joined.$enc" - -- "$prog" --encoding "$opt" "$work/in.$enc"
    expect 0 "$work/joined.$enc" - -- sh -c 'cat "$1" | "$2" --encoding="$3"' sh "$work/in.$enc" "$prog" "$opt"
  done
  ;;
errors)
  printf '\xe7\x94\xb2\n\xff\n' >"$work/bad.txt"
  expect 1 - "prelivo-join: $work/bad.txt: invalid UTF-8 at byte offset 4" -- "$prog" "$sample" "$work/bad.txt"
  expect 1 - "standard input: invalid UTF-8 at byte offset 4" -- sh -c 'cat "$1" | "$2"' sh "$work/bad.txt" "$prog"
  printf 'a\0b' >"$work/odd.txt"
  expect 1 - "odd number of bytes (3): the byte at byte offset 2" -- "$prog" --encoding=utf-16le "$work/odd.txt"
  expect 1 - "cannot open $work/missing.txt: No such file or directory" -- "$prog" "$sample" "$work/missing.txt"
  expect 1 - "cannot open $work: Is a directory" -- "$prog" "$work"
  if [ "$(id -u)" -ne 0 ]; then
    cp "$sample" "$work/locked.txt" && chmod 000 "$work/locked.txt"
    expect 1 - "cannot open $work/locked.txt: Permission denied" -- "$prog" "$work/locked.txt"
  fi
  expect 2 - "unknown option '--colour'" -- "$prog" --colour "$sample"
  expect 2 - "Usage: prelivo-join" -- "$prog" --encoding=big5 "$sample"
  expect 2 - "option '--newline' needs a value" -- "$prog" "$sample" --newline
  "$prog" --help >"$work/help" 2>"$work/err" || fail "--help failed"
  grep -q "^Usage: prelivo-join" "$work/help" || fail "--help printed no usage"
  [ -s "$work/err" ] && fail "--help wrote to stderr"
  [ "$("$prog" --version)" = "prelivo-join $(sed -n 's/^project(prelivo VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")" ] ||
    fail "--version printed $("$prog" --version)"
  ;;
output)
  if [ -w /dev/full ]; then
    expect 1 - "prelivo-join: write error: No space left on device" -- sh -c '"$1" "$2" >/dev/full' sh "$prog" "$sample"
    expect 1 - "write error" -- sh -c '"$1" --help >/dev/full' sh "$prog"
  fi
  # More output than a pipe holds, into a reader that stops at once.
  cp "$sample" "$work/big"
  for _ in $(seq 11); do cat "$work/big" "$work/big" >"$work/big2" && mv "$work/big2" "$work/big"; done
  "$prog" "$work/big" 2>"$work/err" | head -c 1 >/dev/null
  status=${PIPESTATUS[0]}
  [ "$status" -eq 1 ] || fail "a closed pipe gave status $status"
  grep -q "prelivo-join: write error: Broken pipe" "$work/err" || fail "a closed pipe gave: $(cat "$work/err")"
  ;;
*)
  echo "unknown case $case" >&2
  exit 2
  ;;
esac

[ "$failures" -eq 0 ] || exit 1
echo "prelivo-join $case: all checks passed"
