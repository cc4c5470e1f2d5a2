#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages the build and the tests need, only those missing.
# Runs apt-get directly as root, through sudo otherwise.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libgl-dev
    locales             # a decimal-comma locale proves number texts ignore the locale
    clang libclang-rt-dev # the fuzz targets: clang with libFuzzer and the sanitizer runtimes
    iproute2 util-linux # the end-to-end test runs the program in a private network namespace
    libcap2-bin         # setcap, so a non-root user may listen on port 23
    qt6-svg-dev         # the window icon is drawn from the SVG that the desktop entry installs
    dpkg-dev file desktop-file-utils appstream # build and check the .deb
    xvfb dbus           # the operator scenario: a virtual display and a session bus
    at-spi2-core python3-pyatspi # ... and the accessibility bus that drives the window
    monitoring-plugins-basic netcat-openbsd socat # the client recipes of docs/clients.md
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
fi

# The German locale, for the number-text tests.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    if [ -f /etc/locale.gen ]; then
        as_root sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
        as_root locale-gen >/dev/null
    else
        as_root locale-gen de_DE.UTF-8 >/dev/null
    fi
fi
