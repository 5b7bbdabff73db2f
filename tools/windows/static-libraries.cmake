# Read after project(): by then the Windows platform files have set the
# library suffixes to prefer import libraries (.dll.a); a static build wants
# the archives.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
