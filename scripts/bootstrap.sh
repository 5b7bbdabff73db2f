#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, when
# any is missing (with sudo when not root). Safe to run again: it does nothing
# once everything is there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git python3
  liballegro4-dev                    # the Allegro 4 API the machine runs on
  libgtest-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev valgrind  # the sanitizer and fuzz build, memcheck
  libpng-dev libfreetype-dev fonts-dejavu-core
  libx11-dev xvfb xdotool x11-utils  # end-to-end tests in a private X server
  pulseaudio pulseaudio-utils libasound2-plugins  # a private audio sink
  desktop-file-utils lintian dpkg-dev fakeroot file  # checks of the Debian package
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "bootstrap: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
