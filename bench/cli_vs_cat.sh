#!/usr/bin/env bash
# prelivo-join against cat on one large file read from standard input, both
# writing to /dev/null: throughput ratio and peak resident memory.
#   bench/cli_vs_cat.sh [MIB] [utf-8|gbk|utf-16le]   (default 1024 utf-8)
# Needs the native build (cmake --build --preset native).
set -eu
cd "$(dirname "$0")/.."
mib=${1:-1024}
encoding=${2:-utf-8}
bin=build/native
file=$(mktemp /tmp/prelivo-corpus.XXXXXX)
trap 'rm -f "$file"' EXIT
"$bin/bench/make_corpus" "$mib" "$encoding" > "$file"
cat "$file" > /dev/null  # into the page cache, as it would be for both

# Best of three runs each: seconds from the shell's clock to the
# microsecond (/usr/bin/time gives only hundredths), peak memory from
# /usr/bin/time -v.
measure() {
  local best="" rss=""
  for _ in 1 2 3; do
    local t0 t1 out s
    t0=$EPOCHREALTIME
    out=$( { /usr/bin/time -v "$@" < "$file" > /dev/null; } 2>&1 )
    t1=$EPOCHREALTIME
    s=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f", b - a }')
    rss=$(awk -F': ' '/Maximum resident set size/ { print $2 }' <<<"$out")
    if [ -z "$best" ] || awk -v a="$s" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$s; fi
  done
  echo "$best $rss"
}
read -r catSeconds catRss < <(measure cat)
read -r joinSeconds joinRss < <(measure "$bin/cli/prelivo-join" --encoding="$encoding")
awk -v mib="$mib" -v cs="$catSeconds" -v js="$joinSeconds" -v cr="$catRss" -v jr="$joinRss" -v enc="$encoding" 'BEGIN {
  printf "input: %d MiB of %s from standard input, output to /dev/null\n", mib, enc
  printf "cat:          %6.3f s  %8.0f MiB/s  peak RSS %6.1f MiB\n", cs, mib / cs, cr / 1024
  printf "prelivo-join: %6.3f s  %8.0f MiB/s  peak RSS %6.1f MiB\n", js, mib / js, jr / 1024
  ratio = cs / js
  printf "throughput ratio prelivo-join / cat: %.2f (target 0.40: %s)\n", ratio, (ratio >= 0.4 ? "met" : "MISSED")
  printf "peak RSS under 32 MiB: %s\n", (jr / 1024 < 32 ? "met" : "MISSED")
}'
