#!/usr/bin/env bash
# Proves the set-up on a machine that has nothing but a base Debian 12 system: the two commands at the
# top of README.md (read from it, so the two cannot drift apart) run in a freshly bootstrapped root,
# the test command must pass and the run command must show the main window under Xvfb. Then the
# Debian package built there is installed into a second fresh root, where its Python module must
# analyse a file and the installed quobel must show its window too.
#
# Needs root (debootstrap, chroot, namespaces); started as another user it runs itself through sudo,
# passing these settings on. The base root is cached as a tarball outside the checkout, so a repeat
# costs only the package installs and the builds. Every stage has a time limit and fails with its
# name when it passes it.
#   QUOBEL_CLEANROOM_CACHE        folder of the cached base root
#                                 (default /var/cache/quobel-cleanroom)
#   QUOBEL_CLEANROOM_WORK         where the roots are unpacked (default /var/tmp)
#   QUOBEL_CLEANROOM_REFRESH      set to 1 to bootstrap the base root again
#   QUOBEL_CLEANROOM_REVISION     the committed tree to check (default HEAD)
#   QUOBEL_CLEANROOM_RUN_TIMEOUT  seconds a stage that builds Quobel may take, and the run command
#                                 to show its window (default 3600)

# Read whole before it starts: an edit of this file while it runs cannot change what it does.
{
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
    # sudo resets the environment: the settings go on as arguments of env.
    settings=()
    for name in "${!QUOBEL_CLEANROOM_@}"; do
        settings+=("$name=${!name}")
    done
    exec sudo -- env "${settings[@]}" "$(realpath "$0")" "$@"
fi
cd "$(dirname "$0")/.."

suite=bookworm
title=Quobel # the main window's title
cache=${QUOBEL_CLEANROOM_CACHE:-/var/cache/quobel-cleanroom}
arch=$(dpkg --print-architecture)
base_tarball=$cache/base-$suite-$arch.tar.gz
# The run command builds a release build before its window shows; the installed program starts at once.
build_timeout=${QUOBEL_CLEANROOM_RUN_TIMEOUT:-3600}
show_timeout=180
# The limits of the stages that neither build nor show a window: downloads and unpacking.
install_timeout=1200
unpack_timeout=600

work=$(mktemp -d "${QUOBEL_CLEANROOM_WORK:-/var/tmp}/quobel-cleanroom.XXXXXX")
logs=$work/logs
mkdir -p "$logs"
cleanup() {
    # The mounts lived in the namespaces of the stages and are gone with them.
    rm -rf --one-file-system "$work"
}
trap cleanup EXIT

started=$SECONDS
say() { printf '%s\n' "$*"; }

fail_with_log() { # message, log file
    say "FAILED: $1"
    if [ -s "$2" ]; then
        local errors
        errors=$(grep -n -m 20 -iE 'error|fail|could not|cannot|not found|no such' "$2" || true)
        if [ -n "$errors" ]; then
            say "--- first lines that report a fault:"
            say "$errors"
        else
            say "--- first lines of its output:"
            head -n 20 "$2"
        fi
        say "--- last lines of its output:"
        tail -n 25 "$2"
    fi
    kept=$(mktemp -d /tmp/quobel-cleanroom-logs.XXXXXX)
    cp -r "$logs/." "$kept/"
    say "(all logs of this run kept in $kept)"
    exit 1
}

# stage NAME LIMIT COMMAND...: runs COMMAND with its output in a log of its own, times it, stops at
# a failure or once it has run LIMIT seconds. COMMAND may be one of the functions below: they and the
# values they read are exported, so the process that timeout starts knows them.
stage_number=0
timings=()
stage() {
    local name=$1 limit=$2
    shift 2
    stage_number=$((stage_number + 1))
    local log
    log=$logs/$(printf '%02d' "$stage_number")-${name// /-}.log
    local t0=$SECONDS
    say "== cleanroom: $name"
    # Not as the condition of an if: there bash would ignore set -e inside the stage's functions.
    local status=0
    set +e
    timeout --kill-after=30 "$limit" bash -c 'set -euo pipefail; "$@"' "$name" "$@" \
        </dev/null >"$log" 2>&1
    status=$?
    set -e
    if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
        fail_with_log "$name (still running after its limit of $limit s)" "$log"
    fi
    [ "$status" -eq 0 ] || fail_with_log "$name (status $status after $((SECONDS - t0)) s)" "$log"
    say "   ok in $((SECONDS - t0)) s"
    timings+=("$(printf '%6d s  %s' $((SECONDS - t0)) "$name")")
}

# The mirrors come from the host's own apt sources, read now: no host name is kept in the project.
mirror=$(scripts/apt-mirrors.sh "$suite")
# A host of another release: its main mirror carries this release as well.
[ -n "$mirror" ] || mirror=$(scripts/apt-mirrors.sh any)
[ -n "$mirror" ] || {
    say "FAILED: the host's apt sources name no network mirror of Debian"
    exit 1
}
updates_mirror=$(scripts/apt-mirrors.sh "$suite-updates")
security_mirror=$(scripts/apt-mirrors.sh "$suite-security")

# The tree checked, fixed now: commits made while the check runs do not change it.
revision=${QUOBEL_CLEANROOM_REVISION:-HEAD}
tree=$(git rev-parse --verify "$revision^{tree}")

# The two commands of that tree's README.md, in its first code block: the one whose comment speaks
# of tests, and the one that runs Quobel. Each without its comment.
readme_lines=$(git show "$tree:README.md" | awk '/^```/ { if (inside) exit; inside = 1; next } inside && NF')
command_of() { printf '%s\n' "$readme_lines" | awk "$1"' { sub(/[ \t]+#.*$/, ""); sub(/^[ \t]+/, ""); print }'; }
test_command=$(command_of '/#.*test/')
run_command=$(command_of '!/#.*test/')
if [ "$(printf '%s\n' "$readme_lines" | wc -l)" -ne 2 ] || [ -z "$test_command" ] || [ -z "$run_command" ]; then
    say "FAILED: README.md's first code block should hold a run command and a test command, found:"
    say "$readme_lines"
    exit 1
fi

say "cleanroom: Debian $suite from $mirror"
say "cleanroom: test command '$test_command', run command '$run_command'"
say "cleanroom: tree of $revision ($(git rev-parse --short "$revision"))"

install_host_tools() {
    local missing=()
    command -v debootstrap >/dev/null || missing+=(debootstrap)
    command -v unshare >/dev/null || missing+=(util-linux)
    [ -f /usr/share/keyrings/debian-archive-keyring.gpg ] || missing+=(debian-archive-keyring)
    [ ${#missing[@]} -eq 0 ] && return 0
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}

bootstrap_base() {
    local base=$work/base
    debootstrap --variant=minbase --arch="$arch" "$suite" "$base" "$mirror"
    {
        echo "deb $mirror $suite main"
        if [ -n "$updates_mirror" ]; then echo "deb $updates_mirror $suite-updates main"; fi
        if [ -n "$security_mirror" ]; then echo "deb $security_mirror $suite-security main"; fi
    } >"$base/etc/apt/sources.list"
    # As in any container image: packages never start services inside the root.
    printf '#!/bin/sh\nexit 101\n' >"$base/usr/sbin/policy-rc.d"
    chmod 755 "$base/usr/sbin/policy-rc.d"
    apt-get clean -o Dir="$base" || true
    rm -rf "$base"/var/lib/apt/lists/*
    mkdir -p "$cache"
    tar --numeric-owner -C "$base" -czf "$base_tarball.part" .
    mv "$base_tarball.part" "$base_tarball"
    rm -rf --one-file-system "$base"
}

fresh_root() { # folder
    mkdir -p "$1"
    tar --numeric-owner -C "$1" -xzpf "$base_tarball"
    cp -L /etc/resolv.conf "$1/etc/resolv.conf"
}

# in_root ROOT SCRIPT: runs SCRIPT with bash inside ROOT, in pid and mount namespaces of its own
# (every process it leaves behind ends with it), with a clean environment.
in_root() {
    unshare --pid --mount --fork --propagation private -- /bin/bash -c '
        set -e
        mount -t proc proc "$1/proc"
        mount --rbind /dev "$1/dev"
        exec chroot "$1" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
            PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin /bin/bash -c "$2"
    ' in_root "$1" "$2"
}

# Starts COMMAND under Xvfb in the current folder, waits up to TIMEOUT s for a visible window with the
# main window's title, then quits it. Runs inside a root. The root shares the host's network and so
# its abstract X sockets: Xvfb picks a display that is free and says which (-displayfd).
show_window_script() { # command, timeout
    local command
    command=$(printf '%q' "$1") # one word of shell, whatever quotes the command holds
    cat <<EOF
set -u
# -noreset: otherwise the server resets when the check below disconnects, and a program that
# connects at that moment is refused.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>/tmp/xvfb.display >/tmp/xvfb.log 2>&1 &
for _ in \$(seq 100); do [ -s /tmp/xvfb.display ] && break; sleep 0.1; done
export DISPLAY=:\$(head -n 1 /tmp/xvfb.display)
xdotool getdisplaygeometry >/dev/null || { echo "Xvfb did not start"; cat /tmp/xvfb.log; exit 1; }
echo "running on display \$DISPLAY:" $command
bash -c $command >/tmp/program.log 2>&1 &
program=\$!
t0=\$SECONDS
while :; do
    window=\$(xdotool search --onlyvisible --name '^$title\$' 2>/dev/null | head -n 1 || true)
    [ -n "\$window" ] && break
    if ! kill -0 \$program 2>/dev/null; then
        wait \$program; status=\$?
        echo "the program ended (status \$status) before a window titled $title showed; its output:"
        cat /tmp/program.log
        exit 1
    fi
    if [ \$((SECONDS - t0)) -ge $2 ]; then
        echo "no window titled $title within $2 s; the program's output:"
        cat /tmp/program.log
        exit 1
    fi
    sleep 1
done
echo "window \$window titled $title shown after \$((SECONDS - t0)) s"
# Quit as a user would, with Ctrl+Q in the main window; a program that stays is ended.
xdotool windowfocus --sync "\$window" key --clearmodifiers ctrl+q || true
for _ in \$(seq 20); do kill -0 \$program 2>/dev/null || break; sleep 1; done
if kill -0 \$program 2>/dev/null; then
    echo "still running 20 s after Ctrl+Q: ending it"
    kill \$program
fi
wait \$program
echo "the program ended with status \$?"
tail -n 20 /tmp/program.log
EOF
}

export work logs cache arch base_tarball suite mirror updates_mirror security_mirror
export -f install_host_tools bootstrap_base fresh_root in_root

stage "host tools" "$install_timeout" install_host_tools

if [ ! -f "$base_tarball" ] || [ "${QUOBEL_CLEANROOM_REFRESH:-0}" = 1 ]; then
    stage "bootstrap base root" "$install_timeout" bootstrap_base
else
    say "== cleanroom: base root cached in $base_tarball ($(date -r "$base_tarball" +%F))"
fi

root=$work/root
stage "unpack build root" "$unpack_timeout" fresh_root "$root"
mkdir -p "$root/root/quobel"
stage "export committed tree" "$unpack_timeout" \
    bash -c 'set -o pipefail; git archive "$1" | tar -x -C "$2"' export "$tree" "$root/root/quobel"

stage "test command" "$build_timeout" in_root "$root" "cd /root/quobel && $test_command"
stage "install xvfb and xdotool" "$install_timeout" in_root "$root" \
    "DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends xvfb xdotool"
stage "run command shows the window" $((build_timeout + 120)) in_root "$root" \
    "cd /root/quobel && $(show_window_script "$run_command" "$build_timeout")"

stage "build the package" "$build_timeout" in_root "$root" \
    "cd /root/quobel && cmake --preset package && cmake --build --preset package && cpack --preset package &&
     dpkg-deb --info build/package/quobel_*.deb && dpkg-deb --contents build/package/quobel_*.deb"
deb=$(cd "$root/root/quobel/build/package" && ls quobel_*.deb)
cp "$root/root/quobel/build/package/$deb" "$work/"
say "   $deb depends on: $(dpkg-deb --field "$work/$deb" Depends)"
rm -rf --one-file-system "$root"

installed=$work/installed
stage "unpack a second fresh root" "$unpack_timeout" fresh_root "$installed"
cp "$work/$deb" "$installed/root/"
stage "install the package" "$install_timeout" in_root "$installed" \
    "cd /root && apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y ./$deb"
# The Python module of the package, in Debian's python3, analyses a parameter file of the tests.
git archive "$tree" tests/data/three_maps.txt | tar -x -C "$installed/root"
stage "installed python module analyses a file" "$show_timeout" in_root "$installed" \
    "cd /root && python3 -c 'import quobel; r = quobel.analyse(quobel.load(\"tests/data/three_maps.txt\")); print(r[\"verdict\"], r[\"lambda_0\"], r[\"lambda_1\"])'"
stage "install xvfb and xdotool" "$install_timeout" in_root "$installed" \
    "DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends xvfb xdotool"
stage "installed quobel shows the window" $((show_timeout + 120)) in_root "$installed" \
    "cd /root && $(show_window_script quobel "$show_timeout")"

say "cleanroom: all stages passed in $((SECONDS - started)) s:"
printf '%s\n' "${timings[@]}"
exit 0
}
