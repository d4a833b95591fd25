#!/usr/bin/env bash
# ansible-test sanity on the collection, offline. ansible-test makes a virtual
# environment for some tests and fills it from PyPI; here each one is made
# beforehand on the system's own packages (Debian's pylint, pycodestyle,
# yamllint, voluptuous) and marked as made, so nothing is fetched. Debian's
# versions are not the ones ansible-test pins, so the run is close to, not the
# same as, one on a machine that reaches PyPI. Prints each test's outcome and
# exits 1 when one failed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-machine.sh ansible-sanity

work=$(mktemp -d "${TMPDIR:-/tmp}/cv-sanity.XXXXXX")
trap 'rm -rf "$work"' EXIT
# ansible-test keeps its environments under the home directory.
export HOME=$work/home ANSIBLE_HOME=$work/home/.ansible
collection=$work/ansible_collections/cvconfmanager/corvane
mkdir -p "$(dirname "$collection")"
cp -r ansible/cvconfmanager/corvane "$collection"
cd "$collection"
# ansible-test checks the files git knows.
git init -q && git add -A && git -c user.name=sanity -c user.email=sanity@localhost commit -q -m sanity

# Debian's Python, whose packages the environments use, not one earlier on the search path.
python=$(/usr/bin/python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])')
failed=()
for test in $(ansible-test sanity --list-tests 2>/dev/null); do
  for attempt in 1 2 3 4 5; do
    status=0
    said=$(ansible-test sanity --color no --python "$python" --test "$test" 2>&1) || status=$?
    venv=$(printf '%s\n' "$said" | sed -n "s/.*Python $python at \"\(.*\)\/bin\/python\" does not have pip available.*/\1/p" | head -1)
    [ -n "$venv" ] || break
    /usr/bin/python3 -m venv --system-site-packages --without-pip "$venv"
    touch "$venv/marker.txt"
    echo true >"$venv/meta.yaml.json"
  done
  if [ "$status" -eq 0 ]; then
    echo "passed: $test"
  else
    echo "FAILED: $test"
    printf '%s\n' "$said" | sed 's/^/  /'
    failed+=("$test")
  fi
done
[ ${#failed[@]} -eq 0 ] || { echo "${#failed[@]} sanity tests failed: ${failed[*]}"; exit 1; }
echo "All sanity tests passed."
