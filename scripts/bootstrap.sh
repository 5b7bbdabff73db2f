#!/usr/bin/env bash
# Installs the Debian packages of one set when any is missing (with sudo when
# not root). Safe to run again: it does nothing once everything is there.
#
#   bootstrap.sh play   what building and running the game needs
#   bootstrap.sh test   everything: the tools, the tests, the benchmarks and
#                       the package checks (the default; a superset of play
#                       and web)
#   bootstrap.sh web    what the browser build needs (scripts/web.sh)
#
# The package lists live here and nowhere else.
set -euo pipefail

play=(
  g++ make cmake pkg-config
  liballegro4-dev                    # the Allegro 4 API the machine runs on
)
web=(
  cmake make python3
  emscripten                         # Debian's Emscripten: the browser build
  nodejs                             # the harness compiled for node
  chromium                           # looks at the pages
)
test=(
  "${play[@]}"
  "${web[@]}" npm                    # npm: the page tests' puppeteer-core
  git python3
  libgtest-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev valgrind  # the sanitizer and fuzz build, memcheck
  libpng-dev libfreetype-dev fonts-dejavu-core  # the data tools
  libssl-dev                         # replay frame hashes
  python3-pil python3-numpy python3-xlib  # pictures, signals, windows in tests
  libx11-dev xvfb xdotool x11-utils x11-apps  # end-to-end tests in a private X server
  pulseaudio pulseaudio-utils libasound2-plugins  # a private audio sink
  desktop-file-utils lintian dpkg-dev fakeroot file  # checks of the Debian package
)

case "${1:-test}" in
  play) packages=("${play[@]}") ;;
  test) packages=("${test[@]}") ;;
  web) packages=("${web[@]}") ;;
  list-play) printf '%s\n' "${play[@]}"; exit 0 ;;
  list-test) printf '%s\n' "${test[@]}"; exit 0 ;;
  list-web) printf '%s\n' "${web[@]}"; exit 0 ;;
  *) echo "usage: bootstrap.sh [play|test|web|list-play|list-test|list-web]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  # A node installed from elsewhere brings its own npm (and conflicts with
  # Debian's): it serves as well.
  case $p in nodejs) command -v node > /dev/null && continue ;; npm) command -v npm > /dev/null && continue ;; esac
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
