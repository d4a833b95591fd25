#!/usr/bin/env bash
# The module cvconfmanager.corvane.parameter setting one value on a
# 1,000,000-line corvane.conf against ansible.builtin.lineinfile setting the
# same line: a whole ansible-playbook run on localhost, its elapsed time and
# the largest resident set of any of its processes (/usr/bin/time), without
# and with --diff. Every run starts from a fresh copy of the file (not timed);
# both must leave the same bytes. Prints the medians as table rows.
#
# Usage: bench/bench_ansible.sh [BUILD_DIR [ROUNDS]]   (BUILD_DIR: build, built with ansible-galaxy)
set -euo pipefail
build=$(realpath "${1:-build}")
rounds=${2:-5}
dir=$build/bench-tmp/ansible
mkdir -p "$dir"
trap 'rm -rf "$dir"' EXIT

"$(dirname "$0")/generate_conf.sh" >"$dir/original.conf"
# Both tasks in both runs, one skipped, so that the plays differ only in the tool.
cat >"$dir/play.yml" <<'PLAY'
- hosts: localhost
  gather_facts: false
  tasks:
    - cvconfmanager.corvane.parameter: {path: "{{ conf }}", cvconf: "{{ cvconf }}", name: DefaultDbCachePages, value: "4096"}
      when: tool == "parameter"
    - ansible.builtin.lineinfile: {path: "{{ conf }}", regexp: "^DefaultDbCachePages=", line: DefaultDbCachePages=4096}
      when: tool == "lineinfile"
PLAY
export ANSIBLE_COLLECTIONS_PATH=$build/ansible/collections ANSIBLE_HOME=$dir/home ANSIBLE_LOCAL_TEMP=$dir/tmp \
  ANSIBLE_REMOTE_TEMP=$dir/tmp ANSIBLE_PYTHON_INTERPRETER=auto_silent

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
for mode in "" --diff; do
  : >"$dir/parameter.runs"
  : >"$dir/lineinfile.runs"
  for ((round = 0; round <= rounds; round++)); do
    for tool in parameter lineinfile; do
      cp "$dir/original.conf" "$dir/$tool.conf"
      /usr/bin/time -f '%e %M' -o "$dir/time" ansible-playbook -i localhost, -c local $mode \
        -e "{\"conf\": \"$dir/$tool.conf\", \"cvconf\": \"$build/cli/cvconf\", \"tool\": \"$tool\"}" \
        "$dir/play.yml" >"$dir/out" 2>&1 || { cat "$dir/out" >&2; exit 1; }
      ((round == 0)) || cat "$dir/time" >>"$dir/$tool.runs"  # the first round warms the caches
    done
    cmp -s "$dir/parameter.conf" "$dir/lineinfile.conf" || { echo "the module and lineinfile made different files" >&2; exit 1; }
  done
  seconds() { awk '{ print $1 }' "$dir/$1.runs" | median; }
  kilobytes() { awk '{ print $2 }' "$dir/$1.runs" | median; }
  awk -v mode="${mode:-without --diff}" -v t="$(seconds parameter)" -v m="$(kilobytes parameter)" \
      -v lt="$(seconds lineinfile)" -v lm="$(kilobytes lineinfile)" 'BEGIN {
    printf "| %s | %.2f s, %.0f MB | %.2f s, %.0f MB | %.2f | %.2f |\n", mode, t, m / 1024, lt, lm / 1024, t / lt, m / lm
  }'
done
printf '%s lines, %s bytes; median of %s rounds; columns: parameter, lineinfile, time ratio, memory ratio\n' \
  "$(wc -l <"$dir/original.conf")" "$(wc -c <"$dir/original.conf")" "$rounds"
