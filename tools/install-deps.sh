#!/usr/bin/env bash
# Installs the Debian packages that building and testing rekkon need, and nothing when they are
# all present already. Runs `apt-get update` at most once.
set -euo pipefail

packages=(
    cmake g++ make pkg-config xz-utils
    # compiler cache: rebuilds and the test command's three builds reuse what was compiled
    ccache
    # a linker several times faster than the default one for the test programs
    lld
    libgtest-dev libgmock-dev nlohmann-json3-dev
    # partition tables and file-system names of devices; Expert Witness (E01) evidence files
    libblkid-dev libewf-dev
    # md5 and sha256 of recovered files (recovery reports)
    libssl-dev
    # deflate streams and CRC-32s of carved files (ZIP, GZIP, PNG)
    zlib1g-dev
    # decoding the image data of carved JPEG files (libjpeg-turbo)
    libjpeg-dev
    # the desktop program: Qt 6 Widgets and Qt Test, the SVG image plugin for its icons
    qt6-base-dev qt6-base-dev-tools libqt6svg6
    # test oracles and fixture makers; never linked
    sleuthkit mtools dosfstools ntfs-3g
    # disk images with partition tables and evidence files for the tests
    fdisk gdisk ewf-tools
    # the desktop program's drive access through UDisks2 (a private bus in the tests) and the
    # checks of its installed desktop entry, metadata and manual pages
    dbus-daemon desktop-file-utils appstream groff-base
    # the Debian package (tools/package-test.sh): cpack's dependency search needs dpkg-shlibdeps
    # and file
    dpkg-dev file
    # fuzzing (tools/fuzz.sh): clang with libFuzzer's runtime, python3 to cut the seeds
    clang libclang-rt-dev python3
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}" >&2
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
