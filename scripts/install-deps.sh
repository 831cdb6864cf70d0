#!/usr/bin/env bash
# Installs the Debian 12 or 13 packages Sayvo needs to build and run ("run"), to
# build its Debian package ("package") or to build and test ("test"). Only
# what is missing is installed.
set -euo pipefail

what=${1:-run}

build_packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-declarative-dev qt6-websockets-dev libqt6svg6
    qml6-module-qtquick qml6-module-qtquick-window qml6-module-qtqml-workerscript
    qml6-module-qtquick-controls qml6-module-qtquick-layouts qml6-module-qtquick-templates
    nlohmann-json3-dev libsoxr-dev libpulse-dev libx11-dev libxi-dev libxtst-dev libxkbcommon-dev
    libwayland-dev libwayland-bin libglib2.0-dev qt6-tools-dev qt6-l10n-tools libsecret-1-dev
    libpocketsphinx-dev libsphinxbase-dev pocketsphinx-en-us
    fonts-noto-cjk qt6-gtk-platformtheme ca-certificates
)
test_packages=(
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth x11-utils x11-xserver-utils x11-xkb-utils trayer xdotool xclip gir1.2-gtk-3.0 dbus dbus-x11
    pulseaudio pulseaudio-utils pocketsphinx-testdata
    at-spi2-core python3-pyatspi libglib2.0-bin openssl desktop-file-utils appstream
    kwin-wayland xwayland xdg-desktop-portal xdg-desktop-portal-kde qtwayland5 qt6-wayland
    wl-clipboard python3-gi gir1.2-glib-2.0
    xterm rxvt-unicode xfce4-terminal python3-pyqt6
    gnome-shell gnome-settings-daemon xdg-desktop-portal-gnome dconf-cli
    gnome-keyring libsecret-tools
)
# scripts/package.sh and scripts/package_test.sh, which the tests also run.
package_packages=(dpkg-dev file lintian debootstrap)

# Debian 13 moved the SVG image plugin (the icons) and KWin's plugins (its
# remote-desktop portal needs them) into packages of their own.
if grep -qs '^VERSION_CODENAME=trixie' /etc/os-release; then
    build_packages+=(qt6-svg-plugins)
    test_packages+=(kwin-common)
fi

packages=("${build_packages[@]}")
if [ "$what" = test ]; then packages+=("${test_packages[@]}"); fi
if [ "$what" = test ] || [ "$what" = package ]; then packages+=("${package_packages[@]}"); fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
