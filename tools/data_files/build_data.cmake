# Rebuilds the seven files the game reads, from the sources in data/src and
# the DejaVu fonts of Debian's fonts-dejavu-core, into OUT_DIR.
# Run as: cmake -DOUT_DIR=... -DSOURCE_DIR=<repository> -DFONTBANK=... \
#           -DPICTURE=... -DMUSICC=... [-DFONT_DIR=...] -P build_data.cmake
if(NOT FONT_DIR)
  set(FONT_DIR /usr/share/fonts/truetype/dejavu)
endif()
file(MAKE_DIRECTORY ${OUT_DIR})

function(run_tool)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_QUIET)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "data file step failed: ${ARGN}")
  endif()
endfunction()

# The font: DejaVu Sans at 18 pixels per em is 21 rows with its shadow, so
# lines 26 pixels apart do not touch, and "UP: rotate (anti-clockwise)" is
# 250 pixels wide, inside the 290 left of x = 30.
run_tool(${FONTBANK} --font ${FONT_DIR}/DejaVuSans.ttf --size 18 --tab 4 --shadow
         --out ${OUT_DIR}/tahoma.fnt)
run_tool(${PICTURE} --picture logo --font ${FONT_DIR}/DejaVuSans-Bold.ttf --out ${OUT_DIR}/logo.raw)
run_tool(${PICTURE} --picture title --font ${FONT_DIR}/DejaVuSans-Bold.ttf --out ${OUT_DIR}/Quadrillo.raw)
run_tool(${PICTURE} --picture beach --out ${OUT_DIR}/beach.raw)
foreach(piece menu1 menu2 game)
  run_tool(${MUSICC} ${SOURCE_DIR}/data/src/${piece}.txt --out ${OUT_DIR}/${piece}.psg)
endforeach()
