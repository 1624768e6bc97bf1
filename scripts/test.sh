#!/usr/bin/env bash
# Runs every suite and ends with one line "N passed, N failed" over all of them.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
passed=0; failed=0
log=$(mktemp -d)

pgdir=""
cleanup() { [ -n "$pgdir" ] && scripts/pg.sh stop "$pgdir"; rm -rf "$log"; }
trap cleanup EXIT

# A throwaway PostgreSQL for the storage tests, unless one is given.
if [ -z "${TIPOPER_TEST_PG:-}" ] && ls /usr/lib/postgresql/*/bin/initdb >/dev/null 2>&1; then
  pgdir=$(mktemp -d /tmp/tipoper-pg.XXXXXX)
  port=$((40000 + RANDOM % 20000))
  if url=$(scripts/pg.sh start "$pgdir" "$port"); then
    export TIPOPER_TEST_PG="$url"
    echo "PostgreSQL de teste em $url"
  else
    echo "AVISO: PostgreSQL de teste não pôde ser iniciado; os testes de PostgreSQL serão pulados" >&2
    scripts/pg.sh stop "$pgdir"; pgdir=""
  fi
fi

count_ctest() { # $1 = output file
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$1" | tail -n1)
  if [ -n "$line" ]; then
    local f t
    f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    t=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
    passed=$((passed + t - f)); failed=$((failed + f))
  else
    failed=$((failed + 1))
  fi
}

run_ctest() { # $1 = build dir, $2 = label
  echo "== $2 =="
  ctest --test-dir "$1" --output-on-failure -j "$(nproc)" --timeout 300 2>&1 | tee "$log/$2.txt"
  count_ctest "$log/$2.txt"
}

run_ctest build suite
if [ -z "${TIPOPER_SKIP_ASAN:-}" ] && [ -d build-asan ]; then
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_ctest build-asan sanitizers
fi

# Each fuzz target runs for a bounded time from its committed seeds (new inputs go to a scratch
# folder, crashes to build-fuzz/artifacts) and counts as one test.
if [ -z "${TIPOPER_SKIP_FUZZ:-}" ] && ls build-fuzz/bin/fuzz_* >/dev/null 2>&1; then
  echo "== fuzz =="
  seconds="${TIPOPER_FUZZ_SECONDS:-20}"
  mkdir -p build-fuzz/artifacts
  for target in build-fuzz/bin/fuzz_*; do
    name=$(basename "$target")
    scratch=$(mktemp -d)
    if "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
         -artifact_prefix=build-fuzz/artifacts/ "$scratch" "tests/fuzz/corpus/${name#fuzz_}" >"$log/$name.txt" 2>&1; then
      echo "ok $name ($(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$log/$name.txt" | grep -Eo '[0-9]+$') execuções em ${seconds}s)"
      passed=$((passed + 1))
    else
      echo "FALHOU $name:"; tail -n 40 "$log/$name.txt"
      failed=$((failed + 1))
    fi
    rm -rf "$scratch"
  done
fi

if [ -z "${TIPOPER_SKIP_BROWSER:-}" ] && [ -f tests/browser/package.json ]; then
  echo "== browser =="
  (cd tests/browser && TIPOPER_BIN="$root/build/bin" node --test --test-reporter=tap 2>&1) | tee "$log/browser.txt"
  p=$(grep -E '^# pass [0-9]+' "$log/browser.txt" | awk '{print $3}' | tail -n1)
  f=$(grep -E '^# fail [0-9]+' "$log/browser.txt" | awk '{print $3}' | tail -n1)
  if [ -n "$p" ]; then passed=$((passed + p)); failed=$((failed + ${f:-0})); else failed=$((failed + 1)); fi
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
