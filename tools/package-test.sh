#!/usr/bin/env bash
# The Debian package as a user gets it: built in Release into a temporary folder (`cpack -G DEB`),
# checked with lintian, installed with `apt-get install ./rekkon_*.deb`, its programs, menu entry,
# manual pages, metadata, icons, manual and completion checked where a user's system looks for
# them, then removed with --purge, after which nothing it installed may be left.
#
# Needs root, apt and dpkg-dev. Where they are missing, or a rekkon package is installed already,
# it says "skipped" and succeeds, except in CI (CI=true), where it must run. lintian runs where it
# is installed; CI installs it (it brings some 150 packages, too many for every developer run).
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
start=$SECONDS

skip() {
    echo "package-test: skipped: $*"
    if [ "${CI:-}" = true ]; then
        echo "package-test: CI must run this test" >&2
        exit 1
    fi
    exit 0
}
command -v apt-get >/dev/null && command -v dpkg >/dev/null || skip "apt-get or dpkg is missing"
[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
command -v dpkg-shlibdeps >/dev/null || skip "dpkg-shlibdeps (package dpkg-dev) is missing"
if dpkg-query -W -f='${Status}' rekkon 2>/dev/null | grep -q 'installed'; then
    skip "a rekkon package is installed already; remove it (apt-get remove rekkon) to run this"
fi

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

work=$(mktemp -d)
installed=false
cleanup() {
    if $installed; then
        DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq rekkon >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# --- build ----------------------------------------------------------------------------------
# Release, with Debian's hardening flags; only the programs (no tests). The build folder stays
# in the checkout (as build-asan does), so the compiler cache serves the next run.
build=$source_dir/build-package
log=$work/build.log
# All of Debian's hardening (bind now too). The path maps are left out: they name the checkout, so
# with them a clone in another folder would miss the compiler cache, and the binaries are stripped
# of the debug information they would go into.
export DEB_BUILD_MAINT_OPTIONS="hardening=+all reproducible=-fixfilepath,-fixdebugpath"
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
if ! {
    cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
        -DREKKON_BUILD_TESTS=OFF -DCMAKE_CXX_FLAGS="$cxxflags" \
        -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" &&
        nice cmake --build "$build" -j 2 --target rekkon rekkon-cli &&
        (cd "$build" && cpack -G DEB -B "$work/deb")
} >"$log" 2>&1; then
    tail -40 "$log" >&2
    echo "package-test: the package could not be built (above: the end of its log)" >&2
    exit 1
fi
debs=("$work"/deb/rekkon_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || {
    echo "package-test: cpack made no single rekkon_*.deb: ${debs[*]}" >&2
    exit 1
}
deb=${debs[0]}
built=$((SECONDS - start))

version=$(sed -n 's/^project(rekkon VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ "$(dpkg-deb -f "$deb" Package)" = rekkon ] || fail "the package is not named rekkon"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] ||
    fail "the package's version $(dpkg-deb -f "$deb" Version) is not the project's $version"
for dep in libblkid1 libewf2 libssl3 libqt6widgets6; do
    dpkg-deb -f "$deb" Depends | grep -q "$dep" || fail "the package does not depend on $dep"
done

# --- lintian --------------------------------------------------------------------------------
if ! command -v lintian >/dev/null && [ "${CI:-}" = true ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends lintian \
        >/dev/null
fi
if command -v lintian >/dev/null; then
    # Errors and warnings fail; tags of lesser weight are shown.
    lintian --fail-on error,warning --display-info "$deb" >"$work/lintian.txt" 2>&1 ||
        fail "lintian: $(cat "$work/lintian.txt")"
    grep -v 'running with root privileges' "$work/lintian.txt" | sed 's/^/package-test: lintian: /' || true
else
    echo "package-test: lintian is not installed: not run (apt-get install lintian)"
fi

# --- install as a user would ----------------------------------------------------------------
# Paths the package holds that exist before: their folders (/usr/bin, ...) stay after removal.
mapfile -t contents < <(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./|/|; s|/$||' |
    grep -v '^$')
declare -A existed=()
for path in "${contents[@]}"; do
    [ -e "$path" ] && existed[$path]=1
done
# The apt sandbox user cannot read a file in a private temporary folder.
chmod 755 "$work" "$work/deb"
if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/apt.txt" 2>&1; then
    cat "$work/apt.txt" >&2
    echo "package-test: apt-get could not install the package" >&2
    exit 1
fi
installed=true

[ "$(rekkon-cli --version)" = "rekkon-cli $version" ] ||
    fail "rekkon-cli --version prints \"$(rekkon-cli --version)\", not \"rekkon-cli $version\""
[ "$(command -v rekkon-cli)" = /usr/bin/rekkon-cli ] || fail "rekkon-cli is not /usr/bin/rekkon-cli"
id=io.github.rekkon.Rekkon
for f in /usr/bin/rekkon /usr/share/applications/$id.desktop /usr/share/metainfo/$id.metainfo.xml \
    /usr/share/man/man1/rekkon.1.gz /usr/share/man/man1/rekkon-cli.1.gz \
    /usr/share/icons/hicolor/scalable/apps/$id.svg /usr/share/icons/hicolor/48x48/apps/$id.png \
    /usr/share/doc/rekkon/MANUAL.html /usr/share/doc/rekkon/copyright \
    /usr/share/doc/rekkon/changelog.gz /usr/share/bash-completion/completions/rekkon-cli; do
    [ -f "$f" ] || fail "$f is not installed"
done
for program in /usr/bin/rekkon /usr/bin/rekkon-cli; do
    ! ldd "$program" | grep -q 'not found' || fail "$program misses libraries: $(ldd "$program")"
done
bash -c 'source /usr/share/bash-completion/completions/rekkon-cli && complete -p rekkon-cli' \
    >/dev/null 2>&1 || fail "the installed completion does not complete rekkon-cli"
if command -v man >/dev/null; then
    [ "$(man -w rekkon-cli 2>/dev/null)" = /usr/share/man/man1/rekkon-cli.1.gz ] ||
        fail "man does not find rekkon-cli(1)"
fi
# The same tree as `cmake --install` with the prefix /usr.
cmake --install "$build" --prefix "$work/tree" >/dev/null
(cd "$work/tree" && find . ! -type d | sed 's|^\.||' | sort) >"$work/tree.txt"
dpkg -L rekkon | while read -r p; do [ -d "$p" ] || echo "$p"; done |
    sed 's|^/usr||' | sort >"$work/package.txt"
diff "$work/tree.txt" "$work/package.txt" >"$work/tree.diff" ||
    fail "the package and \`cmake --install\` install different files (< install only, > package only):
$(cat "$work/tree.diff")"

# --- remove ---------------------------------------------------------------------------------
dpkg -L rekkon >"$work/files.txt"
DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq rekkon >/dev/null 2>&1 ||
    fail "apt-get remove --purge rekkon failed"
installed=false
dpkg-query -W -f='${Status}' rekkon 2>/dev/null | grep -q 'installed' && fail "rekkon is still installed"
while read -r path; do
    [ -n "${existed[$path]:-}" ] && continue
    [ ! -e "$path" ] || fail "$path is left after the package was removed"
done <"$work/files.txt"

echo "package-test: built $(basename "$deb") in ${built} s; installed, checked and removed it;" \
    "$((SECONDS - start)) s in all"
exit $((failures != 0))
