# Writes a program's page: page.html with the program's title, its keys in one
# line (KEYS, may be empty) and its script, either named (SCRIPT_SRC, a file
# served beside the page, which then names the single page for a player who
# opened it from disk) or written into the page itself (SCRIPT_FILE: the
# single page that opens from disk).
#   cmake -DTEMPLATE=page.html -DTITLE=... -DKEYS=... -DOUT=NAME.html
#         (-DSCRIPT_SRC=NAME.js | -DSCRIPT_FILE=path) -P page.cmake
# With -DPACKAGE=NAME.js instead, it gives the data package that NAME.js
# loads the MD5 of NAME.data as its id: Emscripten's file packager draws a
# random one at every link (for a browser cache the page does not use), and
# the same sources must give the same bytes.
if(PACKAGE)
  string(REGEX REPLACE "\\.js$" ".data" data ${PACKAGE})
  file(MD5 ${data} sum)
  string(REGEX REPLACE "^(........)(....)(....)(....)(.*)$" "\\1-\\2-\\3-\\4-\\5" id ${sum})
  file(READ ${PACKAGE} script)
  string(REGEX REPLACE "\"package_uuid\":\"[-0-9a-f]*\"" "\"package_uuid\":\"${id}\"" script "${script}")
  file(WRITE ${PACKAGE} "${script}")
  return()
endif()
file(READ ${TEMPLATE} page)
if(SCRIPT_FILE)
  file(READ ${SCRIPT_FILE} script)
  string(FIND "${script}" "</script" closing)
  if(NOT closing EQUAL -1)
    message(FATAL_ERROR "${SCRIPT_FILE} holds </script and cannot be written into a page")
  endif()
  set(script "<script>\n${script}</script>")
else()
  string(REGEX REPLACE "\\.js$" ".html" single ${SCRIPT_SRC})
  set(script "<script src=\"${SCRIPT_SRC}\" data-single=\"single/${single}\"></script>")
endif()
# The title and the keys are text: the page shows them as written.
foreach(text TITLE KEYS)
  string(REPLACE "&" "&amp;" ${text} "${${text}}")
  string(REPLACE "<" "&lt;" ${text} "${${text}}")
  string(REPLACE ">" "&gt;" ${text} "${${text}}")
endforeach()
string(REPLACE "@ORVALIN_TITLE@" "${TITLE}" page "${page}")
string(REPLACE "@ORVALIN_KEYS@" "${KEYS}" page "${page}")
string(REPLACE "@ORVALIN_SCRIPT@" "${script}" page "${page}")
file(WRITE ${OUT} "${page}")
