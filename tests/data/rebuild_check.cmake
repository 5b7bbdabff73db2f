# Rebuilds the data files into OUT_DIR and compares each with data/.
file(REMOVE_RECURSE ${OUT_DIR})
include(${SOURCE_DIR}/tools/data_files/build_data.cmake)
foreach(name tahoma.fnt logo.raw Quadrillo.raw beach.raw menu1.psg menu2.psg game.psg)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT_DIR}/${name} ${SOURCE_DIR}/data/${name}
                  RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "data/${name} differs from its rebuild (run 'make data' and commit)")
  endif()
endforeach()
message(STATUS "all seven data files rebuild identically")
