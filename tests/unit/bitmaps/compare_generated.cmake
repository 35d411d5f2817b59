# cmake -DGENERATOR=script.py -DCOMMITTED=dir -DSCRIPT=file.rc -DOUT=dir -P compare_generated.cmake
#
# Runs an image generator into an empty folder and fails unless it writes
# exactly the committed files, byte for byte, and no others; the resource
# script must list every one of them, each under the id its name ends in
# (skin_159.bmp is bitmap 159).  The generators need Debian's python3-pil,
# so they run with /usr/bin/python3.

file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
execute_process(COMMAND /usr/bin/python3 "${GENERATOR}" --out "${OUT}" COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND diff -rq "${COMMITTED}" "${OUT}" RESULT_VARIABLE differ OUTPUT_VARIABLE what)
file(GLOB committed RELATIVE "${COMMITTED}" "${COMMITTED}/*")
list(LENGTH committed count)
if(differ OR count EQUAL 0)
  message(FATAL_ERROR "compare_generated: ${COMMITTED} holds ${count} files, the generator differs:\n${what}")
endif()
file(STRINGS "${SCRIPT}" lines REGEX "^[0-9]+ [A-Z]+ \"")
set(listed "")
foreach(line IN LISTS lines)
  string(REGEX MATCH "^([0-9]+) [A-Z]+ \"[^\"]*/([^\"]*)\"" _ "${line}")
  set(id "${CMAKE_MATCH_1}")
  set(name "${CMAKE_MATCH_2}")
  if(NOT name MATCHES "_${id}\\.")
    message(FATAL_ERROR "compare_generated: ${SCRIPT} lists ${name} as ${id}")
  endif()
  list(APPEND listed ${name})
endforeach()
list(SORT listed)
list(SORT committed)
if(NOT listed STREQUAL committed)
  message(FATAL_ERROR "compare_generated: ${SCRIPT} lists ${listed}, the folder holds ${committed}")
endif()
message(STATUS "compare_generated: ${count} files identical")
