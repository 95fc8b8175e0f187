#!/usr/bin/env bash
# Builds the Debian packages (debian/) and checks them: lintian, the desktop
# entry, the AppStream metainfo, libvexif's exported symbols, then installs
# them on this machine and checks the installed programs, the systemd unit and
# a C program and a CMake project built against the installed libvexif.
#
#   tools/check-packages.sh
#
# Works in build/deb/ (a copy of the source tree, the packages, the test
# programs). Needs root or sudo for apt-get. Packages it installed that were
# not installed before are purged at the end. Closes with one line
# "check-packages: N passed, N failed" and exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$root/build/deb
start=$SECONDS

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

passed=0
failed=0
pass() {
    passed=$((passed + 1))
    echo "PASS: $*"
}
fail() {
    failed=$((failed + 1))
    echo "FAIL: $*"
}
# Ends the run early when a step that later ones need has failed.
finish() {
    echo "check-packages: took $((SECONDS - start)) s"
    echo "check-packages: $passed passed, $failed failed"
    [ "$failed" -eq 0 ] && exit 0
    exit 1
}
abort() {
    fail "$*"
    finish
}

# --- Tools, and the build's own packages ------------------------------------
tools/install-deps.sh
tool_packages=(build-essential debhelper devscripts dpkg-dev fakeroot lintian desktop-file-utils
               appstream systemd man-db pkgconf)
missing=()
for p in "${tool_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing missing packages: ${missing[*]}" >&2
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# --- Build ------------------------------------------------------------------
# dpkg-buildpackage writes the packages beside the source tree and its build
# products into it, so it works on a copy (tracked and new files, not build/).
rm -rf "$work"
mkdir -p "$work/src"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard | grep -zv '^build/' |
        tar -c --null -T - -f - | tar -x -C "$work/src" -f -
else
    tar -c --exclude=./build --exclude=./.git -f - . | tar -x -C "$work/src" -f -
fi
version=$(dpkg-parsechangelog -l "$work/src/debian/changelog" -S Version)
# debhelper points HOME elsewhere; keep the compiler cache where it is.
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/ccache}"
build_start=$SECONDS
if (cd "$work/src" &&
    DEB_BUILD_OPTIONS="parallel=$(nproc) noddebs" dpkg-buildpackage -us -uc -b >"$work/build.log" 2>&1); then
    pass "dpkg-buildpackage -us -uc -b ($((SECONDS - build_start)) s)"
else
    tail -n 60 "$work/build.log"
    abort "dpkg-buildpackage -us -uc -b (log: $work/build.log)"
