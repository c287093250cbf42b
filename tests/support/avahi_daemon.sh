#!/usr/bin/env bash
# An Avahi daemon of the tests' own: in a network namespace of its own (only its loopback, so
# nothing is announced to the real network), on a private system bus whose socket is
# FOLDER/bus, with its pid file on a private /run.
#   avahi_daemon.sh start FOLDER                 prints the bus address; exits 77 when it cannot
#                                                run here
#   avahi_daemon.sh publish FOLDER NAME PORT     announces an SMB server until stop
#   avahi_daemon.sh stop FOLDER                  ends what start and publish started
set -euo pipefail
command=$1
d=$(realpath -m "$2")
bus="unix:path=$d/bus"

end() {
    local pid
    pid=$(cat "$1" 2>/dev/null) || return 0
    kill -TERM "$pid" 2>/dev/null || true
    rm -f "$1"
}

case $command in
stop)
    for f in "$d"/publish.*.pid "$d/avahi.pid" "$d/bus.pid"; do
        [ -e "$f" ] && end "$f"
    done
    exit 0
    ;;
publish)
    DBUS_SYSTEM_BUS_ADDRESS=$bus setsid avahi-publish -s "$3" _smb._tcp "$4" \
        >>"$d/publish.log" 2>&1 &
    echo $! >"$d/publish.$!.pid"
    # Announced once the daemon has taken the name (it probes for a moment first).
    for _ in $(seq 100); do
        grep -q "Established under name" "$d/publish.log" 2>/dev/null &&
            [ "$(grep -c "Established under name" "$d/publish.log")" -ge "$(ls "$d"/publish.*.pid | wc -l)" ] &&
            exit 0
        sleep 0.1
    done
    echo "avahi-publish did not announce $3" >&2
    exit 1
    ;;
esac

[ "$(id -u)" -eq 0 ] || { echo "a namespace of its own for avahi-daemon needs root" >&2; exit 77; }
for tool in avahi-daemon avahi-publish dbus-daemon unshare ip; do
    command -v "$tool" >/dev/null || { echo "needs $tool (scripts/setup.sh installs it)" >&2; exit 77; }
done

mkdir -p "$d"
cat >"$d/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>$bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_type="method_return"/>
    <allow send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="signal"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
  </policy>
</busconfig>
CONF
cat >"$d/avahi.conf" <<CONF
[server]
host-name=redodori-test
use-ipv4=yes
use-ipv6=no
allow-interfaces=lo
[publish]
publish-workstation=no
publish-hinfo=no
CONF
setsid dbus-daemon --config-file="$d/bus.conf" --nofork --nopidfile >"$d/bus.log" 2>&1 &
echo $! >"$d/bus.pid"
for _ in $(seq 50); do
    [ -S "$d/bus" ] && break
    sleep 0.1
done
# exec keeps the daemon's pid the one recorded, so that stop ends it.
DBUS_SYSTEM_BUS_ADDRESS=$bus setsid unshare --net --mount --fork --kill-child sh -c \
    'ip link set lo up && mount -t tmpfs none /run && mkdir /run/avahi-daemon && exec avahi-daemon -f "$1" --no-drop-root --no-chroot --no-rlimits' \
    sh "$d/avahi.conf" >"$d/avahi.log" 2>&1 &
echo $! >"$d/avahi.pid"
for _ in $(seq 100); do
    if grep -q "Server startup complete" "$d/avahi.log"; then
        echo "$bus"
        exit 0
    fi
    kill -0 "$(cat "$d/avahi.pid")" 2>/dev/null || break
    sleep 0.1
done
echo "avahi-daemon did not start:" >&2
cat "$d/avahi.log" >&2
"$0" stop "$d"
exit 1
