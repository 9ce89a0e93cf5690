#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need (as root, or through sudo).
set -euo pipefail

packages=(
    cmake ninja-build g++ ccache pkg-config
    juce-modules-source
    libasound2-dev libjack-jackd2-dev libfreetype-dev libx11-dev libxrandr-dev libxinerama-dev
    libxext-dev libxcursor-dev libxrender-dev libpng-dev libjpeg-dev zlib1g-dev
    libgtest-dev libbenchmark-dev
    # headless checks: a display, real key presses and screenshots; JACK's dummy server and
    # its MIDI tools; an independent LV2 host; a real LV2 drum instrument; a DAW; fuzzing
    xvfb xauth x11-apps x11-utils imagemagick xdotool
    jackd2 lilv-utils jalv sordi avldrums.lv2 sox
    ardour lv2-dev gcc python3
    # a MIDI file reader other than JUCE's, for the checks of the takes
    python3-mido
    clang libclang-rt-14-dev
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}" >&2
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
