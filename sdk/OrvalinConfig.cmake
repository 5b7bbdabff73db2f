# find_package(Orvalin): the imported targets Orvalin::orvalin (the desktop
# program: headers under include/orvalin, liborvalin.a and Allegro 4 through
# pkg-config) and Orvalin::harness (the headless twin: liborvalin-harness.a,
# with libpng and libcrypto).
# orvalin_add_replay_test (OrvalinReplayTest.cmake) pins a program with a
# golden replay. Under Emscripten, Orvalin::orvalin is the runtime on the
# browser host, and orvalin_add_web_program (OrvalinWeb.cmake) makes a
# program's pages.
include(${CMAKE_CURRENT_LIST_DIR}/OrvalinReplayTest.cmake)
if(EMSCRIPTEN)
  include(${CMAKE_CURRENT_LIST_DIR}/OrvalinWeb.cmake)
  include(${CMAKE_CURRENT_LIST_DIR}/OrvalinTargets.cmake)
  return()
endif()
include(CMakeFindDependencyMacro)
find_dependency(PkgConfig)
# The libraries' link interfaces name these targets, as in their own build.
if(NOT TARGET PkgConfig::ALLEGRO)
  pkg_check_modules(ALLEGRO IMPORTED_TARGET allegro)
endif()
if(NOT WIN32 AND NOT APPLE AND NOT TARGET PkgConfig::X11)
  pkg_check_modules(X11 IMPORTED_TARGET x11)
endif()
if(NOT TARGET PkgConfig::PNG)
  pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
endif()
if(WIN32)  # Windows' own BCrypt hashes the frames there, and a program gets a zip
  include(${CMAKE_CURRENT_LIST_DIR}/OrvalinWindows.cmake)
else()
  find_dependency(OpenSSL COMPONENTS Crypto)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/OrvalinTargets.cmake)
