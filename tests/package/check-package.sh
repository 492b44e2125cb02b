#!/usr/bin/env bash
# Makes the release zip of a Windows build folder with cpack and checks it:
# its name, the checksum file beside it, exactly the shipped files inside,
# the SHA-256 list inside, and that the packed (stripped) programs still
# pass the executable check.
#   check-package.sh BUILD_DIR EXPECTED_ZIP_NAME CHECK_PE
set -eu
build=$1
name=$2
check_pe=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" || { cat "$work/cpack.log"; exit 1; }
zip="$work/out/$name.zip"
[ -f "$zip" ] || { echo "no $name.zip; cpack made: $(ls "$work/out")"; exit 1; }
read -r sum _ < "$zip.sha256"
[ "$sum" = "$(sha256sum "$zip" | cut -d' ' -f1)" ] || { echo "$zip.sha256 does not match the zip"; exit 1; }

mkdir "$work/x"
(cd "$work/x" && cmake -E tar xf "$zip")
top="$work/x/$name"
expected=$(printf '%s\n' LICENSE README.md SHA256SUMS prelivo-join.exe prelivo.exe)
actual=$(cd "$top" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$actual" = "$expected" ] || { printf 'zip holds:\n%s\nexpected:\n%s\n' "$actual" "$expected"; exit 1; }
(cd "$top" && sha256sum --quiet -c SHA256SUMS)
[ "$(wc -l < "$top/SHA256SUMS")" -eq 4 ] || { echo "SHA256SUMS should list the four shipped files"; exit 1; }

"$check_pe" --icon --version --manifest --gui "$top/prelivo.exe"
"$check_pe" --icon --version --manifest --console "$top/prelivo-join.exe"
echo "$name.zip: ok"
