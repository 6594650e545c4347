#!/usr/bin/env bash
# Runs every libFuzzer target of a build made with -DBANC_FUZZ=ON on its seed corpus
# (tests/fuzz/corpus/<name>/), for the given number of seconds each (default 10). New inputs go
# to a work corpus under the build directory; a finding stops the run with the target's report
# and its crashing input in the build directory. Paths are absolute: a target may change its
# working directory (the sequencer's record files go to a directory of its own).
#   ./scripts/fuzz.sh [build directory] [seconds per target]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$(realpath -m "${1:-build-sanitize}")
secondes=${2:-10}
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
# libmatheval keeps what it built of a formula that does not parse: that leak only is suppressed.
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/tests/fuzz/lsan.supp}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
shopt -s nullglob
cibles=("$dir"/tests/fuzz/fuzz_*)
if [ ${#cibles[@]} -eq 0 ]; then
  echo "no fuzz target in $dir (build with -DBANC_FUZZ=ON)" >&2
  exit 1
fi
echec=0
for cible in "${cibles[@]}"; do
  [ -f "$cible" ] && [ -x "$cible" ] || continue
  nom=$(basename "$cible"); nom=${nom#fuzz_}
  travail="$dir/fuzz-corpus/$nom"
  journal="$dir/fuzz-$nom.log"
  mkdir -p "$travail"
  statut=0
  "$cible" -max_total_time="$secondes" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$dir/fuzz-$nom-" "$travail" "$PWD/tests/fuzz/corpus/$nom" >"$journal" 2>&1 || statut=$?
  executions=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$journal" | grep -o '[0-9]*$' || echo "?")
  if [ "$statut" -eq 0 ]; then
    echo "fuzz_$nom: ${secondes} s, $executions inputs, no finding"
  else
    echo "fuzz_$nom: FINDING (exit $statut), report in $journal:"
    grep -E "ERROR|SUMMARY|Test unit written|^ +#[0-9]+ " "$journal" | head -40
    echec=1
  fi
done
exit $echec
