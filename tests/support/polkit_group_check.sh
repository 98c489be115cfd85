#!/bin/sh
# polkit_group_check.sh POLICY RULES GROUP member|stranger (as root): asks a polkitd of its own,
# on a system bus of its own and in a mount namespace of its own, whether the user nobody may
# run POLICY's action, with RULES in place and nobody a member of GROUP or not. nobody sits in
# an active local session of a stand-in for logind (its session files and a session cgroup).
# Exits with pkcheck's code: 0 allowed, 2 a password would be asked; 77 when it cannot run.
[ "$(id -u)" = 0 ] || { echo "needs root" >&2; exit 77; }
[ -x /usr/lib/polkit-1/polkitd ] && command -v pkcheck >/dev/null || { echo "needs polkitd and pkcheck" >&2; exit 77; }
if [ -z "$POLKIT_GROUP_CHECK_INSIDE" ]; then
    POLKIT_GROUP_CHECK_INSIDE=1 exec unshare --mount --propagation private "$0" "$@" || exit 77
fi
policy=$1 rules=$2 group=$3 membership=$4
action=$(sed -n 's/.*<action id="\([^"]*\)".*/\1/p' "$policy")
work=$(mktemp -d)
session=c$$
hierarchy=/sys/fs/cgroup/unified
[ -d $hierarchy ] || hierarchy=/sys/fs/cgroup
cgroup=$hierarchy/user.slice/user-65534.slice/session-$session.scope
# The cgroups this script makes, deepest first, to be removed at its end.
made=
for folder in "$cgroup" "${cgroup%/*}" "${cgroup%/*/*}"; do
    [ -d "$folder" ] || made="$made $folder"
done
cleanup() {
    [ -n "$polkitd" ] && kill "$polkitd" "$(cat "$work/bus.pid")" 2>/dev/null
    wait 2>/dev/null
    for folder in $made; do rmdir "$folder" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p /run/dbus /etc/polkit-1/rules.d /run/systemd
mount -t tmpfs tmpfs /run/dbus && mount -t tmpfs -o mode=0755 tmpfs /etc/polkit-1/rules.d &&
    mount -t tmpfs -o mode=0755 tmpfs /run/systemd || exit 77
cp "$rules" /etc/polkit-1/rules.d/
cp -a /usr/share/polkit-1/actions "$work/actions" && cp "$policy" "$work/actions/" &&
    mount --bind "$work/actions" /usr/share/polkit-1/actions || exit 77
# A group id nobody uses yet.
gid=61000
while getent group $gid >/dev/null; do gid=$((gid + 1)); done
{ cat /etc/group; echo "$group:x:$gid:$([ "$membership" = member ] && echo nobody)"; } >"$work/group"
mount --bind "$work/group" /etc/group || exit 77
# logind's records of an active session at seat0 for nobody.
mkdir -p /run/systemd/system /run/systemd/sessions /run/systemd/users /run/systemd/seats "$cgroup" || exit 77
printf 'UID=65534\nUSER=nobody\nACTIVE=1\nSTATE=active\nREMOTE=0\nSEAT=seat0\nTYPE=x11\nCLASS=user\n' \
    >/run/systemd/sessions/$session
printf 'NAME=nobody\nSTATE=active\nSESSIONS=%s\nDISPLAY=%s\n' $session $session >/run/systemd/users/65534
printf 'ACTIVE=%s\nSESSIONS=%s\nUIDS=65534\n' $session $session >/run/systemd/seats/seat0
dbus-daemon --system --fork --print-pid=3 3>"$work/bus.pid" >/dev/null || exit 77
/usr/lib/polkit-1/polkitd >"$work/polkitd.log" 2>&1 &
polkitd=$!
for _ in $(seq 50); do
    busctl --system status org.freedesktop.PolicyKit1 >/dev/null 2>&1 && break
    sleep 0.1
done
# The asking process joins the session before it becomes nobody.
sh -c 'echo $$ >"$1/cgroup.procs" && exec setpriv --reuid=65534 --regid=65534 --clear-groups -- \
    sh -c "pkcheck --action-id \"\$0\" --process \$\$ >/dev/null 2>&1" "$2"' sh "$cgroup" "$action"
code=$?
exit $code
