#!/bin/sh
# Runs the updater on a private X server and session bus with the
# accessibility bus started, and looks at it as a screen reader does
# (window_view.py). Skipped (77) when a tool it needs is missing.
#   window_view.sh PROGRAM [ARGUMENT...]
script_dir=$(dirname "$0")
python=/usr/bin/python3 # the system's: pyatspi is a Debian package
for tool in Xvfb xprop dbus-run-session dbus-send /usr/libexec/at-spi-bus-launcher "$python"; do
    command -v "$tool" >/dev/null 2>&1 || { echo "window_view: $tool is missing"; exit 77; }
done
"$python" -c 'import pyatspi' 2>/dev/null || { echo "window_view: python3-pyatspi is missing"; exit 77; }
[ -n "$VIREON_IN_SESSION" ] || exec env VIREON_IN_SESSION=1 dbus-run-session -- "$0" "$@"
program=$(realpath "$1")
shift

work=$(mktemp -d)
pids=""
cleanup() {
    for pid in $pids; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# A runtime folder of its own: without one the accessibility bus's socket is
# ~/.cache/at-spi/bus_<display>, shared with every other session on that
# display number, and a bus of an earlier session removes it as it ends.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# The X server picks a free display number itself and writes it to fd 3.
# -noreset: by default Xvfb starts afresh whenever its last client leaves,
# and so drops the root window's properties, among them the accessibility
# bus's address (AT_SPI_BUS).
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids="$!"
i=0
until [ -s "$work/display" ]; do
    i=$((i + 1)); [ $i -lt 100 ] || { echo "window_view: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
    sleep 0.1
done
export DISPLAY=":$(cat "$work/display")"

# The accessibility bus, announced on the session bus as org.a11y.Bus; its
# registry daemon is started on it by D-Bus activation.
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/bus.log" 2>&1 &
pids="$pids $!"
i=0
# Asked without activation: a second launcher started by D-Bus would race
# this one for the name and for the X server's AT_SPI_BUS property.
until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q 'boolean true'; do
    i=$((i + 1)); [ $i -lt 100 ] || { echo "window_view: no accessibility bus"; cat "$work/bus.log"; exit 1; }
    sleep 0.1
done

# The bus's address on the X server's root window, as an X desktop publishes
# it. Qt's bridge reads it there as it starts and joins the bus at once.
# Without it the bridge asks the session bus for the address and, in this
# Qt, sets itself up before that answer comes: it then never registers.
address=$(dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress |
    sed -n 's/^ *string "\(.*\)"$/\1/p')
[ -n "$address" ] || { echo "window_view: the accessibility bus has no address"; exit 1; }
xprop -root -f AT_SPI_BUS 8s -set AT_SPI_BUS "$address" || exit 1
xprop -root AT_SPI_BUS | grep -qF "\"$address\"" ||
    { echo "window_view: the root window lost AT_SPI_BUS"; xprop -root AT_SPI_BUS; exit 1; }

# Qt's bridge to the accessibility bus lives in its X11 platform plugin.
# The registry's children are the registered applications: wait for ours
# before the client starts, as a screen reader started later would find it.
mkdir "$work/folder"
registered() {
    dbus-send --bus="$address" --print-reply --dest=org.a11y.atspi.Registry /org/a11y/atspi/accessible/root \
        org.a11y.atspi.Accessible.GetChildren 2>/dev/null | grep -q 'object path'
}
(cd "$work/folder" && QT_QPA_PLATFORM=xcb QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
    exec "$program" "$@" >"$work/program.log" 2>&1) &
pids="$pids $!"
i=0
until registered; do
    i=$((i + 1))
    [ $i -lt 300 ] || { echo "window_view: the program did not register with the registry"; cat "$work/program.log"; exit 1; }
    sleep 0.2
done

"$python" "$script_dir/window_view.py" "$(basename "$program")"
status=$?
[ $status -eq 0 ] || cat "$work/program.log"
exit $status
