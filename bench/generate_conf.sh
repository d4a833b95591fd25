#!/bin/sh
# Prints a 1,000,000-line corvane.conf for the cvconf benchmarks: a
# documentation block per setting with its default commented out, as in the
# main benchmark, already saved once (no blanks around "=" outside comments),
# so that every tool changes exactly one line; DefaultDbCachePages halfway.
exec awk 'BEGIN {
  for (block = 0; block < 250000; block++) {
    if (block == 125000) { print "#DefaultDbCachePages = 2048"; print "DefaultDbCachePages=2048" }
    key = "Module" int(block / 40) ".setting_" block % 40
    print "#"; print "# " key ": how the module handles it; see the manual."
    print "#" key " = " block % 1000 "   (default)"; print key "=" (block * 7919) % 100000
  }
}'
