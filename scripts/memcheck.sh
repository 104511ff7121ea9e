#!/bin/sh
# The test suite under valgrind memcheck: every test program of the default build, death tests
# left out (their children end on purpose without releasing what they hold). Exits 1 on any error
# or leak.
set -eu
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default >/dev/null
status=0
for t in build/default/tests/test_*; do
  [ -x "$t" ] || continue
  if valgrind --quiet --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
      "$t" --gtest_filter='-*DeathTest*' >"$t.memcheck.log" 2>&1; then
    echo "clean   $(basename "$t")"
  else
    echo "FAILED  $(basename "$t") (see $t.memcheck.log)"
    status=1
  fi
done
exit $status
