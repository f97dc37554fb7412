#!/usr/bin/env bash
# Builds KORVEL for Linux x86_64 (Release) and Windows x64 (MinGW-w64), then
# runs the main job: a short self-check of the DSP blocks through their
# benchmark.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/bootstrap.sh"
cd "$ROOT"

for p in linux windows; do
  cmake --preset "$p" >/dev/null
  cmake --build --preset "$p"
done

echo "== DSP self-check (ns per call)"
build/linux/bench/korvel-bench --benchmark_min_time=0.02
