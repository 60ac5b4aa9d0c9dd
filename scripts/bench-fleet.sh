#!/usr/bin/env bash
# The example playbook's wall time over 8 desks against 1 desk (forks 8),
# each desk on this machine with a fresh simulated surface that remembers
# (vireon-flash-demo --state), so every run updates every surface. Prints
# both times and their ratio (1.0 would be perfectly parallel).
#
#   scripts/bench-fleet.sh [DESKS]     (default 8)
#
# VIREON_BUILD names another build folder (see scripts/demo-build.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
desks=${1:-8}
source scripts/demo-build.sh

demo_build vireon-flash-demo
demo=$(realpath "$programs/vireon-flash-demo")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
: >"$work/ansible.cfg"
export LC_ALL=C.UTF-8 ANSIBLE_CONFIG=$work/ansible.cfg ANSIBLE_HOME=$work/home ANSIBLE_LOCAL_TEMP=$work/tmp \
  ANSIBLE_LIBRARY=$source/ansible/library ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_NOCOLOR=1

# One run over COUNT fresh desks; prints its wall time in seconds.
run() {
  local count=$1 dir=$work/run$1 i
  mkdir -p "$dir"
  {
    echo "[desks]"
    for ((i = 1; i <= count; i++)); do
      echo "desk$i vireon_firmware_dir=$dir/desk$i/firmware vireon_environment='{\"VIREON_FLASH_DEMO_STATE\": \"$dir/desk$i/state\"}'"
    done
    echo "[desks:vars]"
    echo "ansible_connection=local"
    echo "ansible_python_interpreter=/usr/bin/python3"
    echo "vireon_executable=$demo"
    echo "vireon_firmware=$source/examples/vireon-surface-demo.cyacd"
    echo "vireon_batch=$count"
  } >"$dir/inventory.ini"
  local start end
  start=$(date +%s.%N)
  ansible-playbook -i "$dir/inventory.ini" -f 8 ansible/update-surfaces.yml >"$dir/out.txt"
  end=$(date +%s.%N)
  grep -q "changed=3 .*failed=0" "$dir/out.txt" || { cat "$dir/out.txt" >&2; exit 1; }
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}

one=$(run 1)
many=$(run "$desks")
printf '1 desk:  %.1f s\n%d desks: %.1f s\nratio:   %.2f\n' "$one" "$desks" "$many" "$(awk -v a="$one" -v b="$many" 'BEGIN { print b / a }')"
