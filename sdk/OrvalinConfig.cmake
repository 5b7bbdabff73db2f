# find_package(Orvalin): the imported target Orvalin::orvalin (headers under
# include/orvalin, liborvalin.a, and Allegro 4 found through pkg-config).
include(CMakeFindDependencyMacro)
find_dependency(PkgConfig)
# The library's link interface names PkgConfig::ALLEGRO, as in its own build.
if(NOT TARGET PkgConfig::ALLEGRO)
  pkg_check_modules(ALLEGRO REQUIRED IMPORTED_TARGET allegro)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/OrvalinTargets.cmake)
