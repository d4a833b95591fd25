#!/usr/bin/env bash
# Lists the test cases the last ctest run in BUILD_DIR skipped, each with its
# reason: the "SKIP" lines Qt Test printed into ctest's log, and the tests
# ctest itself did not run (SKIP_RETURN_CODE, or disabled), found in its
# summary on standard output, with the last line they printed.
#
# Usage: scripts/skipped-tests.sh BUILD_DIR CTEST_OUTPUT
set -euo pipefail
log=$1/Testing/Temporary/LastTest.log
not_run=$(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (\(Skipped\|Disabled\|Not Run\))$/\1/p' "$2")
awk -v not_run="$not_run" '
  BEGIN { n = split(not_run, names, "\n"); for (i = 1; i <= n; i++) if (names[i] != "") ctest_skipped[names[i]] = 1 }
  /^[0-9]+\/[0-9]+ Test: / { test = substr($0, index($0, "Test: ") + 6); next }
  /^Output:$/ { in_output = 1; last = ""; getline; next }  # and the rule below it
  /^<end of output>$/ {
    if (test in ctest_skipped) { lines[++count] = test ": " last; delete ctest_skipped[test] }
    in_output = 0; next
  }
  in_output && /^SKIP   : / { lines[++count] = substr($0, 10) }
  in_output && NF { last = $0 }
  END {
    for (test in ctest_skipped) lines[++count] = test ": not run"
    if (count == 0) { print "No test case was skipped."; exit }
    print "Skipped test cases (" count "):"
    for (i = 1; i <= count; i++) print "  " lines[i]
  }
' "$log"
