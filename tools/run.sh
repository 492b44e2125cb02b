#!/usr/bin/env bash
# The README's run command: sets up what is missing, builds, and shows
# Prelivo doing its job. For now: prelivo-join on the OCR-like sample.
set -eu
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)" --target prelivo-join
echo "== samples/ocr-sample.txt, as copied:"
cat samples/ocr-sample.txt
echo
echo "== joined by prelivo-join:"
build/native/cli/prelivo-join samples/ocr-sample.txt
