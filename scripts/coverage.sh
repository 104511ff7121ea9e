#!/bin/sh
# Line coverage of src/ by the test suite: builds and runs the suite with the coverage preset
# (gcc --coverage), then prints the executed lines of each source file and the total.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
find build/coverage -name '*.gcda' -delete 2>/dev/null || true
cmake --workflow --preset coverage >/dev/null
objdir=build/coverage/src/CMakeFiles/zqxmlu_obj.dir
find "$objdir" -name '*.gcda' | while read -r gcda; do
  (cd "$(dirname "$gcda")" && gcov -n "$(basename "$gcda")" 2>/dev/null)
done | awk -v root="$root/src/" '
  /^File / { file = substr($2, 2, length($2) - 2); next }
  /^No executable lines/ { file = ""; next }
  /^Lines executed:/ {
    if (file == "" || index(file, root) != 1) { file = ""; next }
    split($2, a, ":"); pct = a[2] + 0; n = $4 + 0
    hit = int(pct * n / 100 + 0.5)
    name = substr(file, length(root) + 1)
    # A header is reported once per file that includes it: keep the best view of it.
    if (!(name in total) || hit > covered[name]) { total[name] = n; covered[name] = hit }
    file = ""
  }
  END {
    for (f in total) { printf "src/%-30s %6.1f%%  %5d / %d\n", f, 100 * covered[f] / total[f], covered[f], total[f]; T += total[f]; C += covered[f] }
    printf "~total %6.1f%%  %5d / %d\n", 100 * C / T, C, T
  }' | sort | sed 's/^~total/src\/ (all)                       /' 
