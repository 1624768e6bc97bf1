#!/usr/bin/env bash
# Runs every benchmark of the normal build and prints medians (the machines are shared and noisy).
set -uo pipefail
cd "$(dirname "$0")/.."
for b in build/bin/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true 2>&1 | grep -E 'median|^[A-Za-z].*(ms|us|ns)' || true
done

# The browser renderer: key or click to repaint, and page ready (needs the browser tests' packages).
if [ -d tests/browser/node_modules/playwright-core ] && command -v chromium >/dev/null 2>&1; then
  echo "== bench/web/repaint.js"
  TIPOPER_BIN="$PWD/build/bin" node bench/web/repaint.js || true
fi
