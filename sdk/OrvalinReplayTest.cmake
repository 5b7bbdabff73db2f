# orvalin_add_replay_test: a program of the machine pinned by a golden replay.
#
#   orvalin_add_replay_test(NAME name PROGRAM twin KEYS file GOLDEN dir
#                           [DATA dir] [FRAMES n])
#
# `twin` is the program's headless twin (its sources linked with
# Orvalin::harness). The test `name` runs it on the key script KEYS in the
# folder DATA (default: the current source folder) and holds its frames, port
# writes and sound to the golden replay kept in GOLDEN: on a difference it
# fails, names the first frame or port write that differs and writes that
# frame as frame-K.png into `name`/ of the current build folder. The build
# target `name-golden` writes the run's outputs into GOLDEN instead: that
# makes a golden, and after a deliberate change renews it (look at what
# changed before committing it). With FRAMES the run lasts n frames and the
# program must not end before; without, as many frames as KEYS has lines,
# and the program may end by itself first.
function(orvalin_add_replay_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NAME;PROGRAM;KEYS;GOLDEN;DATA;FRAMES" "")
  foreach(required NAME PROGRAM KEYS GOLDEN)
    if(NOT arg_${required})
      message(FATAL_ERROR "orvalin_add_replay_test: ${required} is missing")
    endif()
  endforeach()
  if(NOT arg_DATA)
    set(arg_DATA ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  foreach(path KEYS GOLDEN DATA)
    get_filename_component(arg_${path} ${arg_${path}} ABSOLUTE)
  endforeach()
  set(run --data ${arg_DATA} --keys ${arg_KEYS} --out ${CMAKE_CURRENT_BINARY_DIR}/${arg_NAME}
          --golden ${arg_GOLDEN})
  if(arg_FRAMES)
    list(APPEND run --frames ${arg_FRAMES})
  endif()
  # A twin built with Emscripten runs under node (the toolchain's emulator),
  # whose fetch must not be asked for the .wasm file.
  set(node_options NODE_OPTIONS=--no-experimental-fetch)
  add_test(NAME ${arg_NAME} COMMAND ${arg_PROGRAM} ${run})
  set_tests_properties(${arg_NAME} PROPERTIES LABELS golden TIMEOUT 300 ENVIRONMENT ${node_options})
  add_custom_target(${arg_NAME}-golden
    COMMAND ${CMAKE_COMMAND} -E env ${node_options} ${CMAKE_CROSSCOMPILING_EMULATOR}
            $<TARGET_FILE:${arg_PROGRAM}> ${run} --regenerate
    VERBATIM)
endfunction()
