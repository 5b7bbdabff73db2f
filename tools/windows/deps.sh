#!/usr/bin/env bash
# Builds the libraries of the Windows build as static mingw-w64 libraries into
# $QUADRILLO_WINDOWS_CACHE/prefix (default ~/.cache/quadrillo-windows/prefix):
#   Allegro 4.4, libpng and FreeType from Debian's source packages
#   (only their upstream tarballs are used), zlib from Debian's libz-mingw-w64-dev, and
#   GoogleTest from the sources of Debian's googletest package.
#
# The source entries are this machine's own apt entries with "deb" turned into
# "deb-src", kept in a private copy with private list and archive folders: the
# system's apt state is not touched and no archive host is named here.
# Each library is built once; a stamp in the prefix says it is there, so
# running this again does nothing. Parallel jobs: $QUADRILLO_JOBS (default 2).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cache=${QUADRILLO_WINDOWS_CACHE:-$HOME/.cache/quadrillo-windows}
prefix=$cache/prefix
jobs=${QUADRILLO_JOBS:-2}
toolchain=$here/mingw-w64-x86_64.cmake
mingw=x86_64-w64-mingw32
export QUADRILLO_WINDOWS_CACHE=$cache
mkdir -p "$cache/source" "$cache/build" "$prefix/lib/pkgconfig"

say() { echo "deps.sh: $*" >&2; }

# --- Debian source packages -------------------------------------------------

apt_dir=$cache/apt
apt_options=(
  -o "Dir::Etc::SourceList=$apt_dir/sources.list"
  -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
  -o "Dir::State::Lists=$apt_dir/lists"
  -o "Dir::Cache::Archives=$apt_dir/archives"
  -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
  -o "Debug::NoLocking=1"
)
# As root, apt would hand downloads to its _apt user, which cannot write into
# a private folder under root's home.
[ "$(id -u)" -ne 0 ] || apt_options+=(-o "APT::Sandbox::User=root")
apt_ready=0

# Writes the private source entries: every entry of this Debian release (its
# suites name the release's code name) from /etc/apt, as "deb-src". Other
# repositories rarely publish sources and would only make the update fail.
apt_prepare() {
  [ "$apt_ready" = 1 ] && return
  local codename f
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || { say "no code name in /etc/os-release"; exit 1; }
  rm -rf "$apt_dir/sources.list.d"
  mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/archives/partial"
  : > "$apt_dir/sources.list"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    awk -v codename="$codename" '
      function flush() {
        if (stanza != "" && is_deb && suites ~ ("[ \t]" codename "([- \t]|$)"))
          printf "%s\n", stanza
        stanza = ""; is_deb = 0; suites = ""
      }
      /^[ \t]*$/ { flush(); next }
      /^[Tt]ypes:/ {
        if ($0 ~ /[ \t]deb([ \t]|$)/) is_deb = 1
        $0 = "Types: deb-src"
      }
      /^[Ss]uites:/ { suites = $0 }
      { stanza = stanza $0 "\n" }
      END { flush() }
    ' "$f" > "$apt_dir/sources.list.d/$(basename "$f")"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -e "$f" ] || continue
    awk -v codename="$codename" '
      $1 == "deb" {
        for (i = 2; i <= NF; i++)
          if ($i == codename || index($i, codename "-") == 1) { $1 = "deb-src"; print; next }
      }
    ' "$f" >> "$apt_dir/sources.list"
  done
  if ! cat "$apt_dir/sources.list" "$apt_dir/sources.list.d/"* 2>/dev/null | grep -q deb-src; then
    say "no Debian $codename entries in /etc/apt to derive source entries from"
    exit 1
  fi
  say "reading the source index"
  apt-get "${apt_options[@]}" -qq update
  apt_ready=1
}

# fetch_source PACKAGE: sets `orig` to the path of the package's upstream tarball,
# downloading the source package first when it is not in the cache. Only the
# upstream tarball is needed (Debian's packaging is not used here), so a
# failure to fetch the other files of the package is not an error.
fetch_source() {
  local package=$1
  orig=$(ls "$cache/source/${package}_"*.orig.tar.* 2>/dev/null | grep -v '\.asc$' | grep -v -- '.orig-' | head -n 1 || true)
  if [ -z "$orig" ]; then
    apt_prepare
    say "downloading the $package source package (apt's log: $cache/source/$package.log)"
    (cd "$cache/source" && apt-get "${apt_options[@]}" -q --download-only source "$package") \
      > "$cache/source/$package.log" 2>&1 || true
    orig=$(ls "$cache/source/${package}_"*.orig.tar.* 2>/dev/null | grep -v '\.asc$' | grep -v -- '.orig-' | head -n 1 || true)
    if [ -z "$orig" ]; then
      cat "$cache/source/$package.log" >&2
      say "the upstream tarball of $package did not download"
      exit 1
    fi
    say "got $(basename "$orig")"
  fi
}

