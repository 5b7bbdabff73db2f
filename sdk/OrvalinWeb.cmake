# orvalin_add_web_program: a program of the Orvalin machine as web pages.
#
#   orvalin_add_web_program(NAME SOURCES file... [DATA file...]
#                           [LIBRARIES library...] [TITLE text] [KEYS text]
#                           [REPLAY twin])
#
# Builds the sources against Orvalin::orvalin, the runtime on its browser
# host, in a build made with Emscripten (emcmake cmake ...), and writes into
# ORVALIN_WEB_SITE (default: site/ of the build folder):
#   NAME.html, NAME.js, NAME.wasm, NAME.data  the page and what it loads, to
#                                             serve as static files;
#   single/NAME.html                          all of it in one page, which
#                                             also plays opened from disk.
# Each DATA file lies in the program's working directory under its own name.
# The page starts the program (with no arguments) at its first click or key.
# KEYS is the program's keys in one line, shown under the picture as written
# ("Arrows move, Space jumps"); the page adds what touch buttons and a gamepad
# stand for when those are in use. Write it without semicolons: CMake would
# take them for list separators.
# With REPLAY, also the program's headless twin for node, `twin`.js in the
# current build folder: the same sources with Orvalin::harness, run as
#   node --no-experimental-fetch twin.js --data DIR --keys FILE --out DIR
# and byte-identical to the native twin's run of the same key script.
#
# Debian's emcc runs its JavaScript tools (acorn, for one) under the first
# `node` of PATH, and a node that is not Debian's own does not search
# Debian's modules folder: every link made here names that folder.
find_path(ORVALIN_NODE_MODULES acorn PATHS /usr/share/nodejs /usr/lib/nodejs NO_DEFAULT_PATH
          NO_CMAKE_FIND_ROOT_PATH)  # outside the toolchain's sysroot
set(ORVALIN_NODE_LAUNCHER "")
if(ORVALIN_NODE_MODULES)
  set(node_path ${ORVALIN_NODE_MODULES})
  if(DEFINED ENV{NODE_PATH} AND NOT "$ENV{NODE_PATH}" STREQUAL "")
    string(APPEND node_path ":$ENV{NODE_PATH}")
  endif()
  set(ORVALIN_NODE_LAUNCHER ${CMAKE_COMMAND} -E env "NODE_PATH=${node_path}")
endif()
if(NOT ORVALIN_WEB_FILES)
  set(ORVALIN_WEB_FILES ${CMAKE_CURRENT_LIST_DIR}/web)  # where the SDK installs them
endif()
set_property(GLOBAL PROPERTY ORVALIN_WEB_FILES ${ORVALIN_WEB_FILES})

function(orvalin_add_web_program name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "TITLE;KEYS;REPLAY" "SOURCES;DATA;LIBRARIES")
  get_property(files GLOBAL PROPERTY ORVALIN_WEB_FILES)
  if(NOT arg_TITLE)
    set(arg_TITLE ${name})
  endif()
  set(site ${ORVALIN_WEB_SITE})
  if(NOT site)
    set(site ${CMAKE_BINARY_DIR}/site)
  endif()
  # The program runs as the page's one long task, each rest handed back to
  # the browser through Asyncify; the page calls its main when it starts it,
  # in a fresh instance of the module for every run.
  set(options -sMODULARIZE=1 -sEXPORT_NAME=orvalin_program -sINVOKE_RUN=0
              -sEXPORTED_RUNTIME_METHODS=callMain,FS,UTF8ToString -sASYNCIFY=1 -sASYNCIFY_STACK_SIZE=16384
              -sENVIRONMENT=web -sALLOW_MEMORY_GROWTH=1 "SHELL:--extern-post-js ${files}/orvalin.js")
  set(packed "")
  set(embedded "")
  foreach(file ${arg_DATA})
    get_filename_component(path ${file} ABSOLUTE)
    get_filename_component(base ${file} NAME)
    list(APPEND packed "SHELL:--preload-file ${path}@/${base}")
    list(APPEND embedded "SHELL:--embed-file ${path}@/${base}")
  endforeach()

  add_executable(${name} ${arg_SOURCES})
  add_executable(${name}-single ${arg_SOURCES})
  foreach(target ${name} ${name}-single)
    target_link_libraries(${target} PRIVATE Orvalin::orvalin ${arg_LIBRARIES})
    target_link_options(${target} PRIVATE ${options})
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name} SUFFIX .js
                          LINK_DEPENDS "${files}/orvalin.js;${arg_DATA}"
                          CXX_LINKER_LAUNCHER "${ORVALIN_NODE_LAUNCHER}")
  endforeach()
  target_link_options(${name} PRIVATE ${packed})
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DPACKAGE=$<TARGET_FILE:${name}> -P ${files}/page.cmake VERBATIM)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${site})
  target_link_options(${name}-single PRIVATE -sSINGLE_FILE=1 ${embedded})
  set_target_properties(${name}-single PROPERTIES
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/${name}-single)

  set(page ${CMAKE_COMMAND} -DTEMPLATE=${files}/page.html -DTITLE=${arg_TITLE} -DKEYS=${arg_KEYS})
  # Written only when the title or the keys change: the pages depend on it,
  # so that they are written again then.
  set(words ${CMAKE_CURRENT_BINARY_DIR}/${name}-page-words.txt)
  file(CONFIGURE OUTPUT ${words} CONTENT "${arg_TITLE}\n${arg_KEYS}\n" @ONLY)
  add_custom_command(OUTPUT ${site}/${name}.html
    COMMAND ${page} -DSCRIPT_SRC=${name}.js -DOUT=${site}/${name}.html -P ${files}/page.cmake
    DEPENDS ${files}/page.html ${files}/page.cmake ${words} VERBATIM)
  add_custom_command(OUTPUT ${site}/single/${name}.html
    COMMAND ${page} -DSCRIPT_FILE=$<TARGET_FILE:${name}-single> -DOUT=${site}/single/${name}.html
            -P ${files}/page.cmake
    DEPENDS ${name}-single ${files}/page.html ${files}/page.cmake ${words} VERBATIM)
  add_custom_target(${name}-pages ALL DEPENDS ${site}/${name}.html ${site}/single/${name}.html)

  if(arg_REPLAY)
    add_executable(${arg_REPLAY} ${arg_SOURCES})
    target_link_libraries(${arg_REPLAY} PRIVATE Orvalin::harness ${arg_LIBRARIES})
    set_target_properties(${arg_REPLAY} PROPERTIES SUFFIX .js
                          CXX_LINKER_LAUNCHER "${ORVALIN_NODE_LAUNCHER}")
  endif()
endfunction()
