#!/usr/bin/env bash
# Runs the libFuzzer targets (fuzz/) for a while each and prints their
# figures: executions, coverage, corpus size and what they found.
# Usage: scripts/fuzz.sh [TARGET|all] [SECONDS]    (default: all, 60 s each)
# Each target starts from its committed seeds (fuzz/corpus/TARGET) and from
# what earlier runs kept (build/linux-fuzz/fuzz-corpus/TARGET). A crash or a
# broken check leaves its input in build/linux-fuzz/fuzz-artifacts/TARGET/;
# reproduce it with `build/linux-fuzz/bin/RelWithDebInfo/TARGET FILE`.
set -uo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${KORVEL_FUZZ_BUILD_DIR:-$ROOT/build/linux-fuzz}
TARGETS=(fuzz_param_text fuzz_io_config fuzz_state fuzz_process fuzz_render_args fuzz_render_wav)
which=${1:-all}
seconds=${2:-60}

case "$seconds" in ''|*[!0-9]*) echo "usage: $0 [TARGET|all] [SECONDS]" >&2; exit 2;; esac
if [ "$which" != all ]; then
  [[ " ${TARGETS[*]} " == *" $which "* ]] || { echo "fuzz: unknown target '$which' (${TARGETS[*]})" >&2; exit 2; }
  TARGETS=("$which")
fi

if [ -z "${KORVEL_FUZZ_NO_BUILD:-}" ]; then
  cd "$ROOT"
  cmake --preset linux-fuzz >/dev/null || { echo "fuzz: configuring linux-fuzz failed" >&2; exit 1; }
  cmake --build --preset linux-fuzz || { echo "fuzz: building the fuzz targets failed" >&2; exit 1; }
fi

status=0
for t in "${TARGETS[@]}"; do
  exe=$(ls "$BUILD"/bin/*/"$t" 2>/dev/null | head -1)
  [ -n "$exe" ] && [ -x "$exe" ] || { echo "fuzz: $t is not built in $BUILD" >&2; status=1; continue; }
  work="$BUILD/fuzz-corpus/$t" artifacts="$BUILD/fuzz-artifacts/$t" log="$BUILD/fuzz-logs/$t.log"
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"
  # Scratch files of the targets stay out of the shared /tmp.
  scratch=$(mktemp -d)
  # KORVEL_FUZZ_REPLAY=1 (the test runner's pass) runs every kept input once
  # and explores nothing new, so a test run's verdict does not depend on luck.
  if [ -n "${KORVEL_FUZZ_REPLAY:-}" ]; then budget=(-runs=0); else budget=(-max_total_time="$seconds"); fi
  TMPDIR="$scratch" nice -n 10 "$exe" "${budget[@]}" -timeout=30 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$work" "$ROOT/fuzz/corpus/$t" >"$log" 2>&1
  result=$?
  rm -rf "$scratch"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corp=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$last")
  if [ $result -eq 0 ]; then
    verdict="no findings"
  else
    status=1
    found=$(ls -t "$artifacts" 2>/dev/null | head -1)
    verdict="FOUND A FAULT: $artifacts/$found (log: $log)"
    grep -E 'ERROR: |check failed|runtime error' "$log" | head -3 | sed 's/^/    /'
  fi
  echo "fuzz: $t: ${runs:-0} executions in ${seconds} s, coverage ${cov:-?} edges, ${ft:-?} features, corpus ${corp:-?} inputs: $verdict"
done
exit $status
