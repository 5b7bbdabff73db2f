# Cross build for 64-bit Windows with Debian's mingw-w64 (POSIX thread model),
# everything linked statically so one .exe runs without DLLs beside it.
#
# The libraries the build needs (Allegro 4.4, libpng, FreeType, GoogleTest)
# are built for Windows by tools/windows/deps.sh into
# $QUADRILLO_WINDOWS_CACHE/prefix (default ~/.cache/quadrillo-windows/prefix)
# and found there through pkg-config and CMake's package search. Programs run
# at build or test time (test discovery, ctest) go through Wine. The Windows
# SDK carries this file, for building programs against it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUADRILLO_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUADRILLO_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUADRILLO_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${QUADRILLO_MINGW}-windres)
set(CMAKE_AR ${QUADRILLO_MINGW}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${QUADRILLO_MINGW}-gcc-ranlib-posix CACHE FILEPATH "")

# Kept in the cache, so a later re-run of CMake without the environment
# variable still finds the same libraries.
if(NOT QUADRILLO_WINDOWS_PREFIX)
  if(DEFINED ENV{QUADRILLO_WINDOWS_CACHE})
    set(QUADRILLO_WINDOWS_PREFIX $ENV{QUADRILLO_WINDOWS_CACHE}/prefix CACHE PATH "Windows libraries")
  else()
    set(QUADRILLO_WINDOWS_PREFIX $ENV{HOME}/.cache/quadrillo-windows/prefix CACHE PATH "Windows libraries")
  endif()
endif()
# Passed on to try_compile projects, which read this file again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUADRILLO_WINDOWS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${QUADRILLO_MINGW} ${QUADRILLO_WINDOWS_PREFIX})
set(CMAKE_PREFIX_PATH ${QUADRILLO_WINDOWS_PREFIX})
# The Windows SDK installs a copy of this file beside its CMake package, in
# lib/cmake/Orvalin of its prefix. Packages are searched for only under the
# roots above, so that copy adds the SDK's own prefix: a maker's build finds
# Orvalin with this file alone.
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/OrvalinConfig.cmake)
  get_filename_component(QUADRILLO_SDK_PREFIX ${CMAKE_CURRENT_LIST_DIR}/../../.. ABSOLUTE)
  list(APPEND CMAKE_FIND_ROOT_PATH ${QUADRILLO_SDK_PREFIX})
  list(APPEND CMAKE_PREFIX_PATH ${QUADRILLO_SDK_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees only the Windows libraries, and --static brings in their
# private dependencies (zlib under libpng, the Windows system libraries).
set(ENV{PKG_CONFIG_LIBDIR} ${QUADRILLO_WINDOWS_PREFIX}/lib/pkgconfig:/usr/${QUADRILLO_MINGW}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(PKG_CONFIG_ARGN --static)

# No runtime DLLs: libgcc, libstdc++ and winpthread go into the executable.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
# Prefer static archives over import libraries wherever both exist.
set(CMAKE_PROJECT_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/static-libraries.cmake)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine.sh)
