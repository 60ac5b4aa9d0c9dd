#!/usr/bin/env bash
# Builds the Debian package with scripts/package.sh into DIR and checks what
# a user gets: lintian is clean (package.sh fails otherwise), every file is
# at its path, the desktop entry and the metainfo validate, the udev rule
# tags only the surface's hidraw nodes, and the unpacked program starts.
# Nothing is installed on this machine. Exits 77 when a tool is missing.
#
#   packaging/check_package.sh DIR
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$1

for tool in dpkg-buildpackage dpkg-checkbuilddeps lintian desktop-file-validate appstreamcli file convert; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }
done
(cd "$top" && dpkg-checkbuilddeps debian/control) || exit 77

fail() { echo "FAIL: $*"; exit 1; }

# The project's version is set once, in CMakeLists.txt; the Debian changelog
# must name the same upstream version.
version=$(sed -n 's/^project(vireon_control VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
[ -n "$version" ] || fail "no project version in CMakeLists.txt"
changelog=$(cd "$top" && dpkg-parsechangelog -S Version)
[ "${changelog%-*}" = "$version" ] || fail "debian/changelog is at $changelog, the project at $version"

rm -rf "$dir"
mkdir -p "$dir"
"$top/scripts/package.sh" --no-deps --out "$dir" >"$dir.log" 2>&1 || { tail -n 80 "$dir.log"; fail "scripts/package.sh"; }
sed -n '/^package: lintian/,$p' "$dir.log"
debs=("$dir"/vireon-control_"$changelog"_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || fail "no vireon-control_$changelog .deb in $dir"

rules=usr/lib/udev/rules.d/70-vireon-surface.rules
expected=(usr/bin/vireon-control "$rules"
  usr/share/applications/vireon-control.desktop
  usr/share/metainfo/org.vireon.control.metainfo.xml
  usr/share/man/man1/vireon-control.1.gz
  usr/share/doc/vireon-control/copyright
  usr/share/doc/vireon-control/README.md.gz)
for size in 16 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/vireon-control.png")
done
expected+=(usr/bin/vireon-flash usr/share/man/man1/vireon-flash.1.gz usr/share/vireon-control/keys/README)
# The browser page, without the stand-in of its demo and tests.
expected+=(usr/share/vireon-control/web/index.html usr/share/vireon-control/web/updater.wasm
  usr/share/vireon-control/web/sodium.js usr/share/vireon-control/web/trusted-keys.json)
contents=$(dpkg-deb --contents "$deb")
echo "$contents"
for path in "${expected[@]}"; do
  grep -q " \./$path\$" <<<"$contents" || fail "$path is not in the package"
done
! grep -q "vireon-control-demo" <<<"$contents" || fail "the demo program is in the package"
! grep -q "/keys/.*\.pub$" <<<"$contents" || fail "a signing key is in the package"
# The signature check's library comes in through the shared-library dependencies.
dpkg-deb --field "$deb" Depends | grep -q "libsodium" || fail "Depends names no libsodium: $(dpkg-deb --field "$deb" Depends)"
! grep -q "vireon-flash-demo" <<<"$contents" || fail "the command's demo is in the package"
! grep -q "standin\|surface\.wasm" <<<"$contents" || fail "the page's simulated surface is in the package"
[[ "$rules" < "usr/lib/udev/rules.d/73-seat-late.rules" ]] || fail "the rule sorts after 73-seat-late.rules"
grep -q -- "-rw-r--r-- root/root .* \./$rules\$" <<<"$contents" || fail "the rule's mode or owner"

# The README's install line names this file (the architecture the
# machine's), apt would install it here with what it depends on, and the
# README's remove line names the package: 'sudo apt install ./build/package/...'
# and 'sudo apt remove ...', as a user types them.
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
install_line=$(sed -n 's/^ *\(sudo apt install \.\/build\/package\/.*\)$/\1/p' "$top/README.md")
[ "${install_line/%_amd64.deb/_$arch.deb}" = "sudo apt install ./build/package/$(basename "$deb")" ] ||
  fail "README's install line ('$install_line') does not name $(basename "$deb")"
apt-get install --simulate "$deb" >"$dir.apt.log" 2>&1 || { cat "$dir.apt.log"; fail "apt would not install $deb"; }
remove_line=$(sed -n 's/^ *\(sudo apt remove .*\)$/\1/p' "$top/README.md")
[ "$remove_line" = "sudo apt remove $(dpkg-deb --field "$deb" Package)" ] ||
  fail "README's remove line ('$remove_line') does not name the package $(dpkg-deb --field "$deb" Package)"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"

# Each program exports the bootloader host's 37 public functions and nothing
# else, as built for the package (g++, hardening flags; host_exports.cmake).
for program in vireon-control vireon-flash; do
  exports=$(nm -D --defined-only "$root/usr/bin/$program" | awk '{ print $3 }')
  [ "$(grep -c '^CyBtldr_' <<<"$exports")" = 37 ] || fail "$program exports $(grep -c '^CyBtldr_' <<<"$exports") host functions, not 37"
  ! grep -v '^CyBtldr_' <<<"$exports" || fail "$program exports more than the host's functions (above)"
done

desktop-file-validate "$root/usr/share/applications/vireon-control.desktop" || fail "desktop entry"
grep -qx "Icon=vireon-control" "$root/usr/share/applications/vireon-control.desktop" || fail "desktop icon"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.vireon.control.metainfo.xml" || fail "metainfo"
grep -q "<modalias>usb:v1502p0101d\*</modalias>" "$root/usr/share/metainfo/org.vireon.control.metainfo.xml" ||
  fail "metainfo modalias"
file "$root/usr/share/icons/hicolor/48x48/apps/vireon-control.png" | grep -q "PNG image data, 48 x 48" ||
  fail "48 pixel icon"
# Desktop icons have a transparent ground: each corner clear, the orb's
# middle opaque (alpha 0 to 255, read from the installed files).
for size in 16 32 48 64 128 256; do
  png="$root/usr/share/icons/hicolor/${size}x${size}/apps/vireon-control.png"
  alpha=$(convert "$png" -alpha on -format \
    '%[fx:round(255*p{0,0}.a)] %[fx:round(255*p{w-1,0}.a)] %[fx:round(255*p{0,h-1}.a)] %[fx:round(255*p{w-1,h-1}.a)] %[fx:round(255*p{w/2,h/2}.a)]' info:)
  echo "icon ${size}: corner and middle alpha $alpha"
  [ "$alpha" = "0 0 0 0 255" ] || fail "the ${size} pixel icon's corners are not transparent: $alpha"
done
zcat "$root/usr/share/doc/vireon-control/README.md.gz" | grep -q "^## Troubleshooting" || fail "README without its troubleshooting"

# One rule: matches the surface's hidraw nodes and only adds the uaccess tag.
rule=$(grep -v '^#' "$root/$rules" | grep -v '^[[:space:]]*$')
[ "$(wc -l <<<"$rule")" = 1 ] || fail "expected one rule: $rule"
keys=$(tr ',' '\n' <<<"$rule" | sed 's/^ *//; s/ *$//' | sort | tr '\n' ' ')
want='ATTRS{idProduct}=="0101" ATTRS{idVendor}=="1502" KERNEL=="hidraw*" SUBSYSTEM=="hidraw" TAG+="uaccess" '
[ "$keys" = "$want" ] || fail "udev rule keys: $keys"

# The unpacked program, started in an empty folder, says who it is and
# starts its log there; it is still running when it is ended.
work="$root/work"
mkdir "$work"
(cd "$work" && QT_QPA_PLATFORM=offscreen exec "$root/usr/bin/vireon-control" >stdout.txt 2>stderr.txt) &
pid=$!
for _ in $(seq 120); do
  if grep -qs "\*\*\* Version: " "$work/log.txt" || ! kill -0 "$pid" 2>/dev/null; then break; fi
  sleep 0.5
done
sleep 2
kill -0 "$pid" 2>/dev/null || { cat "$work/stderr.txt"; fail "the program ended by itself"; }
kill -TERM "$pid"
wait "$pid" || true
printf 'vireon.control %s\nCopyright (C) 2026 the vireon.control developers\n' "$version" | cmp - <(head -n 2 "$work/stdout.txt") ||
  fail "start-up lines: $(cat "$work/stdout.txt")"
grep -q "\*\*\* Updater Started: " "$work/log.txt" && grep -q "\*\*\* Version: $version" "$work/log.txt" ||
  fail "log banner: $(cat "$work/log.txt" 2>&1)"
echo "package: $deb checked"