fi
debs=("$work"/*_"$version"_*.deb)
for deb in "${debs[@]}"; do
    echo "== $(basename "$deb")"
    dpkg-deb -c "$deb" | awk '{ print "   " $6 ($7 ? " " $7 " " $8 : "") }'
done

# --- Static checks ----------------------------------------------------------
changes=("$work"/*_"$version"_*.changes)
if lintian --fail-on error --display-info --tag-display-limit 0 "${changes[0]}" \
    >"$work/lintian.log" 2>&1; then
    pass "lintian: no errors ($(grep -c '^[EWIP]:' "$work/lintian.log" || true) tags)"
else
    fail "lintian"
fi
sed 's/^/   /' "$work/lintian.log"

tree=$work/tree
mkdir -p "$tree"
for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$tree"; done
if desktop-file-validate "$tree"/usr/share/applications/vexcounter.desktop; then
    pass "desktop-file-validate vexcounter.desktop"
else
    fail "desktop-file-validate vexcounter.desktop"
fi
if appstreamcli validate --no-net "$tree"/usr/share/metainfo/*.metainfo.xml; then
    pass "appstreamcli validate --no-net"
else
    fail "appstreamcli validate --no-net"
fi
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
library=$tree/usr/lib/$multiarch/libvexif.so.1
soname=$(objdump -p "$library" | awk '$1 == "SONAME" { print $2 }')
exported=$(nm -D --defined-only "$library" | awk '{ print $3 }' | sort)
# The 15 functions of version 1.0 and the three of 1.1, and nothing else;
# the installed file is the library's own version behind the SONAME link.
if [ "$soname" = libvexif.so.1 ] && [ "$(grep -c '^QV_' <<<"$exported")" -eq 18 ] &&
    [ "$(wc -l <<<"$exported")" -eq 18 ] && [ -e "$library.1.0" ] &&
    grep -qx QV_FCGetMeasures <<<"$exported" && grep -qx QV_GetTimeBase <<<"$exported" &&
    grep -qx QV_GetDeviceProblems <<<"$exported"; then
    pass "libvexif.so.1: SONAME $soname (libvexif.so.1.1.0), exports exactly the 18 QV_ functions"
else
    echo "SONAME: $soname; exported:"
    echo "$exported"
    fail "libvexif.so.1: SONAME and exported symbols"
fi

# --- Installed --------------------------------------------------------------
ours=(vexcounter vexcountd libvexif1 libvexif-dev)
preinstalled=()
for p in "${ours[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' && preinstalled+=("$p")
done
purge_ours() {
    local purge=()
    for p in "${ours[@]}"; do
        [[ " ${preinstalled[*]} " == *" $p "* ]] || purge+=("$p")
    done
    [ ${#purge[@]} -eq 0 ] ||
        DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq "${purge[@]}" >/dev/null 2>&1 || true
}
server_pid=""
cleanup() {
    [ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null || true
    purge_ours
}
trap cleanup EXIT

if (cd "$work" && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${debs[@]/#$work\//./}" \
    >"$work/install.log" 2>&1); then
    pass "apt-get install ./*.deb"
else
    cat "$work/install.log"
    abort "apt-get install ./*.deb"
fi

if systemd-analyze verify /lib/systemd/system/vexcountd.service; then
    pass "systemd-analyze verify vexcountd.service"
else
    fail "systemd-analyze verify vexcountd.service"
fi

if [ "$(/usr/bin/vexcountd --version)" = "vexcountd $version" ]; then
    pass "vexcountd --version: vexcountd $version"
else
    fail "vexcountd --version: '$(/usr/bin/vexcountd --version 2>&1)', expected 'vexcountd $version'"
fi

# The installed server on a free loopback port; it prints the port it got.
/usr/bin/vexcountd --listen 127.0.0.1:0 --device none >"$work/vexcountd.log" 2>&1 &
server_pid=$!
port=""
for _ in $(seq 50); do
    port=$(sed -n 's/^vexcountd: listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/vexcountd.log")
    [ -n "$port" ] && break
    sleep 0.1
done
reply=""
if [ -n "$port" ] && exec 3<>"/dev/tcp/127.0.0.1/$port"; then
    printf '*IDN?\n' >&3
    read -r -t 5 reply <&3 || true
    exec 3>&-
fi
reply=${reply%$'\r'}
if [[ "$reply" == "0 vexcountd,$version,"* ]]; then
    pass "installed vexcountd answers *IDN? on 127.0.0.1:$port: $reply"
else
    cat "$work/vexcountd.log"
    fail "installed vexcountd on loopback: port '$port', reply '$reply'"
fi

# The installed application, offscreen: still running after 5 s means it
# started and connected (a failed start ends it at once, non-zero).
app_runs() {
    local status=0
    QT_QPA_PLATFORM=offscreen VEXIF_DEVICES="" timeout 5 /usr/bin/vexcounter "$@" \
        >"$work/vexcounter.log" 2>&1 || status=$?
    [ "$status" -eq 124 ] || { cat "$work/vexcounter.log"; return 1; }
}
if app_runs; then
    pass "installed vexcounter starts offscreen on the built-in server"
else
    fail "installed vexcounter offscreen on the built-in server"
fi
if [ -n "$port" ] && app_runs "server=127.0.0.1:$port"; then
    pass "installed vexcounter starts offscreen on the installed vexcountd"
else
    fail "installed vexcounter offscreen on the installed vexcountd"
fi
kill "$server_pid" 2>/dev/null || true
wait "$server_pid" 2>/dev/null || true
server_pid=""

# libvexif-dev: a C program through pkg-config, then a CMake project.
example=$root/dist/examples/vexif-modules.c
# shellcheck disable=SC2046 # pkg-config prints several words on purpose
if pkg-config --atleast-version=1.1 vexif &&
    cc -Wall -Wextra -Werror "$example" $(pkg-config --cflags --libs vexif) -o "$work/vexif-modules" &&
    VEXIF_DEVICES="" "$work/vexif-modules"; then
    pass "C program built with pkg-config --cflags --libs vexif (version $(pkg-config --modversion vexif)) lists the modules, counts and reads the measures"
else
    fail "C program built with pkg-config vexif"
fi
mkdir -p "$work/consumer"
cat >"$work/consumer/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.16)
project(consumer C)
find_package(vexif 1.1 REQUIRED)
add_executable(vexif-modules $example)
target_link_libraries(vexif-modules PRIVATE vexif::vexif)
EOF
if cmake -S "$work/consumer" -B "$work/consumer/build" >"$work/consumer.log" 2>&1 &&
    cmake --build "$work/consumer/build" >>"$work/consumer.log" 2>&1 &&
    VEXIF_DEVICES="" "$work/consumer/build/vexif-modules" >/dev/null; then
    pass "CMake project with find_package(vexif) and vexif::vexif"
else
    cat "$work/consumer.log"
    fail "CMake project with find_package(vexif)"
fi

finish
