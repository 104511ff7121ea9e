#!/bin/sh
# Runs every fuzz target (or those named) for SECONDS each, two at a time, on a scratch copy of
# its seed corpus in fuzz/corpus/, under AddressSanitizer and UBSan (the fuzz preset). Prints one
# line per target: runs, coverage and the result; exits 1 when any target found something.
#   scripts/fuzz.sh [-t SECONDS] [-j JOBS] [TARGET...]
set -eu
cd "$(dirname "$0")/.."
seconds=10
jobs=2
while getopts t:j: opt; do
  case $opt in
    t) seconds=$OPTARG ;;
    j) jobs=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
if [ $# -eq 0 ]; then
  set -- $(cd build/fuzz/fuzz && ls fuzz_* | grep -v '\.' )
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export ASAN_OPTIONS="detect_leaks=1"
root=$(pwd)
for t in "$@"; do echo "$t"; done | xargs -P "$jobs" -I{} sh -c '
  t={}; c=${t#fuzz_}; mkdir -p "$0/$t"
  [ -d "$1/fuzz/corpus/$c" ] && cp "$1/fuzz/corpus/$c"/* "$0/$t/" 2>/dev/null || true
  if "$1/build/fuzz/fuzz/$t" -max_total_time="$2" -rss_limit_mb=2048 -artifact_prefix="$0/$t-" \
      "$0/$t" >"$0/$t.log" 2>&1; then r=ok; else r=FAILED; fi
  line=$(grep -E "^#[0-9]+.*(DONE|pulse|NEW|REDUCE|INITED)" "$0/$t.log" | tail -n 1)
  runs=$(echo "$line" | sed -n "s/^#\([0-9]*\).*/\1/p")
  cov=$(echo "$line" | sed -n "s/.*cov: \([0-9]*\).*/\1/p")
  printf "%-26s %10s runs  cov %6s  %s\n" "$t" "${runs:-?}" "${cov:-?}" "$r"
  if [ "$r" = FAILED ]; then tail -n 30 "$0/$t.log"; mkdir -p "$1/build/fuzz/findings"; cp "$0/$t"-* "$1/build/fuzz/findings/" 2>/dev/null || true; exit 1; fi
' "$work" "$root" "$seconds"
