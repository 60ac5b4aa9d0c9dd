#!/usr/bin/env bash
# scripts/install-deps.sh against a package system whose lock another apt
# holds: apt-get and dpkg-query are stand-ins on PATH (the machine's own
# lock is never touched), which say one package is missing and refuse the
# lock as apt-get does, for a number of calls or for good; and two copies
# at once in a tree whose npm packages are missing.
#   test_install_deps.sh SOURCE_DIR
set -u
script=$1/scripts/install-deps.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
cat >"$work/bin/dpkg-query" <<'STUB'
#!/bin/sh
# Every package is installed but minisign.
for p; do :; done
[ "$p" = minisign ] && { echo "dpkg-query: no packages found matching minisign" >&2; exit 1; }
printf 'install ok installed'
STUB
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/sh
# Refuses the lock for the first $LOCKED calls (all of them: "always"),
# else fails as $FAILS says, else succeeds; logs each call.
echo "apt-get $*" >>"$CALLS"
n=$(grep -c . "$CALLS")
if [ "$LOCKED" = always ] || [ "$n" -le "$LOCKED" ]; then
  echo "E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 4242 (apt-get)" >&2
  echo "E: Unable to acquire the dpkg frontend lock (/var/lib/dpkg/lock-frontend), is another process using it?" >&2
  exit 100
fi
[ -z "$FAILS" ] || { echo "E: $FAILS" >&2; exit 100; }
exit 0
STUB
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*

failures=0
# One case: LOCKED, FAILS, the wait limit; the exit status expected, the
# apt-get calls expected, and a pattern the output must hold.
check() {
  local what=$1 locked=$2 fails=$3 limit=$4 status=$5 calls=$6 pattern=$7 got out
  : >"$work/calls"
  out=$(PATH="$work/bin:$PATH" CALLS="$work/calls" LOCKED=$locked FAILS=$fails VIREON_APT_LOCK_WAIT=$limit \
    VIREON_APT_LOCK_RETRY=1 bash "$script" 2>&1)
  got=$?
  if [ $got -ne "$status" ] || [ "$(grep -c . "$work/calls")" -ne "$calls" ] || ! grep -qE "$pattern" <<<"$out"; then
    echo "FAILED: $what: exit $got (not $status), $(grep -c . "$work/calls") apt-get calls (not $calls), output:"
    echo "$out"
    failures=$((failures + 1))
  else
    echo "ok: $what"
  fi
}
check "a lock held for two tries is waited for, once said" 2 "" 600 0 4 \
  "holds the package system's lock; waiting for it \(at most 600 s\)"
check "the waiting names the process that holds the lock" 2 "" 600 0 4 "another package manager \(process 4242 \(apt-get\)\)"
check "a lock held past the limit ends the script with what to do" always "" 2 100 3 \
  "still holds the package system's lock after 2 s. Let it finish .*VIREON_APT_LOCK_WAIT"
check "any other failure ends it at once" 0 "Unable to locate package minisign" 600 100 1 "Unable to locate package"
# Two at once (the desks of the fleet example) in a tree without its npm
# packages: one npm ci runs, and the other then finds the packages there.
# npm is a stand-in too: `ls` succeeds once a ci has ended, `ci` logs each
# call and says when another is running in the same tree.
tree=$work/tree
mkdir -p "$tree/scripts" "$work/npm-bin"
cp "$script" "$tree/scripts/"
printf '#!/bin/sh\nprintf "install ok installed"\n' >"$work/npm-bin/dpkg-query"
cat >"$work/npm-bin/npm" <<'STUB'
#!/bin/sh
case $1 in
ls) [ -e node_modules/.installed ] ;;
ci)
  echo ci >>"$NPM_CALLS"
  mkdir .ci-running 2>/dev/null || { echo "ci while another ran" >>"$NPM_CALLS"; exit 1; }
  sleep 1 # long enough for the other script to look
  mkdir -p node_modules && touch node_modules/.installed
  rmdir .ci-running ;;
esac
STUB
chmod +x "$work/npm-bin/"*
: >"$work/npm-calls"
for desk in 1 2; do
  PATH="$work/npm-bin:$PATH" NPM_CALLS="$work/npm-calls" bash "$tree/scripts/install-deps.sh" >"$work/desk$desk" 2>&1 &
done
wait
if [ "$(cat "$work/npm-calls")" = ci ]; then
  echo "ok: two at once run one npm ci"
else
  echo "FAILED: two at once: npm was called as"
  cat "$work/npm-calls" "$work/desk1" "$work/desk2"
  failures=$((failures + 1))
fi
exit $((failures > 0))
