#!/bin/sh
# Runs parameter.yml with --diff on a temporary corvane.conf, with the
# collection and cvconf of the build tree; Ansible keeps its own files in the
# temporary folder too. Then checks the diff it printed and the documentation.
#
# Usage: parameter.sh COLLECTIONS_DIR CVCONF PLAYBOOK
# Exit status: 0 passed, 1 failed, 77 skipped (no ansible-playbook).
set -eu

if ! command -v ansible-playbook >/dev/null 2>&1; then
  echo "SKIP: ansible-playbook is not installed (Debian package ansible-core)"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/cv-ansible.XXXXXX")
trap 'rm -rf "$work"' EXIT
conf=$work/corvane.conf
printf 'IpcName = a\nconnectiontimeout = 180\n#ConnectionTimeout = 180\nRootDirectory=/srv/d\344ten\n' >"$conf"
cp "$conf" "$conf.orig"
: >"$work/all.conf"
# cvconf as the module runs it, each command line logged for the playbook's checks.
cat >"$work/cvconf" <<EOF
#!/bin/sh
printf '%s\n' "\$*" >>"$work/cvconf.log"
exec "$2" "\$@"
EOF
chmod +x "$work/cvconf"
export HOME="$work" ANSIBLE_HOME="$work/ansible" ANSIBLE_LOCAL_TEMP="$work/tmp" ANSIBLE_REMOTE_TEMP="$work/tmp" \
  ANSIBLE_COLLECTIONS_PATH="$1" ANSIBLE_NOCOLOR=1 ANSIBLE_PYTHON_INTERPRETER=auto_silent PYTHONDONTWRITEBYTECODE=1

fail() {
  cat "$work/out"
  echo "FAIL: $*" >&2
  exit 1
}
ansible-playbook -i localhost, -c local --diff -e "{\"work\": \"$work\", \"conf\": \"$conf\"}" "$3" >"$work/out" 2>&1 \
  || fail "the playbook failed"
# The first set's hunk, its one line and the next kept as they were, and the one check mode would write.
for line in "--- $conf" " IpcName = a" "-connectiontimeout = 180" "+ConnectionTimeout=240" "+ConnectionTimeout=300"; do
  grep -qxF -- "$line" "$work/out" || fail "the diff lacks \"$line\""
done
for module in parameter parameter_info; do
  ansible-doc "cvconfmanager.corvane.$module" >"$work/out" 2>&1 && grep -q "RETURN VALUES" "$work/out" \
    || fail "ansible-doc shows no documentation of $module"
done
