#!/bin/sh
# private_polkit.sh LOG COMMAND [ARGUMENT]... (as root): runs COMMAND as the user nobody with a
# system bus and a polkitd of its own, in a mount namespace of its own, so that pkexec asks a
# real polkit. Its one rule lets nobody run anything without a password and appends the
# command line of every pkexec request to LOG. Exits with COMMAND's exit code.
[ "$(id -u)" = 0 ] || { echo "needs root" >&2; exit 77; }
[ -x /usr/lib/polkit-1/polkitd ] && [ -u /usr/bin/pkexec ] || { echo "needs polkitd and pkexec" >&2; exit 77; }
if [ -z "$PRIVATE_POLKIT_INSIDE" ]; then
    PRIVATE_POLKIT_INSIDE=1 exec unshare --mount --propagation private "$0" "$@" || exit 77
fi
log=$1
shift
work=$(mktemp -d)
mkdir -p /run/dbus /etc/polkit-1/rules.d
mount -t tmpfs tmpfs /run/dbus && mount -t tmpfs -o mode=0755 tmpfs /etc/polkit-1/rules.d || exit 77
cat > /etc/polkit-1/rules.d/10-private.rules <<'RULE'
polkit.addRule(function(action, subject) {
    if (subject.user != "nobody") return polkit.Result.NOT_HANDLED;
    polkit.log("pkexec: " + action.lookup("command_line"));
    return polkit.Result.YES;
});
RULE
dbus-daemon --system --fork --print-pid=3 3>"$work/bus.pid" >/dev/null || exit 77
/usr/lib/polkit-1/polkitd >"$work/polkitd.log" 2>&1 &
polkitd=$!
# polkitd is ready once it owns its name on the bus.
for _ in $(seq 50); do
    busctl --system status org.freedesktop.PolicyKit1 >/dev/null 2>&1 && break
    sleep 0.1
done
/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups -- "$@"
code=$?
kill "$polkitd" "$(cat "$work/bus.pid")"
wait "$polkitd" 2>/dev/null
grep -o 'pkexec: .*' "$work/polkitd.log" | sed 's/^pkexec: //' >>"$log"
rm -rf "$work"
exit $code
