# orvalin_add_windows_zip: a program of the Orvalin machine packed for
# Windows, in a build made with the mingw-w64 toolchain file that the
# Windows SDK installs beside this file (mingw-w64-x86_64.cmake).
#
#   orvalin_add_windows_zip(TARGET target [NAME folder] [ZIP file]
#                           [DATA file...] [TEXT file...])
#
# Adds the build target `target`-zip (not built by default), which writes
# ZIP (default: NAME-VERSION-windows-x86_64.zip in the current build folder,
# VERSION being the project's, left out when it has none) holding one folder
# NAME (default: the target's name) with:
#   target.exe  stripped of its symbols (a static program needs no DLL);
#   each DATA file under its own name: a program started from Explorer runs
#               in its exe's folder, so it finds them in its working folder;
#   each TEXT file with CR LF line ends (Notepad wants them), with ".txt"
#               added to a name that has no extension.
# The same sources give the same zip, byte for byte: no build time or date
# goes into it (windows-zip.py, beside this file, does the packing and needs
# python3).
# A global property: the function may be called where this file's variables
# are out of scope (find_package in one folder, the program in another).
set_property(GLOBAL PROPERTY ORVALIN_WINDOWS_ZIP_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/windows-zip.py)
find_program(ORVALIN_PYTHON3 python3)

function(orvalin_add_windows_zip)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "TARGET;NAME;ZIP" "DATA;TEXT")
  get_property(script GLOBAL PROPERTY ORVALIN_WINDOWS_ZIP_SCRIPT)
  if(NOT TARGET "${arg_TARGET}")
    message(FATAL_ERROR "orvalin_add_windows_zip: TARGET must name an executable target")
  endif()
  if(NOT ORVALIN_PYTHON3)
    message(FATAL_ERROR "orvalin_add_windows_zip: python3 was not found")
  endif()
  if(NOT arg_NAME)
    set(arg_NAME ${arg_TARGET})
  endif()
  if(NOT arg_ZIP)
    set(arg_ZIP ${arg_NAME})
    if(PROJECT_VERSION)
      string(APPEND arg_ZIP -${PROJECT_VERSION})
    endif()
    string(APPEND arg_ZIP -windows-x86_64.zip)
  endif()
  get_filename_component(zip ${arg_ZIP} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_BINARY_DIR})
  foreach(kind DATA TEXT)  # relative names are in the current source folder
    set(files "")
    foreach(file ${arg_${kind}})
      get_filename_component(file ${file} ABSOLUTE)
      list(APPEND files ${file})
    endforeach()
    set(arg_${kind} ${files})
  endforeach()
  add_custom_command(OUTPUT ${zip}
    COMMAND ${ORVALIN_PYTHON3} ${script} --strip ${CMAKE_STRIP} --folder ${arg_NAME}
            --out ${zip} $<TARGET_FILE:${arg_TARGET}> --data ${arg_DATA} --text ${arg_TEXT}
    DEPENDS ${arg_TARGET} ${arg_DATA} ${arg_TEXT} ${script}
    COMMENT "Packing ${zip}" VERBATIM)
  add_custom_target(${arg_TARGET}-zip DEPENDS ${zip})
endfunction()