# unpack TARBALL NAME: unpacks into a fresh $cache/build/NAME/src and prints
# the folder holding the top-level CMakeLists.txt.
unpack() {
  local tarball=$1 name=$2 dir=$cache/build/$2
  rm -rf "$dir"
  mkdir -p "$dir/src"
  tar -xf "$tarball" -C "$dir/src"
  dirname "$(find "$dir/src" -maxdepth 2 -name CMakeLists.txt | head -n 1)"
}

# cmake_build NAME SOURCE_DIR CMAKE_OPTIONS...: configures, builds and installs
# into the prefix, with the log in $cache/build/NAME/log.txt.
cmake_build() {
  local name=$1 src=$2; shift 2
  local dir=$cache/build/$name log=$cache/build/$name/log.txt
  mkdir -p "$dir"
  say "building $name (log: $log)"
  local start=$SECONDS
  if ! { cmake -S "$src" -B "$dir/out" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
           -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "$@" &&
         cmake --build "$dir/out" -j "$jobs" &&
         cmake --install "$dir/out"; } > "$log" 2>&1; then
    tail -n 30 "$log" >&2
    say "building $name failed"
    exit 1
  fi
  say "built $name in $((SECONDS - start)) s"
}

stamped() { [ -f "$prefix/.built-$1" ]; }
stamp() { date -u +%FT%TZ > "$prefix/.built-$1"; }

# --- the libraries ------------------------------------------------------------

# The stamp names the patch level: a changed patch rebuilds the library.
if ! stamped allegro-3; then
  fetch_source allegro4.4
  src=$(unpack "$orig" allegro)
  # Three fixes for running under Wine, neutral on Windows: a fallback to the
  # plain DirectInput keyboard (Wine has no emulated one, so no key arrived);
  # a window thread that takes its messages without blocking (under Wine it
  # could block in GetMessage and hang start-up); and a windowed-mode exit
  # that no longer holds the graphics lock while it waits for the window
  # thread (a focus change at exit deadlocked the two threads).
  patch -d "$src" -p1 --quiet < "$here/allegro-wine.patch"
  cmake_build allegro "$src" \
    -DWANT_ALLEGROGL=off -DWANT_LOADPNG=off -DWANT_LOGG=off -DWANT_JPGALLEG=off \
    -DWANT_EXAMPLES=off -DWANT_TOOLS=off -DWANT_TESTS=off -DWANT_DOCS=off -DSHARED=off
  # Allegro's build writes pkg-config files only on Unix. The static library
  # needs ALLEGRO_STATICLINK in every user and the DirectX and Win32 system
  # libraries after it, in the order Allegro's own build links them.
  cat > "$prefix/lib/pkgconfig/allegro.pc" <<PC
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: allegro
Description: Allegro game programming library (static, Windows)
Version: 4.4.3
Libs: -L\${libdir} -l$(basename "$(ls "$prefix"/lib/liballeg*.a | head -n 1)" .a | sed 's/^lib//')
Libs.private: -lkernel32 -luser32 -lgdi32 -lcomdlg32 -lole32 -ldinput -lddraw -ldxguid -lwinmm -ldsound
Cflags: -I\${includedir} -DALLEGRO_STATICLINK
PC
  stamp allegro-3
fi

zlib=/usr/$mingw/lib/libz.a
[ -f "$zlib" ] || { say "$zlib is missing: install libz-mingw-w64-dev (tools/windows/packages.txt)"; exit 1; }

if ! stamped libpng; then
  fetch_source libpng1.6
  src=$(unpack "$orig" libpng)
  cmake_build libpng "$src" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
    -DZLIB_LIBRARY="$zlib" -DZLIB_INCLUDE_DIR=/usr/$mingw/include
  stamp libpng
fi

if ! stamped freetype; then
  fetch_source freetype
  src=$(unpack "$orig" freetype)
  cmake_build freetype "$src" -DBUILD_SHARED_LIBS=OFF \
    -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON \
    -DZLIB_LIBRARY="$zlib" -DZLIB_INCLUDE_DIR=/usr/$mingw/include
  stamp freetype
fi

if ! stamped googletest; then
  [ -f /usr/src/googletest/CMakeLists.txt ] || { say "/usr/src/googletest is missing: install googletest"; exit 1; }
  cmake_build googletest /usr/src/googletest -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
  stamp googletest
fi

echo "$prefix"
